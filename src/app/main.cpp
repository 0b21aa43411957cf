// The tray utility: one state object for the life of the process, the tray shell around it,
// and a guard that turns a second launch into a request to show the running one's panel.
#include "app/ColorSchemeFollower.h"
#include "app/DesktopSession.h"
#include "app/InformationOptions.h"
#include "app/LayerShell.h"
#include "app/QuitOnSignals.h"
#include "app/SingleInstance.h"
#include "app/TitleBarVariant.h"
#include "app/TrayShell.h"
#include "app/UsageRepositoryChoice.h"
#include "cli/Bundle.h"
#include "cli/TesselCLI.h"
#include "state/DesktopNotifier.h"
#include "state/MenuBarViewModel.h"
#include "ui/ContrastStyle.h"
#include "ui/Icons.h"
#include "ui/PanelAccessibility.h"
#include "ui/SettingsWindow.h"
#include "ui/WidgetDesktopActions.h"

#include <QApplication>
#include <QDir>
#include <QMessageBox>

#include <cstdio>

int main(int argc, char **argv) {
    if (const auto status = answerInformationOptions(argc, argv))
        return *status;
    LayerShell::prepareProcess();
    preferXWaylandOnGnome();
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("TesselMenu"));
    QApplication::setDesktopFileName(QStringLiteral("tesselmenu"));
    // The settings window is the only ordinary window; closing it must not end the utility.
    QApplication::setQuitOnLastWindowClosed(false);
    QApplication::setWindowIcon(trayIcon(QString()));
    QApplication::setStyle(new ContrastStyle);
    installPanelAccessibility();
    // Before any window shows.
    TitleBarVariant titleBars;

    SingleInstance instance(SingleInstance::defaultServerName());
    try {
        if (instance.askRunningInstanceToShow())
            return 0;
    } catch (const ForeignInstanceError &error) {
        std::fprintf(stderr, "%s\n", error.what());
        return 1;
    }
    instance.listen();

    // Started from a menu or at login the current folder is the home folder: the tool's files
    // go to the default usage repository instead, entered before the state object reads it.
    // The information dictionary is read once, so a file it refuses is named once.
    const Bundle bundle = withToolPathFrom(Bundle::main(), QDir::currentPath());
    if (const auto folder = usageRepositoryToEnter(bundle, QDir::currentPath())) {
        try {
            prepareUsageRepository(*folder);
            if (!QDir::setCurrent(*folder))
                throw UsageRepositoryError(QStringLiteral("无法进入用量仓库 %1").arg(*folder));
        } catch (const UsageRepositoryError &error) {
            QMessageBox::critical(nullptr, QStringLiteral("TesselMenu"), error.description());
            return 1;
        }
    }

    MenuBarViewModel model{TesselCLI(bundle)};
    TrayShell shell(model);
    model.setDesktopActions(
        std::make_shared<WidgetDesktopActions>([&shell] { shell.hidePanel(); }));
    model.setNotifier(std::make_shared<DesktopNotifier>());
    QObject::connect(&instance, &SingleInstance::showRequested, &shell, &TrayShell::showPanel);
    quitOnTerminationSignals(&app);
    ColorSchemeFollower colors;

    const int status = QApplication::exec();
    // A settings window still open refers to the state object: it goes first.
    for (QWidget *window : QApplication::topLevelWidgets()) {
        if (qobject_cast<SettingsWindow *>(window))
            delete window;
    }
    return status;
}
