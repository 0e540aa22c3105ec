#include "richtext/rich_text_document.h"

#include "common/atomic_file.h"
#include "common/orv_error.h"
#include "richtext/page_painter.h"
#include "richtext/rich_format.h"
#include "richtext/rtf_reader.h"
#include "richtext/rtf_writer.h"

#include <QAbstractTextDocumentLayout>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QPainter>
#include <QTextBlock>
#include <QTextCursor>

#include <cmath>

namespace orv {

QTextCharFormat PlainCharFormat(QTextCharFormat f) {
    if (f.objectType() != QTextFormat::NoObject) f.clearProperty(QTextFormat::ObjectType);
    f.clearProperty(kMergeTagProperty);
    f.clearProperty(kMarkerCharProperty);
    f.clearProperty(kMarkerHiddenProperty);
    f.clearProperty(kFieldIdProperty);
    return f;
}

int ZoomForDpi(double dpi) { return static_cast<int>(std::trunc(dpi / LayoutDpi() * 100.0)); }

RichTextDocument::RichTextDocument(QObject* parent)
    : QObject(parent), doc_(new QTextDocument(this)), walk_(doc_) {
    doc_->setDocumentMargin(0);
    QFont f(QStringLiteral("Arial"));
    f.setPointSize(10);
    doc_->setDefaultFont(f);
    doc_->setTextWidth(TwipsToLayout(layout_.textWidth()));
    connect(doc_, &QTextDocument::contentsChanged, this, [this] { renderDirty_ = true; });
}

RichTextDocument::~RichTextDocument() = default;

QTextDocument* RichTextDocument::document() const {
    if (!screenLayout_) {
        RegisterMergeMarkerHandler(doc_);
        screenLayout_ = true;
    }
    return doc_;
}

// ---- contents ---------------------------------------------------------------------

void RichTextDocument::clear() {
    doc_->clear();
    markersHidden_ = false;
    nextFieldId_ = 1;
    walk_.start();
    renderDirty_ = true;
}

void RichTextDocument::loadRtf(const QByteArray& data) {
    const RtfReadResult r = RtfReader::read(data, doc_);
    if (r.hasPageLayout) setPageLayout(r.pageLayout);
    afterLoad(r.nextFieldId);
}

void RichTextDocument::afterLoad(int nextFieldId) {
    nextFieldId_ = nextFieldId;
    const QList<MergeFieldInfo> all = fields();
    markersHidden_ = !all.isEmpty() && std::all_of(all.begin(), all.end(), [](const MergeFieldInfo& f) { return f.hidden; });
    walk_.start();
    renderDirty_ = true;
}

QByteArray RichTextDocument::saveRtf() const { return RtfWriter::write(doc_, layout_); }

void RichTextDocument::loadRtfFile(const QString& path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) {
        const int code = QFileInfo::exists(path) ? ecAccessDenied : ecFileNotFound;
        throw EInOutError(code, QStringLiteral("Cannot open %1: %2").arg(path, f.errorString()));
    }
    if (f.size() > kMaxFileSize)
        throw EOutOfMemory(ecOutOfMemory, QStringLiteral("%1 is too large for a rich text").arg(path));
    const QByteArray data = f.read(kMaxFileSize + 1);
    if (f.error() != QFileDevice::NoError)
        throw EInOutError(ecDiskRead, QStringLiteral("Cannot read %1: %2").arg(path, f.errorString()));
    loadRtf(data);
}

void RichTextDocument::saveRtfFile(const QString& path) const {
    QString error;
    if (!WriteFileAtomically(path, saveRtf(), &error))
        throw EInOutError(ecDiskWrite, QStringLiteral("Cannot write %1: %2").arg(path, error));
}

// ---- layout and zoom ----------------------------------------------------------------

void RichTextDocument::setPageLayout(const PageLayout& layout) {
    const PageLayout n = layout.normalized();
    if (n == layout_) return;
    layout_ = n;
    if (doc_->textWidth() > 0) doc_->setTextWidth(TwipsToLayout(layout_.textWidth()));
    renderDirty_ = true;
    emit viewChanged();
}

void RichTextDocument::setZoom(int percent) {
    percent = std::clamp(percent, 10, 1000);
    if (percent == zoom_) return;
    zoom_ = percent;
    emit viewChanged();
}

