// Whatever a remote fax machine (or its modem) sends, the T.30 frame codec
// takes it without reading past the bytes that came: frames stay within their
// bound, DIS and DCS decode to values in range or to nothing.
#include "engine/t30_frames.h"

#include <QByteArray>
#include <cstdlib>

using namespace orv;

namespace {
void check(bool ok) {
    if (!ok) std::abort();
}

void checkFrame(const T30Frame& f) {
    check(f.info.size() <= kMaxFrameBytes);
    FcfName(f.fcf);
    check(RemoteIdFromField(f.info).size() <= kIdLength);
    if (const auto dis = DecodeDis(f.info)) {
        check(dis->rates[1]);
        check(dis->scanTimeCode >= 0 && dis->scanTimeCode <= 7);
        const int rate = ChooseRate(RateSet{false, true, true, true, true, true, true}, dis->rates, 14400);
        check(rate >= 1 && rate <= 6);
        check(StepDown(rate, dis->rates, dis->rates) < rate);
    }
    if (const auto dcs = DecodeDcs(f.info)) {
        check(dcs->rateIndex >= 1 && dcs->rateIndex <= 6);
        const SessionParams p = SessionParamsOf(*dcs);
        check(p.bps >= 2400 && p.bps <= 14400);
        check(p.minScanBytes >= 0 && p.minScanBytes <= 40 * 14400 / 8000);
        check(!ModulationOf(dcs->rateIndex, dcs->v17).isEmpty());
        check(DecodeDcs(EncodeDcs(*dcs))->rateIndex == dcs->rateIndex);
    }
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));
    // The bytes as one frame ...
    if (const auto f = ParseFrame(bytes)) checkFrame(*f);
    // ... and as what a modem sends: lines and frames, a frame expected after
    // every CONNECT, the way the machines listen.
    FrameAssembler frames;
    LineAssembler lines;
    frames.Expect();
    for (size_t i = 0; i < size; ++i) {
        switch (frames.Feed(data[i], lines)) {
        case FrameAssembler::Event::Frame: checkFrame(frames.Frame()); frames.Expect(); break;
        case FrameAssembler::Event::BadFrame: frames.Expect(); break;
        case FrameAssembler::Event::Line:
            check(lines.Line().size() <= LineAssembler::kMaxLine);
            ParseModulationList(lines.Line());
            if (!frames.Expecting()) frames.Expect();
            break;
        case FrameAssembler::Event::None: break;
        }
    }
    // A training check of these bytes.
    TrainingCounter tcf;
    for (size_t i = 0; i < size; ++i) tcf.Add(data[i]);
    check(tcf.NonZero() <= tcf.Total());
    return 0;
}
