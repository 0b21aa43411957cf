#pragma once

#include "ui/PanelPlacement.h"

#include <QElapsedTimer>
#include <QWidget>

#include <optional>

class LayerShell;
class MenuBarContentView;
class MenuBarViewModel;

// The window that holds the panel. With a tray it is a frameless panel dropped next to the
// icon that folds away when the person clicks elsewhere (a popup on X11, a tool window that
// hides when it loses focus elsewhere); without a tray it is an ordinary small window.
class PanelWindow : public QWidget {
    Q_OBJECT

public:
    enum class Mode { popup, tool, window };

    PanelWindow(MenuBarViewModel &model, Mode mode, QWidget *parent = nullptr);

    Mode mode() const { return m_mode; }
    // Readies the panel (not yet shown) and its menu for the compositor's layer shell.
    void useLayerShell(LayerShell &layer);
    // Shows the panel where `placement` puts it. While it stays open it follows its own
    // height from there, keeping the edge nearest the tray in place.
    void showAt(const PanelPlacement &placement);
    // Shows the panel on the compositor's layer shell in the tray's corner (Wayland).
    void showInLayer(LayerShell &layer, TrayCorner corner);
    // True for a short moment after the panel folded away: the click on the tray icon that
    // closed it must not open it again at once.
    bool justHidden() const;
    void setVisible(bool visible) override;

protected:
    bool event(QEvent *event) override;
    void hideEvent(QHideEvent *event) override;
    void closeEvent(QCloseEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;

private:
    MenuBarViewModel &m_model;
    Mode m_mode;
    MenuBarContentView *m_content = nullptr;
    QElapsedTimer m_hiddenAt;
    std::optional<PanelPlacement> m_placement;
    LayerShell *m_layer = nullptr;
};
