#include "images/fax_viewer_widget.h"

#include <QApplication>
#include <QClipboard>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileInfo>
#include <QKeyEvent>
#include <QMimeData>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QScrollBar>
#include <QVBoxLayout>

#include <algorithm>

#include "common/orv_error.h"
#include "images/apf_file.h"
#include "images/mono_transform.h"

namespace orv {

namespace {

// Set while any viewer decodes a page: decoding hands control to the event
// loop now and then, and page changes must not start a second decode meanwhile.
int gBusy = 0;

class BusyScope {
public:
    explicit BusyScope(const QCursor& cursor) {
        ++gBusy;
        QApplication::setOverrideCursor(cursor);
    }
    ~BusyScope() {
        QApplication::restoreOverrideCursor();
        --gBusy;
    }
    BusyScope(const BusyScope&) = delete;
    BusyScope& operator=(const BusyScope&) = delete;
};

constexpr int kAutoScrollMs = 50;

}  // namespace

// ================================================================================
// TViewer
// ================================================================================

TViewer::TViewer(QWidget* parent) : QAbstractScrollArea(parent) {
    setObjectName(QStringLiteral("orvViewer"));
    setFrameShape(QFrame::NoFrame);
    setFocusPolicy(Qt::StrongFocus);
    setAcceptDrops(true);
    viewport()->setAcceptDrops(true);
    // Painting covers every pixel, so Qt need not clear first.
    viewport()->setAttribute(Qt::WA_OpaquePaintEvent);
    viewport()->setAutoFillBackground(false);
    horizontalScrollBar()->setSingleStep(hStep_);
    verticalScrollBar()->setSingleStep(vStep_);
    horizontalScrollBar()->setPageStep(10 * hStep_);
    verticalScrollBar()->setPageStep(10 * vStep_);
    horizontalScrollBar()->setRange(0, 0);
    verticalScrollBar()->setRange(0, 0);
}

TViewer::~TViewer() = default;

bool TViewer::busy() { return gBusy > 0; }

int TViewer::setFile(const QString& fileName) {
    if (fileName.isEmpty()) {
        closeFile();
        return ecOK;
    }
    if (!QFileInfo::exists(fileName)) return ecFileNotFound;
    ApfReader reader;
    if (const int rc = reader.open(fileName); rc < 0) return rc;
    const int count = reader.pageCount();
    reader.close();

    closeFile();
    fileName_ = fileName;
    viewport()->update();
    pages_.assign(size_t(count), PageEntry());
    currentPage_ = count > 0 ? 1 : 0;
    rotation_ = 0;
    hMult_ = hDiv_ = vMult_ = vDiv_ = 1;
    if (count > 0) {
        BusyScope busyScope(busyCursor_);
        for (int p = 1; p <= (loadWholeFax_ ? count : 1); ++p) {
            if (const int rc = decodeInto(p); rc < 0) {
                closeFile();
                return rc;
            }
        }
    }
    buildPage();
    return ecOK;
}

void TViewer::closeFile() {
    pages_.clear();
    fileName_.clear();
    currentPage_ = 0;
    displayedWidth_ = displayedHeight_ = 0;
    marked_ = marking_ = false;
    autoScroll_.stop();
    recomputeRanges();
    viewport()->update();
}

int TViewer::decodeInto(int page) {
    engine_.reset();
    engine_.setFlag(FaxUnpackEngine::ufYield, true);
    engine_.setFlag(autoScaleFlag_ & (FaxUnpackEngine::ufDoubleHeight | FaxUnpackEngine::ufHalfWidth), true);
    engine_.setWhitespace(wsFrom_, wsTo_);
    QImage image;
    const QString name = fileName_;
    const int rc = engine_.decodePage(name, page, true, image);
    // The file may have been closed or changed while decoding handed out events.
    if (name != fileName_ || page < 1 || page > pageCount()) return rc < 0 ? rc : ecOK;
    if (rc < 0) return rc;
    if (rotation_ != 0 && !image.isNull()) {
        QImage turned = RotateMonoBitmap(image, rotation_);
        if (turned.isNull()) return ecOutOfMemory;
        image = turned;
    }
    PageEntry& e = pages_[size_t(page - 1)];
    e.bitmap = image;
    e.width = image.width();
    e.height = image.height();
    e.decoded = true;
    return ecOK;
}

void TViewer::freeCachedExcept(int page) {
    for (int i = 0; i < pageCount(); ++i)
        if (i + 1 != page) pages_[size_t(i)] = PageEntry();
}

int TViewer::cachedPages() const {
    return int(std::count_if(pages_.begin(), pages_.end(), [](const PageEntry& e) { return e.decoded; }));
}

void TViewer::viewerError(int code) {
    if (onViewerError) onViewerError(code);
}

void TViewer::buildPage() {
    if (busy()) return;
    if (!pages_.empty()) {
        PageEntry& e = pages_[size_t(currentPage_ - 1)];
        if (!loadWholeFax_ && !e.decoded) {
            freeCachedExcept(0);
            int rc;
            {
                BusyScope busyScope(busyCursor_);
                rc = decodeInto(currentPage_);
            }
            if (rc < 0) {
                closeFile();
                viewerError(rc);
                return;
            }
        }
    }
    const PageEntry* e = pages_.empty() ? nullptr : &pages_[size_t(currentPage_ - 1)];
    const int w = e ? e->width : 0, h = e ? e->height : 0;
    displayedWidth_ = int(qint64(w) * hMult_ / hDiv_);
    displayedHeight_ = int(qint64(h) * vMult_ / vDiv_);
    marked_ = marking_ = false;
    autoScroll_.stop();
    if (QWidget::mouseGrabber() == viewport()) viewport()->releaseMouse();
    inRanges_ = true;
    horizontalScrollBar()->setValue(0);
    verticalScrollBar()->setValue(0);
    inRanges_ = false;
    recomputeRanges();
    viewport()->update();
    if (e && onPageChanged) onPageChanged(currentPage_);
}

void TViewer::setFGColor(const QColor& c) {
    fg_ = c;
    viewport()->update();
}

void TViewer::setBGColor(const QColor& c) {
    bg_ = c;
    viewport()->update();
}

void TViewer::setScale(int hm, int hd, int vm, int vd) {
    hm = hm > 0 ? hm : 1;
    hd = hd > 0 ? hd : 1;
    vm = vm > 0 ? vm : 1;
    vd = vd > 0 ? vd : 1;
    if (hm == hd) hm = hd = 1;
    if (vm == vd) vm = vd = 1;
    const bool changed = hm != hMult_ || hd != hDiv_ || vm != vMult_ || vd != vDiv_;
    hMult_ = hm;
    hDiv_ = hd;
    vMult_ = vm;
    vDiv_ = vd;
    if (changed && !pages_.empty() && !updatePending_) buildPage();
}

void TViewer::setScrollSteps(int horizontal, int vertical) {
    if (horizontal > 0) hStep_ = horizontal;
    if (vertical > 0) vStep_ = vertical;
    horizontalScrollBar()->setSingleStep(hStep_);
    verticalScrollBar()->setSingleStep(vStep_);
    horizontalScrollBar()->setPageStep(10 * hStep_);
    verticalScrollBar()->setPageStep(10 * vStep_);
}

int TViewer::selectAll() {
    if (pages_.empty()) return ecNoImageLoaded;
    return select(QRect(0, 0, displayedWidth_, displayedHeight_));
}

int TViewer::select(const QRect& r) {
    if (pages_.empty()) return ecNoImageLoaded;
    const QRect clipped = r.normalized() & QRect(0, 0, displayedWidth_, displayedHeight_);
    const QRect old = marked_ ? mark_ : QRect();
    marked_ = !clipped.isEmpty();
    mark_ = clipped;
    repaintDisplayRect(old | mark_);
    return ecOK;
}

int TViewer::copyMark(QImage* copied) {
    if (pages_.empty()) return ecNoImageLoaded;
    if (!marked_ || mark_.isEmpty()) return ecNoImageBlockMarked;
    const QImage& page = pages_[size_t(currentPage_ - 1)].bitmap;
    // The page's own pixels under the mark: at 1/1 exactly the marked pixels; at
    // another scale the page area the mark covers, at the page's resolution.
    QRect src(int(qint64(mark_.left()) * hDiv_ / hMult_), int(qint64(mark_.top()) * vDiv_ / vMult_),
              0, 0);
    src.setRight(int((qint64(mark_.right()) + 1) * hDiv_ / hMult_) - 1);
    src.setBottom(int((qint64(mark_.bottom()) + 1) * vDiv_ / vMult_) - 1);
    src &= page.rect();
    if (src.isEmpty()) return ecNoImageBlockMarked;
    QImage image = page.copy(src);
    if (image.isNull()) return ecOutOfMemory;
    image.setColorTable({qRgb(0, 0, 0), qRgb(255, 255, 255)});
    if (copied) *copied = image;
    if (QClipboard* cb = QGuiApplication::clipboard()) cb->setImage(image);
    return ecOK;
}

int TViewer::copy() { return copyMark(nullptr); }

int TViewer::setWhitespace(int from, int to) {
    if (from < to || (from == 0 && to != 0) || to < 0) return ecBadArgument;
    wsFrom_ = from;
    wsTo_ = to;
    return ecOK;
}

QImage TViewer::pageBitmap(int page) {
    if (page < 1 || page > pageCount()) return {};
    if (!pages_[size_t(page - 1)].decoded) {
        int rc;
        {
            BusyScope busyScope(busyCursor_);
            rc = decodeInto(page);
        }
        if (rc < 0) {
            viewerError(rc);
            return {};
        }
    }
    return pages_[size_t(page - 1)].bitmap;
}

void TViewer::endUpdate() {
    updatePending_ = false;
    if (!pages_.empty()) buildPage();
}

int TViewer::goToPage(int page) {
    if (busy()) return ecOK;
    if (page < 1 || page > pageCount()) return ecBadArgument;
    currentPage_ = page;
    buildPage();
    return ecOK;
}

void TViewer::setDesignMode(const QString& text) {
    designMode_ = true;
    designText_ = text;
    viewport()->update();
}

int TViewer::setRotation(int rotation) {
    if (rotation < 0 || rotation > 3) return ecBadArgument;
    if (pages_.empty() || rotation == rotation_) return ecOK;
    const int step = (rotation - rotation_ + 4) % 4;
    for (int i = 0; i < pageCount(); ++i) {
        PageEntry& e = pages_[size_t(i)];
        if (!e.decoded || e.bitmap.isNull()) continue;
        if (!loadWholeFax_ && i + 1 != currentPage_) continue;
        QImage turned = RotateMonoBitmap(e.bitmap, step);
        if (turned.isNull()) {
            closeFile();
            viewerError(ecOutOfMemory);
            return ecOutOfMemory;
        }
        e.bitmap = turned;
        e.width = turned.width();
        e.height = turned.height();
    }
    // Pages not held now are turned when they are decoded.
    if (!loadWholeFax_) freeCachedExcept(currentPage_);
    rotation_ = rotation;
    buildPage();
    return ecOK;
}

void TViewer::setAutoScale(unsigned engineFlag) { autoScaleFlag_ = engineFlag; }

QRect TViewer::pageDimensions() const {
    if (pages_.empty()) return {};
    const PageEntry& e = pages_[size_t(currentPage_ - 1)];
    return QRect(0, 0, e.width, e.height);
}

int TViewer::setLoadWholeFax(bool on) {
    loadWholeFax_ = on;
    if (pages_.empty()) return ecOK;
    if (on) {
        BusyScope busyScope(busyCursor_);
        for (int p = 1; p <= pageCount(); ++p) {
            if (pages_[size_t(p - 1)].decoded) continue;
            if (const int rc = decodeInto(p); rc < 0) {
                closeFile();
                return rc;
            }
        }
    } else {
        freeCachedExcept(currentPage_);
    }
    return ecOK;
}

void TViewer::firstPage() {
    if (busy() || pages_.empty()) return;
    if (currentPage_ == 1) {
        horizontalScrollBar()->setValue(0);
        verticalScrollBar()->setValue(0);
        return;
    }
    goToPage(1);
}

void TViewer::lastPage() {
    if (busy() || pages_.empty()) return;
    if (currentPage_ == pageCount()) {
        horizontalScrollBar()->setValue(0);
        verticalScrollBar()->setValue(0);
        return;
    }
    goToPage(pageCount());
}

void TViewer::nextPage() {
    if (!busy() && currentPage_ < pageCount()) goToPage(currentPage_ + 1);
}

void TViewer::prevPage() {
    if (!busy() && currentPage_ > 1) goToPage(currentPage_ - 1);
}

// ---- scrolling ----------------------------------------------------------------------

int TViewer::horizontalPosition() const { return horizontalScrollBar()->value(); }
int TViewer::verticalPosition() const { return verticalScrollBar()->value(); }
int TViewer::horizontalMaximum() const { return horizontalScrollBar()->maximum(); }
int TViewer::verticalMaximum() const { return verticalScrollBar()->maximum(); }

void TViewer::recomputeRanges() {
    if (inRanges_) return;
    inRanges_ = true;
    // Showing or hiding one scroll bar changes the room for the other; two
    // rounds settle it.
    for (int round = 0; round < 2; ++round) {
        const QSize client = viewport()->size();
        QScrollBar* v = verticalScrollBar();
        QScrollBar* h = horizontalScrollBar();
        // The range never cuts the current position.
        const int vmax = displayedHeight_ > client.height() ? displayedHeight_ - client.height() : v->value();
        const int hmax = displayedWidth_ > client.width() ? displayedWidth_ - client.width() : h->value();
        v->setRange(0, vmax);
        h->setRange(0, hmax);
    }
    inRanges_ = false;
}

void TViewer::scrollBy(Qt::Orientation o, int pixels) {
    QScrollBar* bar = o == Qt::Horizontal ? horizontalScrollBar() : verticalScrollBar();
    bar->setValue(std::clamp(bar->value() + pixels, 0, bar->maximum()));
}

void TViewer::scrollContentsBy(int dx, int dy) {
    // Only the uncovered strips are painted again.
    viewport()->scroll(dx, dy);
    const bool atStart = (dx != 0 && horizontalScrollBar()->value() == 0 && !horizontalScrollBar()->isSliderDown()) ||
                         (dy != 0 && verticalScrollBar()->value() == 0 && !verticalScrollBar()->isSliderDown());
    if (atStart) recomputeRanges();
}

void TViewer::resizeEvent(QResizeEvent* event) {
    QAbstractScrollArea::resizeEvent(event);
    recomputeRanges();
}

bool TViewer::viewportEvent(QEvent* event) {
    // The end of a thumb drag: ranges again, as at position 0.
    if (event->type() == QEvent::Resize) recomputeRanges();
    return QAbstractScrollArea::viewportEvent(event);
}

// ---- painting -----------------------------------------------------------------------

void TViewer::repaintDisplayRect(const QRect& displayRect) {
    if (displayRect.isEmpty()) return;
    viewport()->update(displayRect.translated(-horizontalPosition(), -verticalPosition()).adjusted(-1, -1, 1, 1));
}

void TViewer::paintEvent(QPaintEvent* event) {
    QPainter p(viewport());
    const QRect dirty = event->rect();
    p.fillRect(dirty, bg_);
    if (designMode_) {
        p.setPen(fg_);
        p.drawText(QPoint(3, 3 + p.fontMetrics().ascent()), designText_);
        return;
    }
    if (pages_.empty()) return;
    const QImage& bitmap = pages_[size_t(currentPage_ - 1)].bitmap;
    if (bitmap.isNull()) return;
    const QPoint scroll(horizontalPosition(), verticalPosition());
    const QRect pageInView = QRect(QPoint(0, 0), QSize(displayedWidth_, displayedHeight_)).translated(-scroll);
    const QRect visible = dirty & pageInView;
    if (visible.isEmpty()) return;
    const QRect source = visible.translated(scroll);
    QImage part = (hMult_ == 1 && hDiv_ == 1 && vMult_ == 1 && vDiv_ == 1)
                      ? bitmap.copy(source)
                      : StretchMonoRegion(bitmap, displayedWidth_, displayedHeight_, source);
    // 0 bits in the foreground colour, 1 bits in the background colour.
    part.setColorTable({fg_.rgb(), bg_.rgb()});
    p.drawImage(visible.topLeft(), part);
    if (marked_) {
        const QRect m = mark_.translated(-scroll) & visible;
        if (!m.isEmpty()) {
            p.setCompositionMode(QPainter::RasterOp_SourceXorDestination);
            p.fillRect(m, Qt::white);
        }
    }
}

// ---- keyboard -----------------------------------------------------------------------

bool TViewer::ctrlDown(const QKeyEvent* e) const { return e->modifiers() & Qt::ControlModifier; }

void TViewer::keyPressEvent(QKeyEvent* event) {
    if (marking_) return;
    const bool ctrl = ctrlDown(event);
    QScrollBar* v = verticalScrollBar();
    QScrollBar* h = horizontalScrollBar();
    const int times = ctrl ? 10 : 1;
    switch (event->key()) {
    case Qt::Key_PageUp:
        if (ctrl) v->setValue(0);
        else prevPage();
        break;
    case Qt::Key_PageDown:
        if (ctrl) v->setValue(v->maximum());
        else nextPage();
        break;
    case Qt::Key_Home:
        if (ctrl) firstPage();
        else h->setValue(0);
        break;
    case Qt::Key_End:
        if (ctrl) lastPage();
        else h->setValue(h->maximum());
        break;
    case Qt::Key_Left:
        scrollBy(Qt::Horizontal, -times * hStep_);
        break;
    case Qt::Key_Right:
        scrollBy(Qt::Horizontal, times * hStep_);
        break;
    case Qt::Key_Up:
        scrollBy(Qt::Vertical, -times * vStep_);
        break;
    case Qt::Key_Down:
        scrollBy(Qt::Vertical, times * vStep_);
        break;
    default:
        QAbstractScrollArea::keyPressEvent(event);
        return;
    }
    event->accept();
}

void TViewer::keyReleaseEvent(QKeyEvent* event) { QAbstractScrollArea::keyReleaseEvent(event); }

// ---- marking ------------------------------------------------------------------------

QRect TViewer::normalisedMark() const {
    return QRect(QPoint(std::min(anchor_.x(), lastPointer_.x()), std::min(anchor_.y(), lastPointer_.y())),
                 QPoint(std::max(anchor_.x(), lastPointer_.x()), std::max(anchor_.y(), lastPointer_.y())));
}

void TViewer::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton || marking_ || pages_.empty() || displayedWidth_ <= 0) {
        QAbstractScrollArea::mousePressEvent(event);
        return;
    }
    setFocus(Qt::MouseFocusReason);
    if (marked_) {
        marked_ = false;
        repaintDisplayRect(mark_);
    }
    const QPoint at = event->position().toPoint() + QPoint(horizontalPosition(), verticalPosition());
    anchor_ = QPoint(std::clamp(at.x(), 0, displayedWidth_ - 1), std::clamp(at.y(), 0, displayedHeight_ - 1));
    lastPointer_ = anchor_;
    mark_ = QRect(anchor_, QSize(0, 0));
    marking_ = true;
    event->accept();
}

