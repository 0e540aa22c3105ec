#pragma once
// TCoverBrowse ("Cover Sheet Template Browser"): the list of cover-sheet
// templates with New, Edit, Clone and Delete, over the main window's cover
// table objects (CoverTable, CoverDataSource, CoverLink), which the caller
// opens first (OpenCoverDBF) and closes after.
//
// Upkeep use (File > Cover Sheets): Close shown, Accept and Cancel hidden.
// Picking use (the fax editor's template button): setPickingUse(true); after
// exec() returns Accepted the chosen template is CoverTable's current record.
#include <QDialog>

namespace orv {

class TAlignLabel;
class TButtonPanel;
class TCoverEditor;
class TDataSource;
class TDBGrid;
class TEngineLink;
class TPictureButton;
class TStatusLineScope;
class TTable;

inline constexpr int kHelpCoverBrowse = 1017;

class TCoverBrowse : public QDialog {
    Q_OBJECT
public:
    TCoverBrowse(TTable& coverTable, TDataSource& coverDataSource, TEngineLink& coverLink, QWidget* parent = nullptr);
    ~TCoverBrowse() override;

    void setPickingUse(bool picking);
    bool cloneMode() const { return FCloneMode; }

protected:
    bool event(QEvent* event) override;

private:
    void NewButtonClick();
    void ModifyButtonClick();
    void CloneButtonClick();
    void DeleteButtonClick();
    void AcceptbuttonClick();
    void CancelButtonClick();
    void CloseButtonClick();
    void HelpButtonClick();
    void CoverGridDblClick();
    int RecordsInView();
    // DESCRIPT and COVER from the editor into the current record (appended or in edit).
    bool StoreTemplate(TCoverEditor& editor);

    TTable& CoverTable;
    TDataSource& CoverDataSource;
    TEngineLink& CoverLink;

    TButtonPanel* ButtonPanel = nullptr;
    TPictureButton* NewButton = nullptr;
    TPictureButton* ModifyButton = nullptr;
    TPictureButton* CloneButton = nullptr;
    TPictureButton* DeleteButton = nullptr;
    TPictureButton* Acceptbutton = nullptr;
    TPictureButton* CancelButton = nullptr;
    TPictureButton* HelpButton = nullptr;
    TPictureButton* CloseButton = nullptr;
    TDBGrid* CoverGrid = nullptr;
    TAlignLabel* status = nullptr;
    TStatusLineScope* FStatusScope = nullptr;

    bool FCloneMode = false;
};

}  // namespace orv