// ---- what the text holds --------------------------------------------------------------

bool RichTextDocument::isSingleEmptyParagraph() const {
    return doc_->blockCount() == 1 && doc_->begin().length() == 1;
}

int RichTextDocument::characterCount() const { return doc_->characterCount() - 1; }

QStringList RichTextDocument::linesOf(const QTextDocument& doc) {
    QStringList out;
    for (QTextBlock b = doc.begin(); b.isValid(); b = b.next()) {
        QString line;
        for (auto it = b.begin(); !it.atEnd(); ++it) {
            const QTextFragment frag = it.fragment();
            const QTextCharFormat f = frag.charFormat();
            if (IsMergeMarker(f)) {
                if (!f.boolProperty(kMarkerHiddenProperty)) {
                    const int code = f.intProperty(kMarkerCharProperty);
                    line += QString(frag.length(), QChar(char16_t(code > 0 ? code : u'*')));
                }
                continue;
            }
            QString t = frag.text();
            t.remove(QChar(kObjectChar));
            line += t;
        }
        out += line.split(QChar(u'\u2028'));
    }
    return out;
}

// ---- merge fields -------------------------------------------------------------------

void RichTextDocument::insertMergeField(QTextCursor& cursor, QChar marker, int tag, const QString& value) {
    if (tag <= 0) throw EBadArgument(ecBadArgument, QStringLiteral("Insertpoint-tag has to be >0"));
    const QTextCharFormat base = PlainCharFormat(cursor.charFormat());
    const int id = nextFieldId_++;
    cursor.beginEditBlock();
    if (cursor.hasSelection()) cursor.removeSelectedText();
    cursor.insertText(QString(QChar(kObjectChar)), MergeMarkerFormat(base, tag, marker, id, markersHidden_));
    QTextCharFormat valueFormat = base;
    valueFormat.setProperty(kFieldIdProperty, id);
    cursor.insertText(value.left(kMaxMergeValueLength), valueFormat);
    cursor.endEditBlock();
    cursor.setCharFormat(base);
}

QList<MergeFieldInfo> RichTextDocument::fieldsOf(const QTextDocument& doc) {
    QList<MergeFieldInfo> out;
    for (QTextBlock b = doc.begin(); b.isValid(); b = b.next()) {
        qsizetype open = -1;  // index in out of the field whose value text may follow
        int openId = 0;
        for (auto it = b.begin(); !it.atEnd(); ++it) {
            const QTextFragment frag = it.fragment();
            const QTextCharFormat f = frag.charFormat();
            if (IsMergeMarker(f)) {
                for (int i = 0; i < frag.length(); ++i) {
                    MergeFieldInfo info;
                    info.tag = f.intProperty(kMergeTagProperty);
                    const int code = f.intProperty(kMarkerCharProperty);
                    info.marker = QChar(char16_t(code > 0 ? code : u'*'));
                    info.hidden = f.boolProperty(kMarkerHiddenProperty);
                    info.position = frag.position() + i;
                    out.append(info);
                }
                open = out.size() - 1;
                openId = f.intProperty(kFieldIdProperty);
                continue;
            }
            if (open >= 0 && openId > 0 && f.intProperty(kFieldIdProperty) == openId) {
                out[open].value += frag.text();
            } else {
                open = -1;
            }
        }
    }
    return out;
}

