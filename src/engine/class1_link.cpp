// What both Class 1 machines share: hearing lines and HDLC frames from the
// modem, and putting frames on the line.
#include "common/orv_error.h"
#include "engine/dispatcher.h"
#include "engine/fax_machine.h"
#include "engine/modem_link.h"

namespace orv {

namespace {
constexpr int kFrameLeadMs = 20;

QString frameText(const T30Frame& f) {
    QString t = QString::fromLatin1(FcfName(f.fcf));
    if (!f.info.isEmpty()) t += QLatin1Char(' ') + QString::fromLatin1(f.info.toHex(' '));
    if (f.final) t += QStringLiteral(" (final)");
    return t;
}
}  // namespace

FaxMachine::Heard FaxMachine::AwaitClass1(unsigned own) {
    Class1Link& c = session_.class1;
    int b;
    while ((b = NextInputByte()) >= 0) {
        switch (c.frames.Feed(uint8_t(b), session_.line)) {
        case FrameAssembler::Event::None: continue;
        case FrameAssembler::Event::Line: {
            const QByteArray& l = Line();
            Trace(QStringLiteral("<- %1").arg(QString::fromLatin1(l)));
            if (!(own & kOwnError) && IsResult(l, "ERROR")) {
                Fail(ecFaxBadModemResult);
                return Heard::Failed;
            }
            return Heard::Line;
        }
        case FrameAssembler::Event::Frame:
            c.last = c.frames.Frame();
            c.lastFinal = c.last.final;
            c.haveFrame = true;
            Trace(QStringLiteral("<= %1").arg(frameText(c.last)));
            return Heard::Frame;
        case FrameAssembler::Event::BadFrame:
            Trace(QStringLiteral("<= (a frame that does not decode)"));
            return Heard::BadFrame;
        }
    }
    if (ReplyTimerFired()) {
        Trace(QStringLiteral("   reply timer expired"));
        if (own & kOwnTimeout) return Heard::Timeout;
        Fail(ecTimeout);
        return Heard::Failed;
    }
    return Heard::Nothing;
}

bool FaxMachine::ReceiveFrameCommand() {
    session_.class1.frames.Expect();
    return Command("AT+FRH=3");
}

void FaxMachine::SendFrame(uint8_t fcf, bool final, const QByteArray& info) {
    T30Frame f;
    f.fcf = fcf;
    f.final = final;
    f.info = info;
    Trace(QStringLiteral("=> %1").arg(frameText(f)));
    const QByteArray bytes = BuildFrame(fcf, final, info);
    // The port keeps the frame lead after what went before (no sleep here).
    if (SendAfterPause(session_, bytes, kFrameLeadMs) < 0 && DeviceLost(Port())) Fail(ecCommNotOpen);
}

}  // namespace orv
