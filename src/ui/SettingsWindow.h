#pragma once

#include <QWidget>

class MenuBarViewModel;

// The settings window: title "设置", a 300 x 220 content area that cannot be resized, the
// settings view inside. It deletes itself when closed, which tells the state object that it
// is gone, so the next request builds a fresh one.
class SettingsWindow : public QWidget {
    Q_OBJECT

public:
    static constexpr QSize contentSize{300, 220};

    explicit SettingsWindow(MenuBarViewModel &model, QWidget *parent = nullptr);

    // Moves the window so that its outer frame is centred on the screen under the pointer.
    void centreOnCurrentScreen();

protected:
    void moveEvent(QMoveEvent *event) override;
    // Escape closes the window, as it closes a dialog.
    void keyPressEvent(QKeyEvent *event) override;

private:
    // Set while the centring could only use the content's size: the window manager adds its
    // frame after the window is shown, and the window is centred once more when it has.
    bool m_frameUnknown = false;
    QPoint m_placedAt;
};
