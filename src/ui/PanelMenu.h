#pragma once

#include <QMenu>

class MenuBarViewModel;
class ModelObserver;

// The panel's context menu, also shown by the tray icon: refresh, sync, the daily-sync
// switch, settings, the heatmap page and quit. No entry is ever disabled; the state object
// decides what a click does while it is busy. The switch's check mark follows the state.
class PanelMenu : public QMenu {
    Q_OBJECT

public:
    explicit PanelMenu(MenuBarViewModel &model, QWidget *parent = nullptr);

    QAction *scheduleAction() const { return m_schedule; }

private:
    void reread();

    MenuBarViewModel &m_model;
    QAction *m_schedule;
    ModelObserver *m_observer;
};