void TViewer::updateMark(const QPoint& viewportPos) {
    const QPoint at = viewportPos + QPoint(horizontalPosition(), verticalPosition());
    lastPointer_ = QPoint(std::clamp(at.x(), 0, displayedWidth_ - 1), std::clamp(at.y(), 0, displayedHeight_ - 1));
    const QRect old = marked_ ? mark_ : QRect();
    if (lastPointer_ == anchor_) {
        marked_ = false;
        mark_ = QRect(anchor_, QSize(0, 0));
    } else {
        mark_ = normalisedMark();
        marked_ = true;
    }
    repaintDisplayRect(old | mark_);
}

void TViewer::mouseMoveEvent(QMouseEvent* event) {
    if (!marking_) {
        QAbstractScrollArea::mouseMoveEvent(event);
        return;
    }
    const QPoint pos = event->position().toPoint();
    pointerInView_ = pos;
    updateMark(pos);
    if (viewport()->rect().contains(pos))
        autoScroll_.stop();
    else if (!autoScroll_.isActive())
        autoScroll_.start(kAutoScrollMs, this);
}

void TViewer::timerEvent(QTimerEvent* event) {
    if (event->timerId() != autoScroll_.timerId()) {
        QAbstractScrollArea::timerEvent(event);
        return;
    }
    if (!marking_) {
        autoScroll_.stop();
        return;
    }
    const QRect client = viewport()->rect();
    const QPoint pos = pointerInView_;
    auto steps = [](int outside) { return outside > 20 ? 2 : 1; };
    if (pos.x() < 0) scrollBy(Qt::Horizontal, -hStep_ * steps(-pos.x()));
    else if (pos.x() > client.right()) scrollBy(Qt::Horizontal, hStep_ * steps(pos.x() - client.right()));
    if (pos.y() < 0) scrollBy(Qt::Vertical, -vStep_ * steps(-pos.y()));
    else if (pos.y() > client.bottom()) scrollBy(Qt::Vertical, vStep_ * steps(pos.y() - client.bottom()));
    // The mark reaches the edge of what is shown.
    updateMark(QPoint(std::clamp(pos.x(), 0, client.right()), std::clamp(pos.y(), 0, client.bottom())));
}

