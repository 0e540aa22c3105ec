#pragma once
// FaxSender: the send state machine. It sends a queue of faxes, one call each
// (FaxEvents::FaxNext supplies number, fax file and cover), through a Class 2
// or Class 2.0 modem, or a Class 1 modem with our own T.30: set-up, dialling
// with busy retries, negotiation, header line, cover (APF or plain text) and
// APF pages, the page-end exchange with retransmission, and the next fax.
//
//   FaxSendSession s;  s.port = handle;  s.headerLine = "$F page $P of $N";
//   MyEvents events;   // FaxNext, FaxStatus, FaxFinish, ...
//   FaxSender sender(s, events);
//   sender.Start();    // runs on the port's I/O thread until FaxFinish
//
// Each state is one member function, named in kSendStateNames. The states
// every class shares are in fax_sender.cpp; the Class 2 / 2.0 states in
// class2_send.cpp; the Class 1 states (11..18, 29..37) in class1_send.cpp.
// Where the shared states hand over to a class (set-up, the dial's answer,
// the end of page data) they go through the class's ClassPhases.
#include "engine/fax_machine.h"
#include "images/apf_file.h"

#include <QFile>
#include <QList>

namespace orv {

class FaxSender : public FaxMachine {
public:
    enum State : int {
        stNextFax = 1,
        stFirstPage = 2,
        stClass1Selected = 3,
        stClassSelected = 4,
        stLocalIdSet = 5,        // 2.0
        stFlowControlSet = 6,    // 2.0
        stSetCapabilities = 7,
        stCapabilitiesSet = 8,
        stDial = 9,
        stRedialWait = 10,
        // Class 1: T.30 phase B, training, post-page exchange, release.
        stC1AwaitDis = 11,
        stC1SendTsi = 12,
        stC1SendDcs = 13,
        stC1StartTraining = 14,
        stC1SendTcf = 15,
        stC1TcfSent = 16,
        stC1AwaitCfr = 17,
        stC1StartPage = 18,
        stDialResult = 19,
        stNegotiate = 20,
        stWaitXon = 21,          // Class 2
        stWaitOutputFree = 22,
        stPageStart = 23,
        stCoverStart = 24,
        stTextCover = 25,
        stPageDataStart = 26,
        stPageData = 27,
        stPageSent = 28,
        stC1PageSent = 29,
        stC1PostPage = 30,
        stC1SendPostPage = 31,
        stC1PostPageSent = 32,
        stC1AwaitMcf = 34,
        stC1SendDcn = 35,
        stC1DcnSent = 36,
        stC1HangUp = 37,
        stPageEnded = 38,
        stPageEndAnswered = 39,  // Class 2
        stPageStatus = 40,       // Class 2
        stPageRetry = 41,
        stNextPage = 42,
        stPageResult = 43,       // 2.0
        stFaxSent = 44,
        stQueueEmpty = 45,
        stFaxFailed = 46,
        stSessionOver = 47,
    };
    static const FaxStateName kStateNames[];

    FaxSender(FaxSendSession& session, FaxEvents& events);
    ~FaxSender() override;

    QString StateName(int state) const override;

protected:
    ModemTask<> Init() override;
    Next Step() override;
    void EnterAbort() override;
    int FailState() const override { return stFaxFailed; }
    int HangupReportError() const override;
    FaxProgress Progress() const override;

private:
    // What a class does where the shared states hand over to it.
    struct ClassPhases {
        ModemTask<bool> (FaxSender::*init)();  // the init procedure's class part; false: it failed
        Next (FaxSender::*setup)();      // state 2: the class's set-up commands
        int dialResult;                  // the state the dial's answer goes to
        bool framesAfterDial;            // the answer brings HDLC frames (Class 1)
        void (FaxSender::*dataDone)();   // the page's last byte is queued
        Next (FaxSender::*pageSent)();   // state 28: the page has gone out
    };
    static const ClassPhases kClass2Phases;
    static const ClassPhases kClass1Phases;
    const ClassPhases& Phases() const;

