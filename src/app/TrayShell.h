#pragma once

#include "app/PanelWindow.h"
#include "ui/TrayFace.h"

#include <QObject>
#include <QString>
#include <QSystemTrayIcon>

#include <memory>
#include <optional>

class LayerShell;
class LimitsSection;
class TrayActivation;
class MenuBarViewModel;
class ModelObserver;
class PanelMenu;

// The utility's presence on the desktop: a tray icon showing today's figure, with the state
// object's menu title (and its last error) as its tooltip; it starts the state object once
// the icon (or the window) is up, so the figure arrives without a click. A left click toggles
// the panel beside the icon and a right click offers "打开面板" above the panel's own menu, for
// trays that never pass a left click on. Without any tray the panel lives in an ordinary window
// instead, until a tray host comes up.
class TrayShell : public QObject {
    Q_OBJECT

public:
    explicit TrayShell(MenuBarViewModel &model, QObject *parent = nullptr);
    ~TrayShell() override;

    bool hasTray() const { return m_tray != nullptr; }
    PanelWindow &panel() { return *m_panel; }

    // Brings the panel up: beside the tray icon, or the fallback window to the front.
    void showPanel();
    void hidePanel();
    void togglePanel();

private:
    void createTray();
    void createWindow();
    // Where the panel goes: at the icon, else at the last activation point, else at the
    // screen corner where the tray sits.
    std::optional<PanelPlacement> placement() const;
    void noteActivation();
    void reread();

    MenuBarViewModel &m_model;
    std::unique_ptr<LayerShell> m_layerShell;
    std::unique_ptr<PanelWindow> m_panel;
    std::unique_ptr<PanelMenu> m_trayMenu;
    QSystemTrayIcon *m_tray = nullptr;
    ModelObserver *m_observer = nullptr;
    LimitsSection *m_limits = nullptr;
    std::optional<TrayIconFace> m_shownFace;
    std::optional<QPoint> m_activationPoint;
    std::unique_ptr<TrayActivation> m_activation;
    std::optional<QPoint> m_hostPoint;
};