void TViewer::mouseReleaseEvent(QMouseEvent* event) {
    if (!marking_ || event->button() != Qt::LeftButton) {
        QAbstractScrollArea::mouseReleaseEvent(event);
        return;
    }
    marking_ = false;
    autoScroll_.stop();
    if (lastPointer_ == anchor_) {
        marked_ = false;
        repaintDisplayRect(mark_);
    }
    event->accept();
}

// ---- dropped files --------------------------------------------------------------------

namespace {
QString firstLocalFile(const QMimeData* mime) {
    if (!mime || !mime->hasUrls()) return {};
    for (const QUrl& url : mime->urls())
        if (url.isLocalFile()) return url.toLocalFile();
    return {};
}
}  // namespace

void TViewer::dragEnterEvent(QDragEnterEvent* event) {
    if (!firstLocalFile(event->mimeData()).isEmpty()) event->acceptProposedAction();
}

void TViewer::dragMoveEvent(QDragMoveEvent* event) {
    if (!firstLocalFile(event->mimeData()).isEmpty()) event->acceptProposedAction();
}

void TViewer::dropEvent(QDropEvent* event) {
    const QString name = firstLocalFile(event->mimeData());
    if (name.isEmpty()) return;
    event->acceptProposedAction();
    // Only the first of several dropped files is opened.
    if (const int rc = setFile(name); rc < 0) viewerError(rc);
    if (onFileDropped) onFileDropped(name);
}

