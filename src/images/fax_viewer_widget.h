#pragma once
// The fax viewer control, in two layers:
//
//   TViewer              the viewer window and its engine: the page table and
//                        decoded page bitmaps, scrolling, scaling, rotation,
//                        marking, the clipboard and dropped files. It is driven
//                        through requests that return 0 or a negative result code
//                        (the numbers of the viewer's window messages are kept
//                        below for logs and for anyone who posts them).
//   TOrvFaxViewer        the control a form places (on TOrvCustomFaxViewer): its
//                        properties turn into requests to the TViewer inside it,
//                        and a failing request raises the exception of its code.
//
// A page bitmap is 1-bit with 1 = white (decoded with inverting on); it is drawn
// with the foreground colour for 0 bits and the background colour for 1 bits.
// Only the current page is kept decoded unless LoadWholeFax is on.
#include <QColor>
#include <QCursor>
#include <QFrame>
#include <QAbstractScrollArea>
#include <QBasicTimer>
#include <QImage>
#include <QString>
#include <functional>
#include <vector>

#include "images/unpack_engine.h"

namespace orv {

// The viewer's window messages, by number.
enum TViewerMessage : int {
    vmSetFile = 32356,
    vmSetFG = 32357,
    vmSetBG = 32358,
    vmSetScale = 32359,
    vmSetScroll = 32360,
    vmSelectAll = 32361,
    vmSelect = 32362,
    vmCopy = 32363,
    vmSetWndProc = 32364,
    vmSetWhitespace = 32365,
    vmGetBitmap = 32366,
    vmGetNumPages = 32367,
    vmStartUpdate = 32368,
    vmEndUpdate = 32369,
    vmGotoPage = 32370,
    vmGetCurPage = 32371,
    vmSetDesignMode = 32372,
    vmSetRotation = 32373,
    vmSetAutoScale = 32374,
    vmPageUpdate = 32375,
    vmGetPageDimensions = 32376,
    vmSetLoadWholeFax = 32377,
    vmSetBusyCursor = 32378,
    vmViewerError = 32379,
};

class TViewer : public QAbstractScrollArea {
    Q_OBJECT
public:
    explicit TViewer(QWidget* parent = nullptr);
    ~TViewer() override;

    // ---- requests --------------------------------------------------------------
    // An empty name closes the file. -2 for a missing file, -8001 for a file
    // that is not an APF file, or the code of a page that cannot be decoded.
    int setFile(const QString& fileName);
    void setFGColor(const QColor& c);
    void setBGColor(const QColor& c);
    // A multiplier equal to its divisor is stored as 1/1; 0 counts as 1.
    void setScale(int horizMult, int horizDiv, int vertMult, int vertDiv);
    // 0 leaves a step unchanged.
    void setScrollSteps(int horizontal, int vertical);
    int selectAll();
    // The rectangle in displayed-image coordinates, clipped to the page.
    int select(const QRect& r);
    // The mark as a 1-bit image on the clipboard (-8050 without a file, -8051 without a mark).
    int copy();
    // Also returns the image in copied when given.
    int copyMark(QImage* copied);
    int setWhitespace(int from, int to);
    // The bitmap of a page (decoded when not cached); a null image beyond the
    // page count or when decoding fails (then also reported as viewer error).
    QImage pageBitmap(int page);
    int pageCount() const { return int(pages_.size()); }
    void startUpdate() { updatePending_ = true; }
    void endUpdate();
    // Ignored (0) while busy; -1002 for 0 or a page beyond the count.
    int goToPage(int page);
    int currentPage() const { return pages_.empty() ? 0 : currentPage_; }
    void setDesignMode(const QString& text);
    // 0..3 quarter turns clockwise; -8 when the memory for a turn cannot be had.
    int setRotation(int rotation);
    int rotation() const { return rotation_; }
    // Engine flag: 2 double height, 4 half width, 0 none.
    void setAutoScale(unsigned engineFlag);
    // (0, 0, width - 1, height - 1) of the decoded current page; empty without a file.
    QRect pageDimensions() const;
    int setLoadWholeFax(bool on);
    bool loadWholeFax() const { return loadWholeFax_; }
    void setBusyCursor(const QCursor& cursor) { busyCursor_ = cursor; }

    // Page moves of the keyboard and the control; they do nothing while busy.
    void firstPage();
    void lastPage();
    void nextPage();
    void prevPage();

    // ---- state -------------------------------------------------------------------
    QString fileName() const { return fileName_; }
    QSize displayedSize() const { return {displayedWidth_, displayedHeight_}; }
    int horizontalPosition() const;
    int verticalPosition() const;
    int horizontalMaximum() const;
    int verticalMaximum() const;
    bool marked() const { return marked_; }
    QRect mark() const { return mark_; }
    bool marking() const { return marking_; }
    // How many page bitmaps are held decoded now.
    int cachedPages() const;
    // Set while a page is being decoded, for every viewer of the program.
    static bool busy();
    FaxUnpackEngine& engine() { return engine_; }

