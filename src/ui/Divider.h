#pragma once

#include <QWidget>

// A thin horizontal rule across the panel. It fills its whole one-unit-high rectangle rather
// than stroking a line through its middle, so at fractional scaling (1.25, 1.5, 1.75) it still
// covers at least one row of device pixels instead of falling between them.
class Divider : public QWidget {
    Q_OBJECT

public:
    explicit Divider(QWidget *parent = nullptr);

protected:
    void paintEvent(QPaintEvent *event) override;
};
