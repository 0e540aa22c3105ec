#include "shell/default_font.h"

#include <QFontDialog>

#include "config/ini_file.h"
#include "config/program_folder.h"
#include "config/settings.h"

namespace orv {

QFont DefaultFontOf(const Settings& s) {
    QFont f(s.fontName);
    if (s.fontSize > 0) f.setPointSize(s.fontSize);
    f.setBold(s.fontBold);
    f.setItalic(s.fontItalic);
    f.setUnderline(s.fontUnderline);
    return f;
}

bool ChooseDefaultFont(QWidget* parent) {
    // The file is read afresh; the dialog starts from what it holds.
    Settings fromFile;
    fromFile.load(IniFile(IniFilePath()));

    QFontDialog dialog(DefaultFontOf(fromFile), parent);
    dialog.setObjectName(QStringLiteral("FontDialog"));
    dialog.setOption(QFontDialog::DontUseNativeDialog);
    if (dialog.exec() != QDialog::Accepted) return false;
    const QFont chosen = dialog.selectedFont();

    for (Settings* s : {&fromFile, &AppSettings()}) {
        s->fontName = chosen.family();
        s->fontSize = chosen.pointSize() > 0 ? chosen.pointSize() : s->fontSize;
        s->fontBold = chosen.bold();
        s->fontItalic = chosen.italic();
        s->fontUnderline = chosen.underline();
    }
    // Everything is written back as read from the file, with the new font. The
    // running program's other settings stay as they are: a port still unset in
    // the file stays unset there, while this run keeps the port it works with.
    IniFile ini(IniFilePath());
    fromFile.save(ini);
    return true;
}

}  // namespace orv
