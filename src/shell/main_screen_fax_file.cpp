// TMainScreen::CreateFaxFile: the current sent fax as one APF file, made
// from its two rich-text memos page by page (src/produce does the painting,
// converting and joining).
#include <QApplication>
#include <QCursor>
#include <QStringList>

#include "images/fax_converter.h"
#include "produce/fax_file_creation.h"
#include "shell/main_screen.h"
#include "shell/message_boxes.h"
#include "config/program_folder.h"
#include "shell/rich_text_memo.h"
#include "richtext/rich_text_document.h"
#include "richtext/rich_text_helpers.h"
#include "ui/widgets/align_label.h"
#include "ui/widgets/button_panel.h"

namespace orv {

namespace {

// Repaints the window between steps without taking user input, so a second
// Send or View cannot start while the first one's file is half made.
void LetMessagesRun() { QApplication::processEvents(QEventLoop::ExcludeUserInputEvents); }

// The hourglass, a disabled button bar and a status text for as long as the
// file is made; whatever ends the work (result, no contents, an error) puts
// all three back.
class BusyMaking {
public:
    BusyMaking(QWidget* buttonBar, QLabel* status) : buttonBar_(buttonBar), status_(status) {
        QApplication::setOverrideCursor(QCursor(Qt::WaitCursor));
        buttonBar_->setEnabled(false);
    }
    ~BusyMaking() { restore(); }
    void restore() {
        if (restored_) return;
        restored_ = true;
        QApplication::restoreOverrideCursor();
        buttonBar_->setEnabled(true);
        status_->clear();
    }
    void say(const QString& text) {
        status_->setText(text);
        LetMessagesRun();
    }

private:
    QWidget* buttonBar_;
    QLabel* status_;
    bool restored_ = false;
};

}  // namespace

void TMainScreen::PrepareFaxFileWorkArea() {
    if (OrvFaxConverter1) return;
    RichCover = new RichTextDocument(this);
    RichCover->setObjectName(QStringLiteral("RichCover"));
    RichDoc = new RichTextDocument(this);
    RichDoc->setObjectName(QStringLiteral("RichDoc"));
    OrvFaxConverter1 = new TOrvFaxConverter(this);
    OrvFaxConverter1->setObjectName(QStringLiteral("OrvFaxConverter1"));
    OrvFaxConverter1->setInputDocumentType(idBmp);
    OrvFaxConverter1->setOptions(coCenterImage | coYield);
    OrvFaxConverter1->setResolution(frHigh);
    OrvFaxConverter1->setFontFile(QStringLiteral("ORVFAX.FNT"));
    OrvFaxConverter1->setFontType(ffStandard);
}

QString TMainScreen::CreateFaxFile() {
    PrepareFaxFileWorkArea();
    BusyMaking busy(ButtonBar, status);
    try {
        busy.say(QStringLiteral("Creating fax file"));
        LoadRichText(*RichCover, QStringLiteral("RTFCOVER"), FaxLink);
        LoadRichText(*RichDoc, QStringLiteral("RTFDOC"), FaxLink);
        const bool coverBlank = RichTextIsBlank(*RichCover);
        const bool docBlank = RichTextIsBlank(*RichDoc);
        if (coverBlank && docBlank) {
            busy.restore();
            ShowMessage(QStringLiteral("Fax has no contents or cover sheet"));
            return QString();
        }

        QStringList pages;
        busy.say(QStringLiteral("Creating fax file...."));
        const QString folder = ProgramFolder();
        // The cover sheet's pages always come first.
        if (!coverBlank) RenderRichTextPages(*RichCover, pages, folder, *OrvFaxConverter1, LetMessagesRun);
        if (!docBlank) RenderRichTextPages(*RichDoc, pages, folder, *OrvFaxConverter1, LetMessagesRun);
        FFaxPages = int(pages.size());
        busy.say(QStringLiteral("Creating fax file........"));
        return JoinFaxFiles(pages);
    } catch (const std::exception& e) {
        // The files made so far stay, as an interrupted creation leaves them;
        // the next one takes the next free name.
        busy.restore();
        ShowException(e);
        return QString();
    }
}

}  // namespace orv
