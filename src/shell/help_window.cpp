#include "shell/help_window.h"

#include <QApplication>
#include <QFile>
#include <QHBoxLayout>
#include <QPointer>
#include <QPushButton>
#include <QTextBrowser>
#include <QVBoxLayout>

#include "shell/window_placement.h"

namespace orv {

THelpWindow::THelpWindow(QWidget* parent) : QWidget(parent, Qt::Window), browser_(new QTextBrowser(this)) {
    setObjectName(QStringLiteral("HelpWindow"));
    setWindowTitle(QStringLiteral("Orvane Help"));
    setAttribute(Qt::WA_DeleteOnClose);
    browser_->setObjectName(QStringLiteral("HelpBrowser"));
    browser_->setOpenExternalLinks(true);
    browser_->setSearchPaths({QStringLiteral(":/help")});

    auto* contents = new QPushButton(QStringLiteral("&Contents"), this);
    auto* back = new QPushButton(QStringLiteral("&Back"), this);
    auto* close = new QPushButton(QStringLiteral("C&lose"), this);
    contents->setObjectName(QStringLiteral("ContentsButton"));
    back->setObjectName(QStringLiteral("BackButton"));
    close->setObjectName(QStringLiteral("CloseButton"));
    back->setEnabled(false);
    connect(contents, &QPushButton::clicked, this, [this] { showContext(kHelpContents); });
    connect(back, &QPushButton::clicked, browser_, &QTextBrowser::backward);
    connect(browser_, &QTextBrowser::backwardAvailable, back, &QPushButton::setEnabled);
    connect(close, &QPushButton::clicked, this, &QWidget::close);

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(contents);
    buttons->addWidget(back);
    buttons->addStretch(1);
    buttons->addWidget(close);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(buttons);
    layout->addWidget(browser_, 1);
    resize(600, 520);
}

QString THelpWindow::pageOf(int context) {
    const QString page = QStringLiteral(":/help/%1.html").arg(context);
    return QFile::exists(page) ? page : QString();
}

void THelpWindow::showContext(int context) {
    const QString page = pageOf(context);
    if (!page.isEmpty()) {
        browser_->setSource(QUrl(QStringLiteral("qrc") + page));
        return;
    }
    browser_->setHtml(QStringLiteral("<html><head><title>Orvane Help</title></head><body>"
                                     "<h2>No help for this topic</h2><p>There is no help page for topic %1.</p>"
                                     "<p><a href=\"qrc:/help/%2.html\">Contents</a></p></body></html>")
                          .arg(context)
                          .arg(kHelpContents));
}

void ShowHelp(int context) {
    static QPointer<THelpWindow> window;
    // A modal dialog blocks every window that is not its own; the help window
    // then belongs to that dialog so it can be read while the dialog is open.
    // Otherwise it belongs to the main window and goes away with it.
    QWidget* owner = QApplication::activeModalWidget();
    if (!owner) owner = FindMainWindow();
    if (window && window->parentWidget() != owner) {
        window->close();
        window = nullptr;
    }
    if (!window) {
        window = new THelpWindow(owner);
        CenterWindow(window);
    }
    window->showContext(context);
    window->show();
    window->raise();
    window->activateWindow();
}

}  // namespace orv
