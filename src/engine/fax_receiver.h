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
// in fax_receiver.cpp, the Class 2 / 2.0 states in class2_receive.cpp; Class 1
// adds its own (10..21, 27..32) the same way.
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
        stAnswering = 22,
        stSessionReports = 23,
        stWaitPage = 24,
        stPageStart = 25,
        stPageData = 26,
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
    void Init() override;
    Next Step() override;
    void EnterAbort() override;
    int FailState() const override { return stCallFailed; }
    int HangupReportError() const override;
    FaxProgress Progress() const override;

private:
    // ---- shared states (fax_receiver.cpp) ----
    Next CallSetup();
    Next Class1Selected();
    Next WaitForCall();
    Next Answer();
    Next PageStart();
    Next PageData();
    Next CallDone();
    Next CallFailed();
    Next SessionOver();

    // ---- Class 2 and 2.0 states (class2_receive.cpp) ----
    Next ClassSelected();
    Next AnswerCapsSet();
    Next FlowControlSet();
    Next SetupDone();
    Next Answering();
    Next SessionReports();
    Next WaitPage();
    Next PostPage();
    Next DocumentEnd();

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
