// The tray utility: one state object for the life of the process, the tray shell around it,
// and a guard that turns a second launch into a request to show the running one's panel.
#include "app/LayerShell.h"
#include "app/SingleInstance.h"
#include "app/TrayShell.h"
#include "state/DesktopNotifier.h"
#include "state/MenuBarViewModel.h"
#include "ui/Icons.h"
#include "ui/SettingsWindow.h"
#include "ui/WidgetDesktopActions.h"

#include <QApplication>

int main(int argc, char **argv) {
    LayerShell::prepareProcess();
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("TesselMenu"));
    QApplication::setDesktopFileName(QStringLiteral("tesselmenu"));
    // The settings window is the only ordinary window; closing it must not end the utility.
    QApplication::setQuitOnLastWindowClosed(false);
    QApplication::setWindowIcon(trayIcon(QString()));

    SingleInstance instance(SingleInstance::defaultServerName());
    if (instance.askRunningInstanceToShow())
        return 0;
    instance.listen();

    MenuBarViewModel model;
    TrayShell shell(model);
    model.setDesktopActions(
        std::make_shared<WidgetDesktopActions>([&shell] { shell.hidePanel(); }));
    model.setNotifier(std::make_shared<DesktopNotifier>());
    QObject::connect(&instance, &SingleInstance::showRequested, &shell, &TrayShell::showPanel);

    const int status = QApplication::exec();
    // A settings window still open refers to the state object: it goes first.
    for (QWidget *window : QApplication::topLevelWidgets()) {
        if (qobject_cast<SettingsWindow *>(window))
            delete window;
    }
    return status;
}
