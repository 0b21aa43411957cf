#pragma once

#include <QObject>

#include <functional>

class MenuBarViewModel;

// Calls `reread` on the next turn of the event loop after the state object announces a
// change. The announcement comes before the new value is stored, so reading inside it would
// see the old value; several announcements in one turn (a refresh publishes many fields)
// coalesce into a single re-read.
class ModelObserver : public QObject {
    Q_OBJECT

public:
    ModelObserver(MenuBarViewModel &model, std::function<void()> reread, QObject *parent);

    // Asks for a re-read on the next turn even without an announcement, for example after a
    // user's action that the state object may have refused without changing anything.
    void schedule();

private:
    void deliver();

    std::function<void()> m_reread;
    bool m_pending = false;
};
