#include "ui/richtext/rich_editor.h"

#include "config/settings.h"
#include "richtext/rich_format.h"
#include "richtext/rich_text_helpers.h"
#include "richtext/rtf_reader.h"
#include "richtext/rtf_writer.h"

#include <QAbstractTextDocumentLayout>
#include <QApplication>
#include <QClipboard>
#include <QGraphicsRectItem>
#include <QGraphicsScene>
#include <QGraphicsTextItem>
#include <QKeyEvent>
#include <QMimeData>
#include <QPainter>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextDocumentFragment>

namespace orv {

namespace {
const char kRtfMime[] = "text/rtf";
constexpr qreal kPaperGap = 12;  // layout units of grey around the paper
}  // namespace

// The editable text on the paper. It tells the editor about every move of
// the insertion point and routes the clipboard keys through the editor, so
// copies keep merge fields (as RTF) and pasted RTF is read by our reader.
class EditorTextItem : public QGraphicsTextItem {
public:
    explicit EditorTextItem(TRichEditor* editor) : editor_(editor) {
        setTextInteractionFlags(Qt::TextEditorInteraction);
    }

protected:
    void keyPressEvent(QKeyEvent* e) override {
        if (e->matches(QKeySequence::Copy)) {
            editor_->copy();
        } else if (e->matches(QKeySequence::Cut)) {
            editor_->cut();
        } else if (e->matches(QKeySequence::Paste)) {
            editor_->paste();
        } else {
            const bool newParagraph = e->key() == Qt::Key_Return || e->key() == Qt::Key_Enter;
            QGraphicsTextItem::keyPressEvent(e);
            if (newParagraph) dropCopiedPageBreak();
        }
        e->accept();
        editor_->notifyCursor();
        editor_->ensureCursorVisible();
    }
    void inputMethodEvent(QInputMethodEvent* e) override {
        QGraphicsTextItem::inputMethodEvent(e);
        editor_->notifyCursor();
    }
    void mousePressEvent(QGraphicsSceneMouseEvent* e) override {
        QGraphicsTextItem::mousePressEvent(e);
        editor_->notifyCursor();
    }
    void mouseMoveEvent(QGraphicsSceneMouseEvent* e) override {
        QGraphicsTextItem::mouseMoveEvent(e);
        editor_->notifyCursor();
    }
    void mouseReleaseEvent(QGraphicsSceneMouseEvent* e) override {
        QGraphicsTextItem::mouseReleaseEvent(e);
        editor_->notifyCursor();
    }

private:
    // A new paragraph copies the format of the one it was split from; a page
    // break belongs only to the first of the two.
    void dropCopiedPageBreak() {
        QTextCursor c = textCursor();
        QTextBlockFormat f = c.blockFormat();
        if (c.block().previous().isValid() && (f.pageBreakPolicy() & QTextFormat::PageBreak_AlwaysBefore)) {
            f.setPageBreakPolicy(QTextFormat::PageBreak_Auto);
            c.setBlockFormat(f);
        }
    }

