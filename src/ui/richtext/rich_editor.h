#pragma once
// TRichEditor: the rich-text editor control of the fax editor, the cover
// sheet editors and the main window's hidden work area. It shows a
// RichTextDocument as a sheet of paper of the document's page layout
// (QGraphicsView, so the zoom scales everything exactly), with both scroll
// bars, Tab typed as text, merge-field markers in red and page breaks as
// dashed lines. Every operation the windows use is here; the ones that need
// no insertion point simply pass on to richText().
//
// Its tool bar is TRichToolBar (rich_tool_bar.h); the tool bar's spell-check
// button reaches the window as the signal StartSpellCheck.
#include "richtext/rich_text_document.h"

#include <QGraphicsView>
#include <QTextCursor>

#include <memory>

class QGraphicsRectItem;
class QGraphicsScene;

namespace orv {

struct Settings;
class EditorTextItem;

class TRichEditor : public QGraphicsView {
    Q_OBJECT
public:
    explicit TRichEditor(QWidget* parent = nullptr);
    ~TRichEditor() override;

    RichTextDocument& richText() { return richText_; }
    const RichTextDocument& richText() const { return richText_; }
    QTextDocument* document() const { return richText_.document(); }

    // ---- contents (RTF files; the undo history starts anew)
    void clear();
    void loadFromFile(const QString& path);  // throws EInOutError
    void saveToFile(const QString& path) const;
    void loadRtf(const QByteArray& data);
    QByteArray saveRtf() const { return richText_.saveRtf(); }

    PageLayout pageLayout() const { return richText_.pageLayout(); }
    void setPageLayout(const PageLayout& layout) { richText_.setPageLayout(layout); }

    // ---- insertion point
    QTextCursor textCursor() const;
    void setTextCursor(const QTextCursor& cursor);
    void moveToStart();
    QTextCharFormat currentCharFormat() const;
    // Applies to the selection, or to the text typed next.
    void mergeCurrentCharFormat(const QTextCharFormat& modifier);
    QString fontName() const;
    void setFontName(const QString& name);
    qreal fontSize() const;
    void setFontSize(qreal points);
    bool bold() const;
    void setBold(bool on);
    bool italic() const;
    void setItalic(bool on);
    bool underline() const;
    void setUnderline(bool on);
    void setNormal();  // no bold, italic or underline
    Qt::Alignment paragraphAlignment() const;
    void setParagraphAlignment(Qt::Alignment alignment);

    void insertPageBreak();

    // ---- view
    bool wordWrap() const { return wordWrap_; }
    void setWordWrap(bool on);
    int zoom() const { return richText_.zoom(); }
    void setZoom(int percent) { richText_.setZoom(percent); }
    void reformat();  // lays the text out anew and repaints

    // ---- merge fields
    void insertMergeField(QChar marker, int tag, const QString& value);
    int mergeFields(const RichTextDocument::MergeCallback& callback) { return richText_.mergeFields(callback); }
    void setMarkersHidden(bool hidden) { richText_.setMarkersHidden(hidden); }

    // ---- word walk (spell checking)
    void startWordWalk() { richText_.wordWalk().start(); }
    QString nextWord() { return richText_.wordWalk().nextWord(); }
    void markWord();                              // selects and shows the word given last
    void replaceMarkedWord(const QString& text);
    void unmarkWord();

    // ---- paragraph at the insertion point (twips)
    ParagraphMetrics paragraphMetrics() const { return RichTextDocument::paragraphMetrics(textCursor()); }
    void setParagraphSpacing(int spaceBefore, int lineHeight, int spaceAfter);
    void setParagraphIndents(int firstIndent, int leftIndent, int rightIndent);

    // ---- what the text holds
    bool isSingleEmptyParagraph() const { return richText_.isSingleEmptyParagraph(); }
    int characterCount() const { return richText_.characterCount(); }
    QStringList lines() const { return richText_.lines(); }

    // ---- page mode painting (see RichTextDocument::paintPage)
    int paintPage(QPainter& painter, int left, int top, int width, int height, int continuation) {
        return richText_.paintPage(painter, left, top, width, height, continuation);
    }

    // ---- clipboard (RTF, HTML and plain text)
    void copy();
    void cut();
    void paste();

public slots:
    // The tool bar's spell-check button.
    void requestSpellCheck() { emit StartSpellCheck(); }

signals:
    void StartSpellCheck();
    void currentCharFormatChanged(const QTextCharFormat& format);
    void cursorPositionChanged();
    void zoomChanged(int percent);

protected:
    void drawForeground(QPainter* painter, const QRectF& rect) override;
    void focusInEvent(QFocusEvent* event) override;

private:
    friend class EditorTextItem;
    void updateScene();
    void notifyCursor();
    void ensureCursorVisible();

    RichTextDocument richText_;
    std::unique_ptr<QGraphicsScene> scene_;  // destroyed before richText_: its item uses the document
    QGraphicsRectItem* paper_ = nullptr;
    EditorTextItem* textItem_ = nullptr;
    bool wordWrap_ = true;
    QTextCharFormat lastFormat_;
};

// Makes the Default Font settings the format at the editor's insertion point
// and the default of its text.
void ApplyDefaultFont(TRichEditor& editor, const Settings& settings);
bool RichTextIsBlank(const TRichEditor& editor);

}  // namespace orv
