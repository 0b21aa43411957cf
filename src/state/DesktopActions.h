#pragma once

#include <QObject>
#include <QUrl>

class MenuBarViewModel;

// What the state object asks of the desktop. The core library provides a plain version
// (browser and quit only); the application installs one that also builds the settings window,
// so the core never depends on widgets.
class DesktopActions {
public:
    virtual ~DesktopActions() = default;

    // Builds a new settings window for `model`, centres it on the screen under the pointer,
    // shows it in front and returns it. Closing the window destroys the returned object.
    // Returns nullptr where no window can be shown.
    virtual QObject *openSettingsWindow(MenuBarViewModel &model) = 0;
    // Brings an open settings window to the front with keyboard focus.
    virtual void raiseWindow(QObject *window) = 0;
    virtual void openUrl(const QUrl &url) = 0;
    // Ends the application through the normal shutdown path.
    virtual void quit() = 0;
};

// Opens addresses with the desktop's default handler and quits the event loop; it has no
// settings window of its own.
class BasicDesktopActions : public DesktopActions {
public:
    QObject *openSettingsWindow(MenuBarViewModel &model) override;
    void raiseWindow(QObject *window) override;
    void openUrl(const QUrl &url) override;
    void quit() override;
};
