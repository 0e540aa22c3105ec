#pragma once
// Help: one HTML page per context number, built into the program (":/help/<n>.html"),
// shown in a help window with Contents, Back and Close. Context 1009 is the
// table of contents. The window is opened over whatever window asked for it,
// so it can be read and used while that window stays open.
#include <QWidget>

class QTextBrowser;

namespace orv {

inline constexpr int kHelpContents = 1009;

// Opens (or brings forward) the help window at the page of the context number.
void ShowHelp(int context);

// The help window: objectName "HelpWindow", its browser "HelpBrowser".
class THelpWindow : public QWidget {
    Q_OBJECT
public:
    explicit THelpWindow(QWidget* parent = nullptr);
    void showContext(int context);
    QTextBrowser* browser() const { return browser_; }

    // The resource page of a context number; empty when there is none.
    static QString pageOf(int context);

private:
    QTextBrowser* browser_;
};

}  // namespace orv
