// Whatever a modem sends, the fax engine's report readers take it without
// reading past the bytes that came: lines stay within their bound, decoded
// values stay in their ranges.
#include "engine/fax_text_line.h"
#include "engine/modem_reports.h"

#include <QByteArray>
#include <cstdlib>

using namespace orv;

namespace {
void check(bool ok) {
    if (!ok) std::abort();
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    LineAssembler lines;
    for (size_t i = 0; i < size; ++i) {
        if (!lines.Feed(data[i])) continue;
        const QByteArray& l = lines.Line();
        check(!l.isEmpty() && l.size() <= LineAssembler::kMaxLine);
        const SessionParams p = DecodeSessionParams(l);
        check(p.scanTimeCode >= 0 && p.scanTimeCode <= 7);
        check(p.minScanBytes >= 0 && p.minScanBytes <= 40 * 14400 / 8000);
        check(p.bps >= 2400 && p.bps <= 14400);
        DecodeRemoteCaps(l);
        const int hangup = HangupCodeOf(l);
        check(hangup >= -99 && hangup <= 999);
        check(RemoteIdOf(l).size() <= 20);
        FirstValueChar(l);
        ParseClassList(l);
        IsReport(l, "+FDIS");
        IsReport(l, "FHNG");
        IsResult(l, "OK");
    }
    // The same bytes as header text: every row codes, doubled DLEs included.
    // Coding a line costs some twenty times what reading the reports does, so
    // it is done for half of the inputs (bit 3 of the size; bits 0 to 2 pick
    // font, resolution and width): the coder's paths are few and any text
    // reaches them, and the report readers get twice the inputs.
    if (size & 8) return 0;
    const QByteArray text(reinterpret_cast<const char*>(data), qsizetype(std::min<size_t>(size, 200)));
    qint64 counted = 0;
    const QByteArray rows = EncodeTextRows(text, (size & 1) != 0, (size & 2) != 0, (size & 4) ? 2048 : 1728, 0, &counted);
    check(rows.size() >= counted);
    return 0;
}
