#pragma once

#include <QWidget>

class HeatmapGrid;
class MenuBarViewModel;
class ModelObserver;
class OneLineLabel;
class QLabel;
class QToolButton;
class Spinner;

// The drop-down panel, 300 wide: a header, today's and this week's totals, the heatmap and a
// bar with the settings, sync and quit buttons, a busy spinner and the next-sync countdown.
// It only reads the state object and calls its operations; a right click anywhere opens the
// panel menu, as do the menu key and Shift+F10; Tab walks its buttons. Each time it is shown it
// asks the state object to start (which acts once).
class MenuBarContentView : public QWidget {
    Q_OBJECT

public:
    static constexpr int panelWidth = 300;

    explicit MenuBarContentView(MenuBarViewModel &model, QWidget *parent = nullptr);

protected:
    void showEvent(QShowEvent *event) override;
    void contextMenuEvent(QContextMenuEvent *event) override;
    void changeEvent(QEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;

private:
    QWidget *statRow(const QString &label, QLabel *&value, const QString &valueName, int valueSize,
                     bool valueBold = true);
    QWidget *bottomBar();
    void applyColors();
    // The context menu, also opened with the menu key or Shift+F10.
    void openMenu(const QPoint &globalPos);
    void openMenuFromKeyboard();
    void reread();

    MenuBarViewModel &m_model;
    QLabel *m_header = nullptr;
    QLabel *m_today = nullptr;
    QLabel *m_week = nullptr;
    HeatmapGrid *m_grid = nullptr;
    QToolButton *m_settingsButton = nullptr;
    QToolButton *m_syncButton = nullptr;
    QToolButton *m_quitButton = nullptr;
    Spinner *m_spinner = nullptr;
    OneLineLabel *m_nextSync = nullptr;
    ModelObserver *m_observer = nullptr;
};
