#pragma once

#include <QTimer>
#include <QWidget>

// A small indeterminate busy indicator: a turning arc. It animates only while visible.
class Spinner : public QWidget {
    Q_OBJECT

public:
    explicit Spinner(int size, QWidget *parent = nullptr);

protected:
    void paintEvent(QPaintEvent *event) override;
    void showEvent(QShowEvent *event) override;
    void hideEvent(QHideEvent *event) override;

private:
    QTimer m_timer;
    int m_angle = 0;
};
