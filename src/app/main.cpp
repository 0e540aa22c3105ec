// orvane: the desktop fax program.
#include <QApplication>
#include <QMessageBox>

#include "shell/main_screen.h"
#include "shell/program_folder.h"

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Orvane"));

    if (!orv::EnsureProgramFolder()) {
        QMessageBox::critical(nullptr, QStringLiteral("Orvane"),
                              QStringLiteral("Unable to create the folder %1").arg(orv::ProgramFolder()));
        return 1;
    }

    orv::TMainScreen mainScreen;
    mainScreen.show();
    return app.exec();
}