// ================================================================================
// TOrvCustomFaxViewer
// ================================================================================

TOrvCustomFaxViewer::TOrvCustomFaxViewer(QWidget* parent) : QFrame(parent), FViewer(new TViewer(this)) {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(FViewer);
    setFocusProxy(FViewer);
    setBorderStyle(FBorderStyle);
    resize(100, 50);
    FViewer->onPageChanged = [this](int) {
        if (OnPageChange) OnPageChange(this);
    };
    FViewer->onViewerError = [this](int code) {
        if (OnViewerError) OnViewerError(this, code);
    };
    FViewer->onFileDropped = [this](const QString& name) {
        // The property follows the file now shown, so printing prints it.
        FFileName = FViewer->fileName();
        if (OnDropFile) OnDropFile(this, name);
    };
    // What a new window is told, in order.
    FViewer->setFGColor(FFGColor);
    FViewer->setBGColor(FBGColor);
    FViewer->setScrollSteps(FHorizScroll, FVertScroll);
    setAutoScaleMode(FAutoScaleMode);
    FViewer->setLoadWholeFax(FLoadWholeFax);
    FViewer->setBusyCursor(FBusyCursor);
}

void TOrvCustomFaxViewer::setBorderStyle(TBorderStyle v) {
    FBorderStyle = v;
    setFrameStyle(v == bsSingle ? (QFrame::Box | QFrame::Plain) : QFrame::NoFrame);
    setLineWidth(1);
}

