#pragma once
// TPhoneBook ("Phone Book Browser"): the list of phone-book entries with
// New, Edit and Delete. It owns table objects of its own for ORVPB.DBF (used
// exclusively), opened by its creator with OpenTable and closed when the
// window goes.
//
// Upkeep use (File > Phone Book): Close shown, Accept and Cancel hidden.
// Picking use (the fax editor's Phonebook button): setPickingUse(true) hides
// Close and shows Accept and Cancel; after exec() returns Accepted, name()
// and number() hold the chosen entry.
#include <QDialog>

#include "store/tdatasource.h"
#include "store/tengine_link.h"
#include "store/ttable.h"

namespace orv {

class TAlignLabel;
class TButtonPanel;
class TDBGrid;
class TPictureButton;
class TStatusLineScope;

inline constexpr int kHelpPhoneBook = 1019;

class TPhoneBook : public QDialog {
    Q_OBJECT
public:
    explicit TPhoneBook(QWidget* parent = nullptr);
    ~TPhoneBook() override;

    // OpenPhoneDBF on this window's own table (folder: the program folder
    // unless given); false when it can be neither opened nor created.
    bool OpenTable(const QString& folder = QString());

    void setPickingUse(bool picking);
    QString name() const { return FName; }
    QString number() const { return FNumber; }

    TTable& table() { return PhoneTable; }

    // Edit, Delete and (when shown) Accept are enabled exactly when the list
    // has an entry. Run on activation and after New and Delete.
    void ButtonEnabling();

protected:
    void showEvent(QShowEvent* event) override;
    bool event(QEvent* event) override;

private:
    void FormActivate();
    void AddbuttonClick();
    void ModifyButtonClick();
    void DeleteButtonClick();
    void AcceptbuttonClick();
    void CancelbuttonClick();
    void ClosebuttonClick();
    void HelpbuttonClick();
    void PhoneGridDblClick();
    // The entries the list shows (0 for a table that is not open).
    int RecordsInView();

    // The table before its data source and link, so they go first.
    TTable PhoneTable;
    TDataSource PhoneDataSource;
    TEngineLink PhoneLink;
    TField* PhoneTableNAME = nullptr;
    TField* PhoneTablePHONE = nullptr;

    TButtonPanel* ButtonPanel = nullptr;
    TPictureButton* Addbutton = nullptr;
    TPictureButton* Modifybutton = nullptr;
    TPictureButton* Deletebutton = nullptr;
    TPictureButton* OKButton = nullptr;
    TPictureButton* Cancelbutton = nullptr;
    TPictureButton* Helpbutton = nullptr;
    TPictureButton* Closebutton = nullptr;
    TDBGrid* PhoneGrid = nullptr;
    TAlignLabel* status = nullptr;
    TStatusLineScope* FStatusScope = nullptr;

    QString FName;
    QString FNumber;
};

}  // namespace orv
