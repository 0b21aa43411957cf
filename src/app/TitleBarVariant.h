#pragma once

#include <QObject>

// Keeps the window manager's title bars in step with the palette: each window with a title bar
// asks for the dark variant while the palette is dark (GNOME's dark style turns the palette
// through the settings portal, but Mutter draws an X11 window's frame light unless asked).
class TitleBarVariant : public QObject {
    Q_OBJECT

public:
    explicit TitleBarVariant(QObject *parent = nullptr);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
};
