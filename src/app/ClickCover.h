#pragma once

#include <QWidget>

// A see-through window that the layer shell spreads over the screen beneath the open panel, on
// compositors that leave the keyboard with the panel when something else is clicked (sway): a
// press on it is a click beside the panel, and goes no further.
class ClickCover : public QWidget {
    Q_OBJECT

public:
    explicit ClickCover(QWidget *parent = nullptr);

signals:
    void pressed();

protected:
    void mousePressEvent(QMouseEvent *event) override;
};
