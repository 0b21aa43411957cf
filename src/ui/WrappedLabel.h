#pragma once

#include <QString>
#include <QWidget>

// Plain text wrapped to the widget's width, at word boundaries where it can and anywhere in
// a word too long for a line (a long path), at most `maxLines` lines with the last one cut
// with an ellipsis. Its height follows the text at its current width, so it is meant for a
// place of fixed width. Never read as rich text: a message full of markup shows as written.
class WrappedLabel : public QWidget {
    Q_OBJECT

public:
    explicit WrappedLabel(int maxLines, QWidget *parent = nullptr);

    void setText(const QString &text);
    QString text() const { return m_text; }
    // The lines as they are drawn at the current width.
    QStringList lines() const { return linesFor(contentsRect().width()); }

    int heightForWidth(int width) const override;
    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    QStringList linesFor(int width) const;

    int m_maxLines;
    QString m_text;
};