    TRichEditor* editor_;
};

TRichEditor::TRichEditor(QWidget* parent) : QGraphicsView(parent), scene_(std::make_unique<QGraphicsScene>()) {
    setScene(scene_.get());
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    QGraphicsView::setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    setBackgroundBrush(QColor(0xA0, 0xA0, 0xA0));
    setFocusPolicy(Qt::StrongFocus);
    setTransformationAnchor(QGraphicsView::NoAnchor);

    paper_ = scene_->addRect(QRectF(), QPen(Qt::black, 0), QBrush(Qt::white));
    textItem_ = new EditorTextItem(this);  // owned by the scene
    scene_->addItem(textItem_);
    textItem_->setDocument(richText_.document());
    textItem_->setDefaultTextColor(Qt::black);
    textItem_->setFocus();

    connect(&richText_, &RichTextDocument::viewChanged, this, [this] {
        updateScene();
        emit zoomChanged(zoom());
    });
    connect(richText_.document()->documentLayout(), &QAbstractTextDocumentLayout::documentSizeChanged, this,
            [this] { updateScene(); });
    updateScene();
}

TRichEditor::~TRichEditor() {
    setScene(nullptr);
    scene_.reset();
}

void TRichEditor::updateScene() {
    const PageLayout L = richText_.pageLayout();
    const qreal textWidth = TwipsToLayout(L.textWidth());
    if (wordWrap_) {
        if (!qFuzzyCompare(document()->textWidth(), textWidth)) textItem_->setTextWidth(textWidth);
    } else if (document()->textWidth() >= 0) {
        textItem_->setTextWidth(-1);
    }
    const qreal left = TwipsToLayout(L.left), top = TwipsToLayout(L.top);
    const QSizeF docSize = document()->documentLayout()->documentSize();
    const qreal paperW = std::max(TwipsToLayout(L.width), left + docSize.width() + TwipsToLayout(L.right));
    const qreal paperH = std::max(TwipsToLayout(L.height), top + docSize.height() + TwipsToLayout(L.bottom));
    paper_->setRect(0, 0, paperW, paperH);
    textItem_->setPos(left, top);
    scene_->setSceneRect(-kPaperGap, -kPaperGap, paperW + 2 * kPaperGap, paperH + 2 * kPaperGap);
    const qreal s = richText_.zoom() / 100.0;
    if (!qFuzzyCompare(transform().m11(), s)) setTransform(QTransform::fromScale(s, s));
    viewport()->update();
}

void TRichEditor::drawForeground(QPainter* painter, const QRectF& rect) {
    // Page breaks: a dashed line across the paper above each paragraph that starts a page.
    QPen pen(Qt::gray, 0, Qt::DashLine);
    painter->setPen(pen);
    const QRectF paper = paper_->rect();
    const QPointF origin = textItem_->pos();
    QAbstractTextDocumentLayout* layout = document()->documentLayout();
    for (QTextBlock b = document()->begin().next(); b.isValid(); b = b.next()) {
        if (!(b.blockFormat().pageBreakPolicy() & QTextFormat::PageBreak_AlwaysBefore)) continue;
        const qreal y = origin.y() + layout->blockBoundingRect(b).top();
        if (y < rect.top() - 1 || y > rect.bottom() + 1) continue;
        painter->drawLine(QPointF(paper.left(), y), QPointF(paper.right(), y));
    }
}

void TRichEditor::focusInEvent(QFocusEvent* event) {
    QGraphicsView::focusInEvent(event);
    textItem_->setFocus();
}

void TRichEditor::notifyCursor() {
    emit cursorPositionChanged();
    const QTextCharFormat f = currentCharFormat();
    if (f != lastFormat_) {
        lastFormat_ = f;
        emit currentCharFormatChanged(f);
    }
}

void TRichEditor::ensureCursorVisible() {
    const QTextCursor c = textCursor();
    const QTextBlock b = c.block();
    QTextLayout* tl = b.layout();
    if (!tl) return;
    const QTextLine line = tl->lineForTextPosition(c.positionInBlock());
    if (!line.isValid()) return;
    const QPointF p = textItem_->mapToScene(tl->position() + QPointF(line.cursorToX(c.positionInBlock()), line.y()));
    ensureVisible(QRectF(p, QSizeF(1, line.height())), 20, 20);
}

// ---- contents ---------------------------------------------------------------------

void TRichEditor::clear() {
    richText_.clear();
    moveToStart();
}

void TRichEditor::loadFromFile(const QString& path) {
    richText_.loadRtfFile(path);
    moveToStart();
}

void TRichEditor::saveToFile(const QString& path) const { richText_.saveRtfFile(path); }

void TRichEditor::loadRtf(const QByteArray& data) {
    richText_.loadRtf(data);
    moveToStart();
}

// ---- insertion point ------------------------------------------------------------------

QTextCursor TRichEditor::textCursor() const { return textItem_->textCursor(); }

void TRichEditor::setTextCursor(const QTextCursor& cursor) {
    textItem_->setTextCursor(cursor);
    notifyCursor();
}

void TRichEditor::moveToStart() {
    QTextCursor c(document());
    c.movePosition(QTextCursor::Start);
    setTextCursor(c);
    verticalScrollBar()->setValue(verticalScrollBar()->minimum());
}

QTextCharFormat TRichEditor::currentCharFormat() const {
    const QTextCursor c = textCursor();
    // At the start of a paragraph the cursor reports the paragraph's own
    // format, which is what new text there gets.
    return PlainCharFormat(c.charFormat());
}

void TRichEditor::mergeCurrentCharFormat(const QTextCharFormat& modifier) {
    QTextCursor c = textCursor();
    c.mergeCharFormat(modifier);
    if (!c.hasSelection() && document()->isEmpty()) c.mergeBlockCharFormat(modifier);
    setTextCursor(c);
}

QString TRichEditor::fontName() const {
    const QFont f = currentCharFormat().font().resolve(document()->defaultFont());
    return f.families().value(0, f.family());
}

void TRichEditor::setFontName(const QString& name) {
    QTextCharFormat f;
    f.setFontFamilies({name});
    mergeCurrentCharFormat(f);
}

qreal TRichEditor::fontSize() const {
    return currentCharFormat().font().resolve(document()->defaultFont()).pointSizeF();
}

void TRichEditor::setFontSize(qreal points) {
    if (points <= 0) return;
    QTextCharFormat f;
    f.setFontPointSize(std::min<qreal>(points, 1638));
    mergeCurrentCharFormat(f);
}

bool TRichEditor::bold() const { return currentCharFormat().font().resolve(document()->defaultFont()).bold(); }

void TRichEditor::setBold(bool on) {
    QTextCharFormat f;
    f.setFontWeight(on ? QFont::Bold : QFont::Normal);
    mergeCurrentCharFormat(f);
}

bool TRichEditor::italic() const { return currentCharFormat().font().resolve(document()->defaultFont()).italic(); }

void TRichEditor::setItalic(bool on) {
    QTextCharFormat f;
    f.setFontItalic(on);
    mergeCurrentCharFormat(f);
}

bool TRichEditor::underline() const {
    return currentCharFormat().font().resolve(document()->defaultFont()).underline();
}

void TRichEditor::setUnderline(bool on) {
    QTextCharFormat f;
    f.setFontUnderline(on);
    mergeCurrentCharFormat(f);
}

void TRichEditor::setNormal() {
    QTextCharFormat f;
    f.setFontWeight(QFont::Normal);
    f.setFontItalic(false);
    f.setFontUnderline(false);
    mergeCurrentCharFormat(f);
}

Qt::Alignment TRichEditor::paragraphAlignment() const { return textCursor().blockFormat().alignment() & Qt::AlignHorizontal_Mask; }

void TRichEditor::setParagraphAlignment(Qt::Alignment alignment) {
    QTextCursor c = textCursor();
    QTextBlockFormat f;
    f.setAlignment(alignment);
    c.mergeBlockFormat(f);
    setTextCursor(c);
}

void TRichEditor::insertPageBreak() {
    QTextCursor c = textCursor();
    RichTextDocument::insertPageBreak(c);
    setTextCursor(c);
    reformat();
}

// ---- view ---------------------------------------------------------------------------

void TRichEditor::setWordWrap(bool on) {
    if (wordWrap_ == on) return;
    wordWrap_ = on;
    updateScene();
}

void TRichEditor::reformat() {
    document()->markContentsDirty(0, document()->characterCount());
    updateScene();
}

// ---- merge fields, word walk, paragraphs ------------------------------------------------

void TRichEditor::insertMergeField(QChar marker, int tag, const QString& value) {
    QTextCursor c = textCursor();
    richText_.insertMergeField(c, marker, tag, value);
    setTextCursor(c);
}

void TRichEditor::markWord() {
    if (!richText_.wordWalk().mark()) return;
    const WordWalk::Range r = richText_.wordWalk().marked();
    QTextCursor c(document());
    c.setPosition(std::min(r.start, document()->characterCount() - 1));
    c.setPosition(std::min(r.start + r.length, document()->characterCount() - 1), QTextCursor::KeepAnchor);
    setTextCursor(c);
    ensureCursorVisible();
}

void TRichEditor::replaceMarkedWord(const QString& text) {
    const WordWalk::Range r = richText_.wordWalk().marked();
    if (!richText_.wordWalk().replaceMarked(text)) return;
    QTextCursor c(document());
    c.setPosition(std::min<int>(r.start + int(text.size()), document()->characterCount() - 1));
    setTextCursor(c);
}

void TRichEditor::unmarkWord() {
    richText_.wordWalk().unmark();
    QTextCursor c = textCursor();
    c.clearSelection();
    setTextCursor(c);
}

void TRichEditor::setParagraphSpacing(int spaceBefore, int lineHeight, int spaceAfter) {
    QTextCursor c = textCursor();
    RichTextDocument::setParagraphSpacing(c, spaceBefore, lineHeight, spaceAfter);
    setTextCursor(c);
}

void TRichEditor::setParagraphIndents(int firstIndent, int leftIndent, int rightIndent) {
    QTextCursor c = textCursor();
    RichTextDocument::setParagraphIndents(c, firstIndent, leftIndent, rightIndent);
    setTextCursor(c);
}

// ---- clipboard ------------------------------------------------------------------------

void TRichEditor::copy() {
    const QTextCursor c = textCursor();
    if (!c.hasSelection()) return;
    const QTextDocumentFragment fragment = c.selection();
    QTextDocument part;
    part.setDefaultFont(document()->defaultFont());
    QTextCursor(&part).insertFragment(fragment);
    auto mime = std::make_unique<QMimeData>();
    mime->setData(kRtfMime, RtfWriter::write(&part, richText_.pageLayout()));
    mime->setHtml(fragment.toHtml());
    mime->setText(fragment.toPlainText());
    QGuiApplication::clipboard()->setMimeData(mime.release());  // the clipboard owns it
}

void TRichEditor::cut() {
    QTextCursor c = textCursor();
    if (!c.hasSelection()) return;
    copy();
    c.removeSelectedText();
    setTextCursor(c);
}

void TRichEditor::paste() {
    const QMimeData* mime = QGuiApplication::clipboard()->mimeData();
    if (!mime) return;
    QTextCursor c = textCursor();
    if (mime->hasFormat(kRtfMime)) {
        QTextDocument part;
        part.setDefaultFont(document()->defaultFont());
        RtfReader::read(mime->data(kRtfMime), &part, 1 << 20);
        c.insertFragment(QTextDocumentFragment(&part));
    } else if (mime->hasHtml()) {
        c.insertFragment(QTextDocumentFragment::fromHtml(mime->html()));
    } else if (mime->hasText()) {
        c.insertText(mime->text());
    }
    setTextCursor(c);
    ensureCursorVisible();
}

// ---- helpers of the shell -----------------------------------------------------------------

void ApplyDefaultFont(TRichEditor& editor, const Settings& settings) {
    ApplyDefaultFont(editor.richText(), settings);
    editor.mergeCurrentCharFormat(DefaultFontFormat(settings));
}

bool RichTextIsBlank(const TRichEditor& editor) { return RichTextIsBlank(editor.richText()); }

}  // namespace orv
