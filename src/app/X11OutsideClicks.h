#pragma once

#include <QAbstractNativeEventFilter>
#include <QObject>
#include <QPointer>
#include <QTimer>

#include <array>
#include <cstdint>
#include <memory>

class QWidget;

// Sees the clicks outside the panel where the utility runs on Xwayland. There an X pointer
// grab misses every click on a Wayland surface, and a click on GNOME's wallpaper moves no
// focus, so neither a grab nor the focus tells the panel of a click beside it. Instead, while
// the panel is open, four transparent override-redirect windows cover the screen around it,
// above everything else (the desktop's bars included): a click on them is a click outside. The
// cover stays until that click's button is released, so no part of it reaches what lies below.
class X11OutsideClicks : public QObject, public QAbstractNativeEventFilter {
    Q_OBJECT

public:
    // Nullptr off Qt's X11 platform, or where the server offers no translucent windows.
    static std::unique_ptr<X11OutsideClicks> create();
    ~X11OutsideClicks() override;

    // Covers the screen around `window` (shown) where the X server has it now, and again each
    // time the server reports it moved or changed size: the window manager may carry out a
    // move or resize Qt asked for after Qt has told the widget, and a cover left where the
    // window was would swallow clicks on the window itself.
    void surround(QWidget &window);
    // Takes the cover away.
    void withdraw();

    bool nativeEventFilter(const QByteArray &eventType, void *message, qintptr *result) override;

signals:
    // A button was pressed on the cover.
    void clicked();

private:
    explicit X11OutsideClicks(std::array<uint32_t, 4> windows);
    void unmap();
    void surroundAgain();

    std::array<uint32_t, 4> m_windows;
    QPointer<QWidget> m_surrounded;
    uint32_t m_surroundedId = 0;
    bool m_covering = false;
    bool m_buttonDown = false;
    // Takes the cover away after a click whose release never comes.
    QTimer m_releaseLimit;
};
