#pragma once
// TMainScreen: the main window. It lives for the whole run, shows the lists of
// sent and received faxes on two notebook pages chosen by the tab strip, and
// starts every other window from its button bar and menu.
//
// It owns the table objects of all four tables with their data sources and
// engine links: the sent and received tables are open from FormCreate until
// FormCloseQuery (the program closes itself when one cannot be opened); the
// cover-sheet and phone-book tables are opened by the windows that need them.
// Windows that work on a table use these objects (faxTable(), faxLink(), ...).
#include <QMainWindow>

#include "store/tdatasource.h"
#include "store/tengine_env.h"
#include "store/tengine_link.h"
#include "store/ttable.h"

class QAction;
class QFrame;
class QStackedWidget;

namespace orv {

class TAlignLabel;
class TButtonPanel;
class TDBGrid;
class TFaxEditor;
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

    // Applies the enabling rules after a change of page, records or receive
    // mode. An empty table falls back to natural order; a table with records
    // gets its date tag back and goes to its first (newest) record.
    void SetButtons();

    // The table objects, by role.
    TTable& faxTable() { return FaxTable; }
    TEngineLink& faxLink() { return FaxLink; }
    TDataSource& faxDataSource() { return FaxDataSource; }
    TTable& recTable() { return RecTable; }
    TEngineLink& recLink() { return RecLink; }
    TDataSource& recDataSource() { return RecDataSource; }
    TTable& coverTable() { return CoverTable; }
    TEngineLink& coverLink() { return CoverLink; }
    TDataSource& coverDataSource() { return CoverDataSource; }
    TTable& phoneTable() { return PhoneTable; }
    TEngineLink& phoneLink() { return PhoneLink; }
    TDataSource& phoneDataSource() { return PhoneDataSource; }

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
    void FaxGridDblClick();
    void RecFaxGridDblClick();

    // The number of records each list shows (deleted ones hidden); 0 for a
    // table that is not open.
    int SentRecordCount();
    int ReceivedRecordCount();
    // No current record (see SetButtons); a table that is not open is empty.
    static bool TableEmpty(TTable& table, TEngineLink& link);
    // The order switch of SetButtons for one table and its date tag.
    static void FollowEmptiness(TTable& table, TEngineLink& link, const char* tag, bool empty);
    void DeleteSentFax();
    // New, Clone and Edit: the fax editor from and into the current sent fax.
    void FillFaxEditor(TFaxEditor& editor, bool clone);
    bool StoreFaxEditor(TFaxEditor& editor);

    // The data engine's settings; Deleted is on, so deleted records are hidden.
    TEngineEnv EngineEnv1;
    // Each table before its data source and link, so they go first.
    TTable FaxTable;
    TDataSource FaxDataSource;
    TEngineLink FaxLink;
    TTable RecTable;
    TDataSource RecDataSource;
    TEngineLink RecLink;
    TTable CoverTable;
    TDataSource CoverDataSource;
    TEngineLink CoverLink;
    TTable PhoneTable;
    TDataSource PhoneDataSource;
    TEngineLink PhoneLink;

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
    TDBGrid* FaxGrid = nullptr;
    TDBGrid* RecFaxGrid = nullptr;
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