    // ---- shared states (fax_sender.cpp) ----
    Next NextFax();
    Next FirstPage();
    Next Class1Selected();
    Next Dial();
    Next RedialWait();
    Next WaitOutputFree();
    Next PageStart();
    Next CoverStart();
    Next TextCover();
    Next PageDataStart();
    Next PageData();
    Next PageSent();
    Next NextPage();
    Next FaxSent();
    Next QueueEmpty();
    Next FaxFailed();
    Next FaxFailedEnd();
    Next SessionOver();

    // ---- Class 2 and 2.0 states (class2_send.cpp) ----
    Next ClassSelected();
    Next LocalIdSet();
    Next FlowControlSet();
    Next SetCapabilities();
    Next CapabilitiesSet();
    Next DialResult();
    Next Negotiate();
    Next WaitXon();
    Next PageEnded();
    Next PageEndAnswered();
    Next PageStatus();
    Next PageRetry();
    Next PageResult();
    ModemTask<bool> InitClass2();
    Next BeginClass2Setup();      // state 2's command for Class 2 / 2.0
    void Class2DataDone() {}
    Next EndClass2Page();         // state 28: DLE ETX, or DLE and "," or "." -> 38

    // ---- Class 1 states (class1_send.cpp) ----
    Next C1AwaitDis();
    Next C1SendTsi();
    Next C1SendDcs();
    Next C1StartTraining();
    Next C1SendTcf();
    Next C1TcfSent();
    Next C1AwaitCfr();
    Next C1StartPage();
    Next C1PageSent();
    Next C1PostPage();
    Next C1SendPostPage();
    Next C1PostPageSent();
    Next C1AwaitMcf();
    Next C1SendDcn();
    Next C1DcnSent();
    Next C1HangUp();
    ModemTask<bool> InitClass1();            // the modem's sending rates
    Next BeginClass1Setup();      // "AT+FCLASS=1" -> 3
    void Class1DataDone();        // DLE ETX after the page
    Next Class1PageSent();        // -> 29
    // A frame heard in phase B or after a page: the remote's ID, its DIS, a
    // DCN. Empty, or where the failure went.
    std::optional<Next> OnClass1Frame();
    // Back to the start of the page in progress (after RTN).
    int RewindPage();
    // Retrain: AT+FTH=3 and DCS and TCF again -> 13.
    Next Retrain(int pauseMs);

    // ---- helpers ----
    Next BusyOrNoAnswer();
    // A reply while page data flow: a hang-up report, "ERROR" or NO CARRIER
    // fails the fax (-8079); everything else is thrown away. True when failed.
    bool WatchDataModeReplies();
    bool MorePages() const;
    int AdvancePage();            // to the next page (after the cover: page 1 of the fax file)
    int ReadPageHeader(ApfReader& reader, int page);
    int OpenCover();
    void CloseFiles();
    void CloseCover();
    QString ExpandTags(const QString& text) const;
    // Output to the modem goes through a queue, so a block that DLE doubling
    // made larger than the port's free space waits instead of failing.
    void Queue(const QByteArray& bytes);
    bool FlushQueue();            // true when the queue is empty
    int QueuedBytes() const;      // in the port's buffer and in the queue
    void PadOutputQueue();
    int PumpLevel() const;        // output-free level of the page pump
    // Waits for room for more page data, or (page done) for the last byte to go out.
    Next AwaitPumpRoom(bool pageDone);
    int ReadPiece();              // the next piece of page data into the queue; 0 or an error

    FaxSendSession& s_;
    ApfReader fax_;
    ApfReader coverApf_;
    QFile coverText_;
    ApfReader* source_ = nullptr; // the reader of the page being sent
    ApfPageHeader pageHeader_;
    bool pageFine_ = false;
    bool pageWide_ = false;
    bool firstPageFine_ = false;
    bool firstPageWide_ = false;
    QByteArray out_;              // bytes waiting for room in the port's buffer
    int exchangeHangup_ = -1;     // hang-up code reported during this page-end exchange
    bool inPageData_ = false;     // page data may be on their way to the modem
};

}  // namespace orv
