// orvane: the desktop fax program.
#include <QApplication>
#include <QMessageBox>

#include "compose/spell_install.h"
#include "shell/main_screen.h"
#include "config/program_folder.h"
#include "shell/single_instance.h"
#include "ui/widgets/picture_button.h"

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Orvane"));
    QApplication::setWindowIcon(orv::PictureIcon(QStringLiteral("orvane")));

    if (!orv::EnsureProgramFolder()) {
        QMessageBox::critical(nullptr, QStringLiteral("Orvane"),
                              QStringLiteral("Unable to create the folder %1").arg(orv::ProgramFolder()));
        return 1;
    }
    // The main dictionary comes inside the program; the spell checker reads
    // it from the program folder. Without it only the user dictionary works.
    orv::InstallMainDictionary(orv::ProgramFolder());

    // A second start hands over to the running copy and ends before it opens
    // any window or table.
    orv::TSingleInstance guard;
    if (!guard.acquire()) {
        guard.activatePrevious();
        return 0;
    }

    orv::TMainScreen mainScreen;
    QObject::connect(&guard, &orv::TSingleInstance::activateRequested, &mainScreen,
                     &orv::TMainScreen::ActivateFromAnotherStart);
    mainScreen.show();
    return app.exec();
}
