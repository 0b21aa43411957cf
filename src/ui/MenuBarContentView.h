#pragma once

#include "state/MenuBarViewModel.h"

#include <QWidget>

#include <functional>
#include <memory>

class HeatmapGrid;
class ModelObserver;
class OneLineLabel;
class PanelMenu;
class QLabel;
class QLayout;
class QMenu;
class QToolButton;
class Spinner;
class WrappedLabel;

// The drop-down panel, 300 wide: a header, the last error when there is one, today's and this
// week's totals, the heatmap and a bar with the settings, sync and quit buttons, a busy spinner
// and the next-sync countdown. It only reads the state object and calls its operations; a right
// click anywhere opens the panel menu, as do the menu key and Shift+F10; Tab walks its buttons.
// Each time it is shown it asks the state object to start (which acts once).
class MenuBarContentView : public QWidget {
    Q_OBJECT

public:
    static constexpr int panelWidth = 300;
    // The error row shows at most this many lines; a longer message is cut.
    static constexpr int errorLines = 4;

    // Opens the panel menu at `pos` (the panel's coordinates) and returns when it has closed.
    using MenuOpener = std::function<void(PanelMenu &menu, const QPoint &pos)>;

    explicit MenuBarContentView(MenuBarViewModel &model, QWidget *parent = nullptr);

    // Where the window system cannot hang a popup menu from the panel's window, the shell
    // opens it its own way; by default the menu pops up at the point on the screen.
    void setMenuOpener(MenuOpener opener) { m_menuOpener = std::move(opener); }
    // Adds entries of the shell's own to each panel menu before it opens.
    void setMenuExtender(std::function<void(QMenu &menu)> extender) {
        m_menuExtender = std::move(extender);
    }

protected:
    void showEvent(QShowEvent *event) override;
    void hideEvent(QHideEvent *event) override;
    void contextMenuEvent(QContextMenuEvent *event) override;
    void changeEvent(QEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;

private:
    QLayout *statRow(const QString &label, QLabel *&value, const QString &valueName, int valueSize,
                     bool valueBold = true);
    QLayout *bottomBar();
    void applyColors();
    // The context menu, also opened with the menu key or Shift+F10.
    void openMenu(const QPoint &pos);
    void openMenuFromKeyboard();
    void reread();

    MenuBarViewModel &m_model;
    QLabel *m_header = nullptr;
    WrappedLabel *m_error = nullptr;
    QLabel *m_today = nullptr;
    QLabel *m_week = nullptr;
    HeatmapGrid *m_grid = nullptr;
    QToolButton *m_settingsButton = nullptr;
    QToolButton *m_syncButton = nullptr;
    QToolButton *m_quitButton = nullptr;
    Spinner *m_spinner = nullptr;
    OneLineLabel *m_nextSync = nullptr;
    ModelObserver *m_observer = nullptr;
    MenuOpener m_menuOpener;
    std::function<void(QMenu &menu)> m_menuExtender;
    std::unique_ptr<MenuBarViewModel::CountdownWatch> m_countdownWatch;
};