void TOrvCustomFaxViewer::setFGColor(const QColor& v) {
    FFGColor = v;
    FViewer->setFGColor(v);
}

void TOrvCustomFaxViewer::setBGColor(const QColor& v) {
    FBGColor = v;
    FViewer->setBGColor(v);
}

void TOrvCustomFaxViewer::sendScale() {
    if (FScaling)
        FViewer->setScale(FHorizMult, FHorizDiv, FVertMult, FVertDiv);
    else
        FViewer->setScale(1, 1, 1, 1);
}

void TOrvCustomFaxViewer::setScaling(bool v) {
    FScaling = v;
    sendScale();
}

void TOrvCustomFaxViewer::setHorizMult(int v) {
    if (v == 0) return;
    FHorizMult = v;
    if (FScaling) sendScale();
}

void TOrvCustomFaxViewer::setHorizDiv(int v) {
    if (v == 0) return;
    FHorizDiv = v;
    if (FScaling) sendScale();
}

void TOrvCustomFaxViewer::setVertMult(int v) {
    if (v == 0) return;
    FVertMult = v;
    if (FScaling) sendScale();
}

void TOrvCustomFaxViewer::setVertDiv(int v) {
    if (v == 0) return;
    FVertDiv = v;
    if (FScaling) sendScale();
}