int RichTextDocument::mergeFields(const MergeCallback& callback) {
    struct Marker {
        int position;
        int tag;
        int id;
        QTextCharFormat format;
    };
    std::vector<Marker> markers;
    for (QTextBlock b = doc_->begin(); b.isValid(); b = b.next())
        for (auto it = b.begin(); !it.atEnd(); ++it) {
            const QTextFragment frag = it.fragment();
            const QTextCharFormat f = frag.charFormat();
            if (!IsMergeMarker(f)) continue;
            for (int i = 0; i < frag.length(); ++i)
                markers.push_back({frag.position() + i, f.intProperty(kMergeTagProperty), f.intProperty(kFieldIdProperty), f});
        }
    int merged = 0;
    QTextCursor c(doc_);
    c.beginEditBlock();
    // Back to front, so the positions of the fields still to come stay valid.
    for (auto m = markers.rbegin(); m != markers.rend(); ++m) {
        const std::optional<QString> value = callback ? callback(m->tag) : std::nullopt;
        if (!value) continue;
        const int start = m->position + 1;
        int end = start;
        QTextCharFormat valueFormat = PlainCharFormat(m->format);
        valueFormat.clearForeground();
        bool haveFormat = false;
        const QTextBlock b = doc_->findBlock(m->position);
        for (auto it = b.begin(); !it.atEnd(); ++it) {
            const QTextFragment frag = it.fragment();
            if (frag.position() + frag.length() <= start) continue;
            const QTextCharFormat f = frag.charFormat();
            if (frag.position() > end || IsMergeMarker(f) || m->id <= 0 || f.intProperty(kFieldIdProperty) != m->id) break;
            if (!haveFormat) {
                valueFormat = f;
                haveFormat = true;
            }
            end = frag.position() + frag.length();
        }
        valueFormat.setProperty(kFieldIdProperty, m->id);
        c.setPosition(start);
        c.setPosition(end, QTextCursor::KeepAnchor);
        c.insertText(value->left(kMaxMergeValueLength), valueFormat);
        ++merged;
    }
    c.endEditBlock();
    return merged;
}

void RichTextDocument::setMarkersHidden(bool hidden) {
    markersHidden_ = hidden;
    QTextCursor c(doc_);
    c.beginEditBlock();
    for (QTextBlock b = doc_->begin(); b.isValid(); b = b.next()) {
        std::vector<std::pair<int, int>> ranges;
        for (auto it = b.begin(); !it.atEnd(); ++it)
            if (IsMergeMarker(it.fragment().charFormat()))
                ranges.emplace_back(it.fragment().position(), it.fragment().length());
        for (const auto& [pos, len] : ranges) {
            c.setPosition(pos);
            c.setPosition(pos + len, QTextCursor::KeepAnchor);
            QTextCharFormat f;
            f.setProperty(kMarkerHiddenProperty, hidden);
            c.mergeCharFormat(f);
        }
    }
    c.endEditBlock();
    // The marker's size changed without a change of text: lay it out anew.
    doc_->markContentsDirty(0, doc_->characterCount());
}

// ---- paragraphs ---------------------------------------------------------------------

ParagraphMetrics RichTextDocument::paragraphMetrics(const QTextCursor& cursor) {
    const QTextBlockFormat b = cursor.blockFormat();
    ParagraphMetrics m;
    m.leftIndent = LayoutToTwips(b.leftMargin());
    m.firstIndent = LayoutToTwips(b.leftMargin() + b.textIndent());
    m.rightIndent = LayoutToTwips(b.rightMargin());
    m.spaceBefore = LayoutToTwips(b.topMargin());
    m.spaceAfter = LayoutToTwips(b.bottomMargin());
    switch (b.lineHeightType()) {
    case QTextBlockFormat::MinimumHeight: m.lineHeight = LayoutToTwips(b.lineHeight()); break;
    case QTextBlockFormat::FixedHeight: m.lineHeight = -LayoutToTwips(b.lineHeight()); break;
    default: m.lineHeight = 0; break;
    }
    return m;
}

void RichTextDocument::setParagraphSpacing(QTextCursor& cursor, int spaceBefore, int lineHeight, int spaceAfter) {
    const QTextBlockFormat current = cursor.blockFormat();
    QTextBlockFormat f;
    f.setTopMargin(TwipsToLayout(std::clamp(spaceBefore, 0, 31680)));
    f.setBottomMargin(TwipsToLayout(std::clamp(spaceAfter, 0, 31680)));
    lineHeight = std::clamp(lineHeight, -31680, 31680);
    if (lineHeight > 0)
        f.setLineHeight(TwipsToLayout(lineHeight), QTextBlockFormat::MinimumHeight);
    else if (lineHeight < 0)
        f.setLineHeight(TwipsToLayout(-lineHeight), QTextBlockFormat::FixedHeight);
    else if (current.lineHeightType() != QTextBlockFormat::ProportionalHeight)
        f.setLineHeight(0, QTextBlockFormat::SingleHeight);
    cursor.mergeBlockFormat(f);
}