    // Raised after every page build, when decoding or rotating fails, and
    // after a dropped file was opened.
    std::function<void(int page)> onPageChanged;
    std::function<void(int code)> onViewerError;
    std::function<void(const QString& fileName)> onFileDropped;

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void scrollContentsBy(int dx, int dy) override;
    void keyPressEvent(QKeyEvent* event) override;
    void keyReleaseEvent(QKeyEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void timerEvent(QTimerEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    bool viewportEvent(QEvent* event) override;

private:
    struct PageEntry {
        int width = 0, height = 0;
        QImage bitmap;
        bool decoded = false;
    };
    void closeFile();
    int decodeInto(int page);
    void freeCachedExcept(int page);
    void buildPage();
    void viewerError(int code);
    void recomputeRanges();
    void scrollBy(Qt::Orientation o, int pixels);
    void updateMark(const QPoint& viewportPos);
    QRect normalisedMark() const;
    void repaintDisplayRect(const QRect& displayRect);
    bool ctrlDown(const QKeyEvent* e) const;

    FaxUnpackEngine engine_;
    unsigned autoScaleFlag_ = FaxUnpackEngine::ufDoubleHeight;
    int wsFrom_ = 0, wsTo_ = 0;
    std::vector<PageEntry> pages_;
    bool loadWholeFax_ = false;
    QCursor busyCursor_{Qt::ArrowCursor};
    QColor fg_{Qt::black}, bg_{Qt::white};
    int displayedWidth_ = 0, displayedHeight_ = 0;
    int hStep_ = 8, vStep_ = 8;
    int currentPage_ = 0;
    int hMult_ = 1, hDiv_ = 1, vMult_ = 1, vDiv_ = 1;
    int rotation_ = 0;
    QRect mark_;  // displayed-image coordinates, inclusive corners
    QPoint anchor_;
    bool marked_ = false, marking_ = false;
    QBasicTimer autoScroll_;
    QPoint lastPointer_;     // the dragged corner, in displayed-image coordinates
    QPoint pointerInView_;   // the pointer while marking, in window coordinates
    bool updatePending_ = false;
    bool designMode_ = false;
    bool inRanges_ = false;
    QString designText_;
    QString fileName_;
};

class TOrvCustomFaxViewer : public QFrame {
    Q_OBJECT
public:
    enum TBorderStyle { bsNone, bsSingle };
    using TViewerFileDropEvent = std::function<void(TOrvCustomFaxViewer* sender, const QString& FileName)>;
    using TViewerErrorEvent = std::function<void(TOrvCustomFaxViewer* sender, int ErrorCode)>;
    using TNotifyEvent = std::function<void(TOrvCustomFaxViewer* sender)>;

    explicit TOrvCustomFaxViewer(QWidget* parent = nullptr);

    TBorderStyle borderStyle() const { return FBorderStyle; }
    void setBorderStyle(TBorderStyle v);
    QColor fgColor() const { return FFGColor; }
    void setFGColor(const QColor& v);
    QColor bgColor() const { return FBGColor; }
    void setBGColor(const QColor& v);
    bool scaling() const { return FScaling; }
    void setScaling(bool v);
    int horizMult() const { return FHorizMult; }
    void setHorizMult(int v);
    int horizDiv() const { return FHorizDiv; }
    void setHorizDiv(int v);
    int vertMult() const { return FVertMult; }
    void setVertMult(int v);
    int vertDiv() const { return FVertDiv; }
    void setVertDiv(int v);
    TAutoScaleMode autoScaleMode() const { return FAutoScaleMode; }
    void setAutoScaleMode(TAutoScaleMode v);
    bool whitespaceCompression() const { return FWhitespaceCompression; }
    void setWhitespaceCompression(bool v);
    int whitespaceFrom() const { return FWhitespaceFrom; }
    void setWhitespaceFrom(int v);
    int whitespaceTo() const { return FWhitespaceTo; }
    void setWhitespaceTo(int v);
    int horizScroll() const { return FHorizScroll; }
    void setHorizScroll(int v);
    int vertScroll() const { return FVertScroll; }
    void setVertScroll(int v);
    bool acceptDragged() const { return FAcceptDragged; }
    void setAcceptDragged(bool v) { FAcceptDragged = v; }
    bool loadWholeFax() const { return FLoadWholeFax; }
    void setLoadWholeFax(bool v);
    QCursor busyCursor() const { return FBusyCursor; }
    void setBusyCursor(const QCursor& v);
    QString fileName() const { return FFileName; }
    // Opens the file (raising the exception of a failing code), then resets the
    // rotation and the four scale factors.
    void setFileName(const QString& v);

    void BeginUpdate();
    void EndUpdate();
    void FirstPage();
    void LastPage();
    void NextPage();
    void PrevPage();
    int CurrentPage() const;
    // An unchanged page does nothing; 0 or beyond the page count raises -1002.
    void setCurrentPage(int page);
    int PageCount() const;
    int PageWidth() const;
    int Rotation() const;
    void setRotation(int v);
    void SelectAll();
    void CopyToClipBoard();

    TViewerFileDropEvent OnDropFile;
    TNotifyEvent OnPageChange;
    TViewerErrorEvent OnViewerError;

    TViewer* viewer() const { return FViewer; }

private:
    void sendScale();
    void sendWhitespace();

    TViewer* FViewer;
    TBorderStyle FBorderStyle = bsSingle;
    QColor FFGColor{Qt::black}, FBGColor{Qt::white};
    bool FScaling = false;
    int FHorizMult = 1, FHorizDiv = 1, FVertMult = 1, FVertDiv = 1;
    TAutoScaleMode FAutoScaleMode = asDoubleHeight;
    bool FWhitespaceCompression = false;
    int FWhitespaceFrom = 0, FWhitespaceTo = 0;
    int FHorizScroll = 8, FVertScroll = 8;
    bool FAcceptDragged = true;
    bool FLoadWholeFax = false;
    QCursor FBusyCursor{Qt::ArrowCursor};
    QString FFileName;
};

class TOrvFaxViewer : public TOrvCustomFaxViewer {
    Q_OBJECT
public:
    explicit TOrvFaxViewer(QWidget* parent = nullptr) : TOrvCustomFaxViewer(parent) {}
};

}  // namespace orv