void TOrvCustomFaxViewer::setAutoScaleMode(TAutoScaleMode v) {
    FAutoScaleMode = v;
    FViewer->setAutoScale(v == asDoubleHeight ? FaxUnpackEngine::ufDoubleHeight
                          : v == asHalfWidth  ? FaxUnpackEngine::ufHalfWidth
                                              : 0u);
}

void TOrvCustomFaxViewer::sendWhitespace() {
    const int rc = FWhitespaceCompression ? FViewer->setWhitespace(FWhitespaceFrom, FWhitespaceTo)
                                          : FViewer->setWhitespace(0, 0);
    CheckOrvError(rc);
}

void TOrvCustomFaxViewer::setWhitespaceCompression(bool v) {
    FWhitespaceCompression = v;
    sendWhitespace();
}

void TOrvCustomFaxViewer::setWhitespaceFrom(int v) {
    FWhitespaceFrom = v;
    if (FWhitespaceCompression) sendWhitespace();
}

void TOrvCustomFaxViewer::setWhitespaceTo(int v) {
    FWhitespaceTo = v;
    if (FWhitespaceCompression) sendWhitespace();
}

void TOrvCustomFaxViewer::setHorizScroll(int v) {
    FHorizScroll = v;
    FViewer->setScrollSteps(v, 0);
}

