#include "ui/PanelAccessibility.h"

#include "ui/HeatmapGrid.h"
#include "ui/OneLineLabel.h"
#include "ui/WrappedLabel.h"

#include <QAccessibleWidget>

#include <functional>

namespace {

// A widget of a fixed role whose name is its accessible name when one is set, else its text.
class DrawnWidget : public QAccessibleWidget {
public:
    DrawnWidget(QWidget *widget, QAccessible::Role role, std::function<QString()> text = {})
        : QAccessibleWidget(widget, role), m_text(std::move(text)) {}

    QString text(QAccessible::Text kind) const override {
        QString text = QAccessibleWidget::text(kind);
        if (kind == QAccessible::Name && text.isEmpty() && m_text)
            text = m_text();
        return text;
    }

private:
    std::function<QString()> m_text;
};

QAccessibleInterface *drawnWidgets(const QString &className, QObject *object) {
    auto *widget = qobject_cast<QWidget *>(object);
    if (!widget)
        return nullptr;
    if (className == QLatin1String("WrappedLabel")) {
        auto *label = static_cast<WrappedLabel *>(widget);
        return new DrawnWidget(widget, QAccessible::StaticText, [label] { return label->text(); });
    }
    if (className == QLatin1String("OneLineLabel")) {
        auto *label = static_cast<OneLineLabel *>(widget);
        return new DrawnWidget(widget, QAccessible::StaticText, [label] { return label->text(); });
    }
    if (className == QLatin1String("HeatmapGrid")) {
        auto *grid = static_cast<HeatmapGrid *>(widget);
        return new DrawnWidget(widget, QAccessible::Chart,
                               [grid] { return HeatmapGrid::summary(grid->days()); });
    }
    if (className == QLatin1String("Spinner"))
        return new DrawnWidget(widget, QAccessible::Animation);
    // The shell's panel window: a window to screen readers, not a filler.
    if (className == QLatin1String("PanelWindow"))
        return new DrawnWidget(widget, QAccessible::Window);
    if (className == QLatin1String("Divider"))
        return new DrawnWidget(widget, QAccessible::Separator);
    return nullptr;
}

} // namespace

void installPanelAccessibility() {
    static bool installed = false;
    if (!installed)
        QAccessible::installFactory(drawnWidgets);
    installed = true;
}
