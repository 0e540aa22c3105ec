// Whatever a modem sends must pass the data-match triggers and the trace and
// log text writers without harm, and the text must keep its line widths.
#include "engine/port_types.h"
#include "engine/trace_log.h"
#include "engine/triggers.h"

#include <QList>
#include <cstdlib>

using namespace orv;

namespace {
void check(bool ok) {
    if (!ok) std::abort();
}

void checkWidths(const QByteArray& text, int widest) {
    for (const QByteArray& line : text.split('\n')) check(line.size() <= widest);
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 2) return 0;
    // The first bytes choose up to three match strings out of the input itself.
    TriggerTables triggers;
    size_t pos = 1;
    const int count = data[0] % 4;
    for (int i = 0; i < count && pos < size; ++i) {
        const size_t len = 1 + data[pos++] % kMaxDataTriggerLength;
        const size_t take = std::min(len, size - pos);
        const QByteArray match(reinterpret_cast<const char*>(data + pos), qsizetype(take));
        const int h = triggers.NewData(match, data[0] & 0x10);
        check(take == 0 ? h == -1002 : h >= kFirstTriggerHandle);
        pos += take;
    }
    std::vector<int> matched;
    std::vector<std::pair<char, uint8_t>> trace;
    DispatchLog log(4096);
    for (size_t i = pos; i < size; ++i) {
        triggers.FeedData(data[i], matched);
        trace.emplace_back(data[i] & 1 ? 'R' : (data[i] & 2 ? 'T' : char(data[i])), data[i]);
    }
    for (int h : matched) check(triggers.KindOf(h) == 3);
    log.Add(ltDispatch, lsReadCom, 0, uint16_t(size - pos), data + pos, size - pos);
    log.Add(ltDispatch, lsModemStatus, 1, data[0]);
    check(log.UsedBytes() <= 4096);
    const bool hex = data[0] & 0x20;
    checkWidths(TraceBuffer::Render(trace, hex), 78);
    checkWidths(DispatchLog::Render(log.Entries(), hex), 79);
    return 0;
}
