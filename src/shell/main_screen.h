#pragma once
// TMainScreen: the main window. It lives for the whole run, shows the lists of
// sent and received faxes on two notebook pages chosen by the tab strip, and
// starts every other window from its button bar and menu.
//
// Where the record store plugs in: the two notebook pages (SentPage and
// ReceivedPage) take FaxGrid and RecFaxGrid; SentRecordCount() and
// ReceivedRecordCount() read the tables; FormCreate opens the tables (posting
// WM_CLOSEWINDOW when one cannot be opened) and FormCloseQuery closes them.
// Until the tables exist both lists are empty.
#include <QMainWindow>

class QAction;
class QFrame;
class QStackedWidget;

namespace orv {

class TAlignLabel;
class TButtonPanel;
class TPictureButton;
class TTabSet;

class TMainScreen : public QMainWindow {
    Q_OBJECT
public:
    explicit TMainScreen(QWidget* parent = nullptr);
    ~TMainScreen() override;

    // The notebook page shown: mpSent (0) or mpReceived (1).
    int page() const;

    // Receive mode reports here when it starts or stops, and when a call is
    // accepted or finished; the enabling rules and closing depend on them.
    bool receiving() const { return FReceiving; }
    void SetReceiving(bool on);
    bool callActive() const { return FCallActive; }
    void SetCallActive(bool active) { FCallActive = active; }

    // Window messages: WM_CLOSEWINDOW and WM_PLAYRECEIVESOUND, posted to this window.
    void PostCloseWindow();
    void PostPlayReceiveSound();

    // A later start of the program asked this copy to come forward.
    void ActivateFromAnotherStart();

    // Applies the enabling rules after a change of page, records or receive mode.
    void SetButtons();

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void createControls();
    void createMenu();
    void FormCreate();
    void FormActivate();
    void FirstActivateRest();
    bool FormCloseQuery();
    void FormClose();

    void TabSet1Click();
    void NewbuttonClick();
    void EditButtonClick();
    void EditSentFax();
    void EditReceivedFax();
    void CloneButtonClick();
    void DeleteButtonClick();
    void SendButtonClick();
    void ReceiveButtonClick();
    void mnuViewPrintClick();
    void mnuCoverClick();
    void mnuPhoneBookClick();
    void mnuRebuildIndexesClick();
    void mnuPreferencesClick();
    void Contents1Click();
    void About1Click();
    void WMCloseWindow();
    void WMPlayReceiveSound();

    // The number of records each list shows (deleted ones hidden).
    int SentRecordCount() const;
    int ReceivedRecordCount() const;

    // Controls, by the names the rest of the program knows them by.
    TButtonPanel* ButtonBar = nullptr;
    TPictureButton* Newbutton = nullptr;
    TPictureButton* EditButton = nullptr;
    TPictureButton* CloneButton = nullptr;
    TPictureButton* DeleteButton = nullptr;
    TPictureButton* SendButton = nullptr;
    TPictureButton* ReceiveButton = nullptr;
    TPictureButton* ViewFaxButton = nullptr;
    TPictureButton* Exitbutton = nullptr;
    QFrame* BrowsePanel = nullptr;
    QStackedWidget* NoteBook = nullptr;
    QWidget* SentPage = nullptr;
    QWidget* ReceivedPage = nullptr;
    TTabSet* TabSet1 = nullptr;
    TAlignLabel* status = nullptr;
    QAction* mnuNew = nullptr;
    QAction* mnuEdit = nullptr;
    QAction* mnuClone = nullptr;
    QAction* mnuDelete = nullptr;
    QAction* mnuSend = nullptr;
    QAction* mnuReceive = nullptr;
    QAction* mnuViewPrint = nullptr;
    QAction* mnuCover = nullptr;
    QAction* mnuPhoneBook = nullptr;
    QAction* mnuRebuildIndexes = nullptr;
    QAction* mnuPreferences = nullptr;
    QAction* Exit1 = nullptr;
    QAction* Contents1 = nullptr;
    QAction* About1 = nullptr;

    bool FReceiving = false;
    bool FCallActive = false;
    bool FFirstActivate = true;
    bool FPortUnset = false;
    bool FCloning = false;
    // WM_CLOSEWINDOW was posted during start-up: the first activation must not
    // open windows or start receive mode on a program that is closing.
    bool FClosePosted = false;
};

}  // namespace orv