void RichTextDocument::setParagraphIndents(QTextCursor& cursor, int firstIndent, int leftIndent, int rightIndent) {
    QTextBlockFormat f;
    firstIndent = std::clamp(firstIndent, -31680, 31680);
    leftIndent = std::clamp(leftIndent, -31680, 31680);
    f.setLeftMargin(TwipsToLayout(leftIndent));
    f.setTextIndent(TwipsToLayout(firstIndent - leftIndent));
    f.setRightMargin(TwipsToLayout(std::clamp(rightIndent, -31680, 31680)));
    cursor.mergeBlockFormat(f);
}

void RichTextDocument::insertPageBreak(QTextCursor& cursor) {
    const QTextCharFormat cf = PlainCharFormat(cursor.charFormat());
    QTextBlockFormat bf = cursor.blockFormat();
    bf.setPageBreakPolicy(QTextFormat::PageBreak_AlwaysBefore);
    cursor.beginEditBlock();
    if (cursor.hasSelection()) cursor.removeSelectedText();
    cursor.insertBlock(bf, cf);
    cursor.endEditBlock();
    cursor.setCharFormat(cf);
}

// ---- page mode ----------------------------------------------------------------------

int RichTextDocument::renderDpi() const { return std::max(1, qRound(LayoutDpi() * zoom_ / 100.0)); }

QTextDocument* RichTextDocument::renderDocument() {
    const int dpi = renderDpi();
    if (render_ && !renderDirty_ && renderedDpi_ == dpi) return render_.get();
    render_.reset(doc_->clone());
    render_->setUndoRedoEnabled(false);
    render_->setDocumentMargin(0);
    // Clean black and white: formats name no style strategy of their own, so
    // they take this one from the default font.
    QFont f = render_->defaultFont();
    f.setStyleStrategy(QFont::NoAntialias);
    render_->setDefaultFont(f);
    // Laid out in pixels of the canvas: glyphs are then drawn at their own
    // size, never scaled (scaled large glyphs would be antialiased outlines).
    // Qt scales fonts, line heights and tab stops to the device; paragraph
    // margins and indents we scale here. The clone has no layout yet and
    // gets one only when device and width are known, so it is laid out once:
    // a block format set on a laid-out document outside an edit block lays
    // its block out again at once, and a layout made before the device is
    // set lays the document out for the screen.
    renderDevice_ = QImage(1, 1, QImage::Format_Mono);
    renderDevice_.setDotsPerMeterX(qRound(dpi / 0.0254));
    renderDevice_.setDotsPerMeterY(qRound(dpi / 0.0254));
    const qreal k = qreal(renderDevice_.logicalDpiY()) / LayoutDpi();
    QTextCursor c(render_.get());
    c.beginEditBlock();
    for (QTextBlock b = render_->begin(); b.isValid(); b = b.next()) {
        QTextBlockFormat bf = b.blockFormat();
        bf.setLeftMargin(bf.leftMargin() * k);
        bf.setRightMargin(bf.rightMargin() * k);
        bf.setTopMargin(bf.topMargin() * k);
        bf.setBottomMargin(bf.bottomMargin() * k);
        bf.setTextIndent(bf.textIndent() * k);
        c.setPosition(b.position());
        c.setBlockFormat(bf);
    }
    c.endEditBlock();
    // A document with a null page size is not laid out, so the layout made
    // here waits for the device; the width then lays it out once.
    render_->setPageSize(QSizeF(0, 0));
    RegisterMergeMarkerHandler(render_.get());
    render_->documentLayout()->setPaintDevice(&renderDevice_);
    render_->setTextWidth(qreal(layout_.textWidth()) * renderDevice_.logicalDpiY() / 1440.0);
    render_->documentLayout()->documentSize();
    renderDirty_ = false;
    renderedDpi_ = dpi;
    return render_.get();
}

int RichTextDocument::paintPage(QPainter& painter, int left, int top, int width, int height, int continuation) {
    QTextDocument* d = renderDocument();
    return PaintPage(painter, d, layout_, renderDevice_.logicalDpiY(), QRect(left, top, width, height), continuation);
}

QList<int> RichTextDocument::pageStarts() {
    QTextDocument* d = renderDocument();
    QList<int> starts{0};
    const qreal h = qreal(layout_.textHeight()) * renderDevice_.logicalDpiY() / 1440.0;
    int next = FindPageSlice(d, 0, h).next;
    while (next > 0 && starts.size() < 100000) {
        starts.append(next);
        next = FindPageSlice(d, next, h).next;
    }
    return starts;
}

}  // namespace orv
