#pragma once

#include <QString>
#include <QWidget>

// Text on one line, cut with an ellipsis where it does not fit its width.
class OneLineLabel : public QWidget {
    Q_OBJECT

public:
    explicit OneLineLabel(QWidget *parent = nullptr);

    void setText(const QString &text);
    QString text() const { return m_text; }

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    QString m_text;
};
