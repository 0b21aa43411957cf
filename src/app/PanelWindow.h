#pragma once

#include "ui/PanelPlacement.h"

#include <QElapsedTimer>
#include <QWidget>

#include <memory>
#include <optional>

class ClickCover;
class LayerShell;
class MenuBarContentView;
class X11OutsideClicks;
class MenuBarViewModel;

// The window that holds the panel. With a tray it is a frameless panel dropped next to the
// icon that folds away when the person clicks elsewhere, out of the taskbar and the window
// overview: on X11 a window of its own that takes all input while open (not a Qt popup, which
// screen readers never see), in a Wayland session a tool window that hides when another
// window takes the focus or, on Xwayland, when a click lands anywhere beside it. Without a
// tray it is an ordinary small window.
class PanelWindow : public QWidget {
    Q_OBJECT

public:
    enum class Mode { grabbing, tool, window };

    PanelWindow(MenuBarViewModel &model, Mode mode, QWidget *parent = nullptr);
    ~PanelWindow() override;

    Mode mode() const { return m_mode; }
    MenuBarContentView &content() { return *m_content; }
    // Readies the panel (not yet shown) and its menu for the compositor's layer shell.
    void useLayerShell(LayerShell &layer);
    // Shows the panel where `placement` puts it. While it stays open it follows its own
    // height from there, keeping the edge nearest the tray in place.
    void showAt(const PanelPlacement &placement);
    // Shows the panel on the compositor's layer shell in the tray's corner (Wayland).
    void showInLayer(LayerShell &layer, const LayerPlacement &placement);
    // True for a short moment after the panel folded away: the click on the tray icon that
    // closed it must not open it again at once.
    bool justHidden() const;
    void setVisible(bool visible) override;

protected:
    bool event(QEvent *event) override;
    void hideEvent(QHideEvent *event) override;
    void closeEvent(QCloseEvent *event) override;
    void moveEvent(QMoveEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;

private:
    // Takes all input once the window is up (X11); tried again for a while when the server
    // refuses, as it does while the click that opened the panel still holds the pointer.
    void grabWhenShown(int triesLeft);
    // Folds the panel and its menu away after a click beside them.
    void clickedOutside();

    MenuBarViewModel &m_model;
    Mode m_mode;
    MenuBarContentView *m_content = nullptr;
    QElapsedTimer m_hiddenAt;
    std::optional<PanelPlacement> m_placement;
    LayerShell *m_layer = nullptr;
    std::unique_ptr<X11OutsideClicks> m_outside;
    std::unique_ptr<ClickCover> m_cover;
};
