#pragma once
// RichTextDocument: the rich text of one editor without any window. It owns
// the QTextDocument, the page layout in twips and the zoom, and does what the
// fax editor, the cover templates, the spell checker, the paragraph dialog
// and fax file creation need of the text: RTF load and save, merge fields,
// the word walk, paragraph indents and spacing, the blank-text tests, and
// page-mode painting (PaintPage) at the zoom onto any QPainter.
//
// TRichEditor (rich_editor.h) shows and edits one of these; fax file
// creation and the command-line tool use it alone (a QGuiApplication is
// needed for fonts, no widgets).
#include "richtext/page_layout.h"
#include "richtext/word_walk.h"

#include <QImage>
#include <QObject>
#include <QStringList>
#include <QTextCharFormat>
#include <QTextDocument>

#include <functional>
#include <memory>
#include <optional>

class QPainter;
class QTextCursor;

namespace orv {

// Indents and spacing of one paragraph, in twips. firstIndent is where the
// first line starts, measured like leftIndent (equal to it when the first
// line is not indented on its own). lineHeight > 0 is a minimum line height,
// < 0 an exact one, 0 automatic (single, or the paragraph's proportional
// spacing, which is then left as it is).
struct ParagraphMetrics {
    int firstIndent = 0;
    int leftIndent = 0;
    int rightIndent = 0;
    int spaceBefore = 0;
    int spaceAfter = 0;
    int lineHeight = 0;
    bool operator==(const ParagraphMetrics&) const = default;
};

// One merge field as found in the text.
struct MergeFieldInfo {
    int tag = 0;
    QChar marker;
    QString value;
    bool hidden = false;
    int position = 0;  // of the marker
};

class RichTextDocument : public QObject {
    Q_OBJECT
public:
    // The value of a merge field for its tag; nullopt leaves the field as it is.
    using MergeCallback = std::function<std::optional<QString>(int tag)>;

    explicit RichTextDocument(QObject* parent = nullptr);
    ~RichTextDocument() override;

    // The text for an editor or a view, laid out for the screen from the
    // first call on. Loading, saving, merging and painting pages need no
    // layout of it (pages are laid out on a copy for the canvas), so a text
    // that is only turned into fax pages is laid out once, not twice.
    QTextDocument* document() const;

    // ---- contents
    void clear();
    // Loads RTF (or plain text when the data is no RTF); never fails on bad data.
    void loadRtf(const QByteArray& data);
    QByteArray saveRtf() const;
    // Throw EInOutError (or EOutOfMemory for files over kMaxFileSize).
    void loadRtfFile(const QString& path);
    void saveRtfFile(const QString& path) const;
    static constexpr qint64 kMaxFileSize = 64 * 1024 * 1024;

    // ---- page layout (twips) and zoom (percent, 10..1000)
    PageLayout pageLayout() const { return layout_; }
    void setPageLayout(const PageLayout& layout);
    int zoom() const { return zoom_; }
    void setZoom(int percent);

    // ---- what the text holds
    bool isSingleEmptyParagraph() const;
    // Characters of the text, a paragraph end counting one.
    int characterCount() const;
    // The text, one entry per line (paragraphs, split again at line breaks);
    // shown markers appear as their marker character, hidden ones not at all.
    QStringList lines() const { return linesOf(*doc_); }
    static QStringList linesOf(const QTextDocument& doc);

    // ---- merge fields
    // Inserts marker and value text (cut to 254 characters) at the cursor,
    // replacing its selection. Throws EBadArgument for a tag below 1.
    void insertMergeField(QTextCursor& cursor, QChar marker, int tag, const QString& value);
    // Replaces each field's value text by callback(tag); returns the count replaced.
    int mergeFields(const MergeCallback& callback);
    // Hides (or shows) the markers of all fields; hidden markers take no
    // room, are not painted and stay hidden when saved and loaded.
    void setMarkersHidden(bool hidden);
    bool markersHidden() const { return markersHidden_; }
    QList<MergeFieldInfo> fields() const { return fieldsOf(*doc_); }
    static QList<MergeFieldInfo> fieldsOf(const QTextDocument& doc);

    // ---- word walk for the spell checker
    WordWalk& wordWalk() { return walk_; }

    // ---- paragraph of the cursor
    static ParagraphMetrics paragraphMetrics(const QTextCursor& cursor);
    // Each applies to every paragraph the cursor (or its selection) touches.
    static void setParagraphSpacing(QTextCursor& cursor, int spaceBefore, int lineHeight, int spaceAfter);
    static void setParagraphIndents(QTextCursor& cursor, int firstIndent, int leftIndent, int rightIndent);
    // Starts a new page at the cursor, keeping the character format.
    static void insertPageBreak(QTextCursor& cursor);

    // ---- page mode
    // Paints the page starting at continuation (0 = first page) with the
    // paper's corner at (left, top), within width x height pixels of the
    // canvas, at zoom(); returns where the next page starts, or 0 when no text
    // is left. Lines wrap at the page layout's text width whatever a view of
    // the text does. One inch covers zoom() * LayoutDpi() / 100 pixels,
    // rounded to a whole number (ZoomForDpi(200): exactly 200).
    int paintPage(QPainter& painter, int left, int top, int width, int height, int continuation);
    // Start positions of all pages (the first is 0).
    QList<int> pageStarts();

signals:
    // The page layout or the zoom changed.
    void viewChanged();

private:
    void afterLoad(int nextFieldId);
    int renderDpi() const;
    QTextDocument* renderDocument();

    QTextDocument* doc_;
    // doc_ has its screen layout and the marker handler: document(), which
    // the editor asks for on every format query, makes them only once.
    mutable bool screenLayout_ = false;
    PageLayout layout_;
    int zoom_ = 100;
    bool markersHidden_ = false;
    int nextFieldId_ = 1;
    WordWalk walk_;
    QImage renderDevice_;                    // render_'s paint device: its resolution (outlives it)
    std::unique_ptr<QTextDocument> render_;  // laid out for painting; rebuilt after changes
    int renderedDpi_ = 0;
    bool renderDirty_ = true;
};

// The character format without merge-field properties (for text typed or
// inserted next to a field).
QTextCharFormat PlainCharFormat(QTextCharFormat format);

// The zoom at which one inch covers dpi pixels when painting (fax pages: 200).
int ZoomForDpi(double dpi);

}  // namespace orv
