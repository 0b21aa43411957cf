#include "app/TitleBarVariant.h"

#include "app/X11Input.h"
#include "ui/Colors.h"

#include <QApplication>
#include <QEvent>
#include <QWidget>

namespace {

bool hasTitleBar(const QWidget &widget) {
    return widget.isWindow() && !widget.windowFlags().testFlag(Qt::FramelessWindowHint) &&
           (widget.windowType() == Qt::Window || widget.windowType() == Qt::Dialog);
}

} // namespace

TitleBarVariant::TitleBarVariant(QObject *parent) : QObject(parent) {
    qApp->installEventFilter(this);
}

bool TitleBarVariant::eventFilter(QObject *watched, QEvent *event) {
    if (event->type() == QEvent::Show && watched->isWidgetType()) {
        // Before the window is mapped, so its frame comes up in the right variant.
        auto *widget = static_cast<QWidget *>(watched);
        if (hasTitleBar(*widget))
            askForTitleBarVariant(*widget, isDarkPalette(widget->palette()));
    } else if (event->type() == QEvent::ApplicationPaletteChange && watched == qApp) {
        const bool dark = isDarkPalette(QApplication::palette());
        for (QWidget *window : QApplication::topLevelWidgets()) {
            if (window->isVisible() && hasTitleBar(*window))
                askForTitleBarVariant(*window, dark);
        }
    }
    return false;
}
