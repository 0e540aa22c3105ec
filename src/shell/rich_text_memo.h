#pragma once
// LoadRichText and SaveRichText: a memo field of the current sent fax
// (RTFCOVER or RTFDOC) into a rich-text control and back, through the
// temporary file ProgramFolder() + "Eraseme.rtf".
//
// Of the control they need only this (the rich-text component's document
// and editor classes provide it under these names):
//     void clear();
//     void loadRtfFile(const QString& path);        // throws on failure
//     void saveRtfFile(const QString& path) const;  // throws on failure
#include <QFile>
#include <QString>

#include <exception>

namespace orv {

class TEngineLink;

// ProgramFolder() + "Eraseme.rtf"
QString RichTextTransferFile();

// The memo of the link's current record into the transfer file; false when
// there is no record or the file cannot be written (nothing is left behind).
bool MemoToTransferFile(const QString& memoField, TEngineLink& link);
// The transfer file into the memo of the link's current record (a pending
// edit or insert is posted first and resumed after). Throws EOrvException.
void MemoFromTransferFile(const QString& memoField, TEngineLink& link);

// The control is cleared; when the memo can be written to the transfer file
// the control loads it as RTF and the file is deleted. A memo that cannot be
// written or read leaves the control empty.
template <class Control>
void LoadRichText(Control& control, const QString& memoField, TEngineLink& link) {
    control.clear();
    if (!MemoToTransferFile(memoField, link)) return;
    try {
        control.loadRtfFile(RichTextTransferFile());
    } catch (const std::exception&) {
        control.clear();
    }
    QFile::remove(RichTextTransferFile());
}

// The control saves its text as RTF to the transfer file, which is then
// stored into the memo. The file stays until the next LoadRichText. A file
// left by an earlier save is removed first, so a save that fails never puts
// another fax's text into this memo: the exception goes to the caller and
// the memo keeps its old text.
template <class Control>
void SaveRichText(const Control& control, const QString& memoField, TEngineLink& link) {
    QFile::remove(RichTextTransferFile());
    control.saveRtfFile(RichTextTransferFile());
    MemoFromTransferFile(memoField, link);
}

}  // namespace orv
