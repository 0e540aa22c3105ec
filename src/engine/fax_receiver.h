#pragma once
// FaxReceiver: the receive state machine. It sets the modem up, waits for
// calls, answers on ring AnswerOnRing, asks the host whether to take the call
// (FaxEvents::FaxAccept), stores each page in an APF file named by the host
// (FaxName) or as "FAX" + four digits + ".APF", keeps good pages and drops bad
// ones, and waits for the next call (or finishes after one fax with oneFax).
// A file is never replaced, and a call that breaks off leaves a valid APF file
// of the pages received so far.
//
//   FaxReceiveSession s;  s.port = handle;  s.destinationDir = dir;  s.answerOnRing = 2;
//   FaxReceiver receiver(s, events);
//   receiver.Start();
//
// Each state is one member function, named in kStateNames. Shared states are
// in fax_receiver.cpp, the Class 2 / 2.0 states in class2_receive.cpp, the
// Class 1 states (10..21, 27..32: our own T.30 as the answering station) in
// class1_receive.cpp. Where the shared states hand over to a class they go
// through the class's ClassPhases.
#include "engine/fax_machine.h"
#include "images/apf_file.h"

namespace orv {

class FaxReceiver : public FaxMachine {
public:
    enum State : int {
        stCallSetup = 1,
        stClass1Selected = 2,
        stClassSelected = 3,
        stAnswerCapsSet = 4,     // 2.0
        stFlowControlSet = 5,    // 2.0
        stSetupDone = 7,
        stWaitForCall = 8,
        stAnswer = 9,
        // Class 1: T.30 phase B, training, pages and post-page messages, release.
        stC1SendCsi = 10,
        stC1SendDis = 11,
        stC1AwaitDcs = 12,
        stC1FrameRetry = 13,
        stC1Reopen = 14,
        stC1AwaitTraining = 15,
        stC1TrainingCheck = 16,
        stC1SendFtt = 18,
        stC1TrainingDone = 19,
        stC1SendCfr = 20,
        stC1AwaitPage = 21,
        stAnswering = 22,
        stSessionReports = 23,
        stWaitPage = 24,
        stPageStart = 25,
        stPageData = 26,
        stC1PageEnded = 27,
        stC1AwaitPostPage = 28,
        stC1PageComplete = 29,
        stC1SendMcf = 30,
        stC1AwaitDcn = 31,
        stC1HangUp = 32,
        stPostPage = 33,
        stDocumentEnd = 34,
        stCallDone = 35,
        stCallFailed = 36,
        stSessionOver = 37,
    };
    static const FaxStateName kStateNames[];

    FaxReceiver(FaxReceiveSession& session, FaxEvents& events);
    ~FaxReceiver() override;

    QString StateName(int state) const override;

protected:
    ModemTask<> Init() override;
    Next Step() override;
    void EnterAbort() override;
    int FailState() const override { return stCallFailed; }
    int HangupReportError() const override;
    FaxProgress Progress() const override;

private:
    // What a class does where the shared states hand over to it.
    struct ClassPhases {
        ModemTask<bool> (FaxReceiver::*init)();  // the init procedure's class part
        Next (FaxReceiver::*setup)();    // state 1: select the class
        int answering;                   // the state after "ATA"
        bool readyByte;                  // DC2 tells the modem to start page data
        int pageEnded;                   // the state after a page's DLE ETX
    };
    static const ClassPhases kClass2Phases;
    static const ClassPhases kClass1Phases;
    const ClassPhases& Phases() const;

    // ---- shared states (fax_receiver.cpp) ----
    Next CallSetup();
    Next Class1Selected();
    Next WaitForCall();
    Next Answer();
    Next PageStart();
    Next PageData();
    Next CallDone();
    Next CallDoneEnd();
    Next CallFailed();
    Next CallFailedEnd();
    Next SessionOver();

    // ---- Class 2 and 2.0 states (class2_receive.cpp) ----
    Next ClassSelected();
    Next SetAnswerCaps();
    Next AnswerCapsSet();
    Next FlowControlSet();
    Next SetupDone();
    Next Answering();
    Next SessionReports();
    Next WaitPage();
    Next PostPage();
    Next DocumentEnd();
    ModemTask<bool> InitClass2();
    ModemTask<bool> SetUpClass2Modem();  // false: the modem refused a command
    Next BeginClass2Setup();

    // ---- Class 1 states (class1_receive.cpp) ----
    Next C1SendCsi();
    Next C1SendDis();
    Next C1AwaitDcs();
    Next C1FrameRetry();
    Next C1Reopen();
    Next C1AwaitTraining();
    Next C1TrainingCheck();
    Next C1SendFtt();
    Next C1TrainingDone();
    Next C1SendCfr();
    Next C1AwaitPage();
    Next C1PageEnded();
    Next C1AwaitPostPage();
    Next C1PageComplete();
    Next C1SendMcf();
    Next C1AwaitDcn();
    Next C1HangUp();
    ModemTask<bool> InitClass1();
    ModemTask<bool> SetUpClass1Modem();  // false: the modem refused a command
    Next BeginClass1Setup();
    // A frame heard: the caller's ID, its DCS, a DCN (fails the call unless
    // dcnExpected). Empty, or where the failure went.
    std::optional<Next> OnClass1Frame(bool dcnExpected = false);
    Next ReceiveNextFrame();     // "AT+FRH=3", wait on

    // ---- the file ----
    int CreateFile();            // names, claims and creates the file; 0 or an error
    int CompletePage();          // counts the page in progress; the file stays valid
    int DropPage();              // cuts the page in progress off the file
    void CloseFile();            // completes a page in progress and closes
    int FlushWrites();
    uint16_t PageFlags() const;

    FaxReceiveSession& s_;
    ApfWriter file_;
    QByteArray writeBuffer_;
    bool afterDle_ = false;      // the last data byte was a lone DLE
};

}  // namespace orv