void TOrvCustomFaxViewer::setVertScroll(int v) {
    FVertScroll = v;
    FViewer->setScrollSteps(0, v);
}

void TOrvCustomFaxViewer::setLoadWholeFax(bool v) {
    FLoadWholeFax = v;
    CheckOrvError(FViewer->setLoadWholeFax(v));
}

void TOrvCustomFaxViewer::setBusyCursor(const QCursor& v) {
    FBusyCursor = v;
    FViewer->setBusyCursor(v);
}

void TOrvCustomFaxViewer::setFileName(const QString& v) {
    if (v == FFileName && FViewer->fileName() == v) return;
    FFileName = v;
    CheckOrvError(FViewer->setFile(v));
    // A new file starts unturned and unscaled.
    FHorizMult = FHorizDiv = FVertMult = FVertDiv = 1;
    if (FViewer->rotation() != 0) CheckOrvError(FViewer->setRotation(0));
}

void TOrvCustomFaxViewer::BeginUpdate() { FViewer->startUpdate(); }
void TOrvCustomFaxViewer::EndUpdate() { FViewer->endUpdate(); }

void TOrvCustomFaxViewer::FirstPage() {
    if (!FViewer->fileName().isEmpty()) FViewer->firstPage();
}
void TOrvCustomFaxViewer::LastPage() {
    if (!FViewer->fileName().isEmpty()) FViewer->lastPage();
}
void TOrvCustomFaxViewer::NextPage() {
    if (!FViewer->fileName().isEmpty()) FViewer->nextPage();
}
void TOrvCustomFaxViewer::PrevPage() {
    if (!FViewer->fileName().isEmpty()) FViewer->prevPage();
}

int TOrvCustomFaxViewer::CurrentPage() const { return FViewer->currentPage(); }

void TOrvCustomFaxViewer::setCurrentPage(int page) {
    if (page == FViewer->currentPage()) return;
    CheckOrvError(FViewer->goToPage(page));
}

int TOrvCustomFaxViewer::PageCount() const { return FViewer->pageCount(); }
int TOrvCustomFaxViewer::PageWidth() const { return FViewer->pageDimensions().width(); }
int TOrvCustomFaxViewer::Rotation() const { return FViewer->rotation(); }

void TOrvCustomFaxViewer::setRotation(int v) {
    if (v == FViewer->rotation()) return;
    CheckOrvError(FViewer->setRotation(v));
}

void TOrvCustomFaxViewer::SelectAll() { CheckOrvError(FViewer->selectAll()); }
void TOrvCustomFaxViewer::CopyToClipBoard() { CheckOrvError(FViewer->copy()); }

}  // namespace orv
