#pragma once

#include <QToolButton>

// A flat button of the panel's bottom bar: no bezel, reached with Tab, clicked with Enter as
// well as Space, and ringed in the highlight colour while it holds the keyboard focus. The
// ring shows only for focus that came from the keyboard, not for the focus Qt hands the first
// button when the panel opens under the mouse.
class PanelButton : public QToolButton {
    Q_OBJECT

public:
    explicit PanelButton(const QString &name, QWidget *parent = nullptr);

    bool showsFocusMark() const { return hasFocus() && m_keyboardFocus; }

protected:
    void keyPressEvent(QKeyEvent *event) override;
    void focusInEvent(QFocusEvent *event) override;
    void paintEvent(QPaintEvent *event) override;

private:
    bool m_keyboardFocus = false;
};
