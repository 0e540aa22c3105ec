#include "shell/window_placement.h"

#include <QApplication>
#include <QScreen>
#include <QWidget>

#include "config/ini_file.h"
#include "shell/placement_geometry.h"
#include "config/program_folder.h"
#include "shell/message_boxes.h"

namespace orv {
namespace {

QScreen* screenOf(const QWidget* w) {
    QScreen* s = w->screen();
    return s ? s : QGuiApplication::primaryScreen();
}

// The screen's pixels per inch as the system reports them to programs that
// are not scaled: logical DPI times the device pixel ratio.
int screenDpi(const QWidget* w) {
    const QScreen* s = screenOf(w);
    return s ? qRound(s->logicalDotsPerInch() * s->devicePixelRatio()) : 96;
}

QString sectionOf(const QWidget* w) { return PlacementSection(WindowClassName(w), screenDpi(w)); }

PlacementRect toPlacement(const QRect& r) { return {r.left(), r.top(), r.left() + r.width(), r.top() + r.height()}; }

QRect normalRect(const QWidget* w) {
    const QRect n = w->normalGeometry();
    return (w->isMaximized() && n.isValid()) ? n : w->geometry();
}

}  // namespace

QWidget* FindMainWindow() {
    for (QWidget* w : QApplication::topLevelWidgets())
        if (WindowClassName(w).toUpper() == QLatin1String("TMAINSCREEN")) return w;
    return nullptr;
}

QString WindowClassName(const QWidget* window) {
    QString name = QString::fromLatin1(window->metaObject()->className());
    const qsizetype colons = name.lastIndexOf(QLatin1String("::"));
    return colons < 0 ? name : name.mid(colons + 2);
}

void SaveWindowPlacement(QWidget* window) {
    IniFile ini(IniFilePath());
    const QString section = sectionOf(window);
    const PlacementRect r = toPlacement(normalRect(window));
    ini.writeInteger(section, "Left", r.left);
    ini.writeInteger(section, "Top", r.top);
    ini.writeInteger(section, "Right", r.right);
    ini.writeInteger(section, "Bottom", r.bottom);
    ini.writeBool(section, "Maximized", window->isMaximized());
}

void LoadWindowPlacement(QWidget* window) {
    const IniFile ini(IniFilePath());
    const QString section = sectionOf(window);
    PlacementRect r;
    r.left = ini.readInteger(section, "Left", 0);
    r.top = ini.readInteger(section, "Top", 0);
    r.right = ini.readInteger(section, "Right", 0);
    r.bottom = ini.readInteger(section, "Bottom", 0);
    const bool maximized = ini.readBool(section, "Maximized", window->isMaximized());

    if (r.bottom == 0) {
        CenterWindow(window);
    } else {
        const QScreen* s = screenOf(window);
        const QSize screen = s ? s->geometry().size() : QSize(r.right, r.bottom);
        r = PullBackOntoScreen(r, screen.width(), screen.height());
        window->setGeometry(r.left, r.top, r.width(), r.height());
    }
    if (maximized) window->setWindowState(window->windowState() | Qt::WindowMaximized);
    SaveWindowPlacement(window);
}

void CenterWindow(QWidget* window) {
    const QScreen* s = screenOf(window);
    const QRect screen = s ? s->geometry() : QRect(0, 0, 1024, 768);
    const QWidget* main = FindMainWindow();
    PlacementRect area = toPlacement(screen);
    if (main && main != window && !main->isMaximized()) area = toPlacement(main->geometry());
    const QSize size = window->size();
    const Corner c = CenterOver(size.width(), size.height(), area);
    window->setGeometry(c.x, c.y, size.width(), size.height());
    const Qt::WindowFlags flags = window->windowFlags();
    if ((flags & Qt::WindowMaximizeButtonHint) && !(flags & Qt::WindowSystemMenuHint)) {
        const bool visible = window->isVisible();  // changing flags hides a shown window
        window->setWindowFlags(flags | Qt::WindowSystemMenuHint);
        if (visible) window->show();
    }
}

void SaveWindowPlacementOnClose(QWidget* window) {
    try {
        SaveWindowPlacement(window);
    } catch (const IniWriteError& e) {
        ShowException(e);
    }
}

}  // namespace orv
