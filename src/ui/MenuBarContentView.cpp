#include "ui/MenuBarContentView.h"

#include "state/MenuBarViewModel.h"
#include "ui/Colors.h"
#include "ui/Divider.h"
#include "ui/HeatmapGrid.h"
#include "ui/Icons.h"
#include "ui/ModelObserver.h"
#include "ui/OneLineLabel.h"
#include "ui/PanelButton.h"
#include "ui/PanelMenu.h"
#include "ui/Spinner.h"
#include "ui/WrappedLabel.h"

#include <QContextMenuEvent>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QToolButton>
#include <QVBoxLayout>

namespace {

// Sizes are the panel's layout units, so fonts are set in pixels to keep their proportion to
// the 300-wide panel whatever the screen's font resolution.
QFont fontOf(int pixelSize, QFont::Weight weight = QFont::Normal) {
    QFont font;
    font.setPixelSize(pixelSize);
    font.setWeight(weight);
    return font;
}

// A screen reader reads the name and then the description; the tooltip shows the latter.
void named(QWidget *control, const QString &name, const QString &description) {
    control->setAccessibleName(name);
    control->setAccessibleDescription(description);
    control->setToolTip(description);
}

void setSecondary(QWidget *widget) {
    QPalette palette = widget->palette();
    palette.setColor(QPalette::WindowText, secondaryTextColor(widget->palette()));
    widget->setPalette(palette);
}

} // namespace

MenuBarContentView::MenuBarContentView(MenuBarViewModel &model, QWidget *parent)
    : QWidget(parent), m_model(model) {
    setFixedWidth(panelWidth);
    setAutoFillBackground(true);
    setBackgroundRole(QPalette::Window);
    setAccessibleName(QStringLiteral("TesselMenu"));

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);

    m_header = new QLabel(QStringLiteral("DEDAVIZUV"));
    m_header->setObjectName(QStringLiteral("header"));
    m_header->setFont(fontOf(15, QFont::Medium));
    m_header->setContentsMargins(16, 16, 16, 14);
    layout->addWidget(m_header);
    // The last failure, so a missing or failing tool does not pass for a quiet day.
    m_error = new WrappedLabel(errorLines);
    m_error->setObjectName(QStringLiteral("error"));
    m_error->setFont(fontOf(12));
    m_error->setContentsMargins(16, 0, 16, 14);
    m_error->setFixedWidth(panelWidth);
    layout->addWidget(m_error);
    layout->addWidget(new Divider);
    layout->addLayout(
        statRow(QStringLiteral("今日用量"), m_today, QStringLiteral("todayValue"), 20));
    layout->addWidget(new Divider);
    layout->addLayout(statRow(QStringLiteral("本周合计"), m_week, QStringLiteral("weekValue"), 20));

    // Rows are layouts, not widgets of their own, so a screen reader meets only named things.
    m_grid = new HeatmapGrid;
    m_grid->setObjectName(QStringLiteral("heatmap"));
    auto *gridLayout = new QHBoxLayout;
    gridLayout->setContentsMargins(0, 16, 0, 14);
    gridLayout->addWidget(m_grid, 0, Qt::AlignHCenter);
    layout->addLayout(gridLayout);

    layout->addWidget(new Divider);
    layout->addLayout(bottomBar());

    applyColors();
    m_observer = new ModelObserver(
        model, [this] { reread(); }, this);
    reread();
}

QLayout *MenuBarContentView::statRow(const QString &label, QLabel *&value, const QString &valueName,
                                     int valueSize, bool valueBold) {
    auto *layout = new QHBoxLayout;
    layout->setContentsMargins(16, 14, 16, 14);
    auto *caption = new QLabel(label);
    caption->setFont(fontOf(13));
    value = new QLabel;
    value->setObjectName(valueName);
    value->setFont(fontOf(valueSize, valueBold ? QFont::DemiBold : QFont::Normal));
    value->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    // Read as "今日用量 1.5K" rather than a bare figure.
    caption->setBuddy(value);
    value->setAccessibleDescription(label);
    layout->addWidget(caption, 0, Qt::AlignVCenter);
    layout->addStretch(1);
    layout->addWidget(value, 0, Qt::AlignVCenter);
    return layout;
}

QLayout *MenuBarContentView::bottomBar() {
    // Two layers in one cell: the buttons below, the countdown centred over the free space.
    auto *layers = new QGridLayout;
    layers->setContentsMargins(16, 12, 16, 12);

    auto *row = new QHBoxLayout;
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(4);
    m_settingsButton = new PanelButton(QStringLiteral("settingsButton"));
    named(m_settingsButton, QStringLiteral("设置"), QStringLiteral("打开设置窗口"));
    m_settingsButton->setIconSize(QSize(14, 14));
    connect(m_settingsButton, &QToolButton::clicked, this, [this] { m_model.openSettings(); });
    m_syncButton = new PanelButton(QStringLiteral("syncButton"));
    named(m_syncButton, QStringLiteral("同步"), QStringLiteral("同步到 GitHub"));
    m_syncButton->setIconSize(QSize(18, 18));
    connect(m_syncButton, &QToolButton::clicked, this, [this] { m_model.syncNow(); });
    m_spinner = new Spinner(12);
    m_spinner->setObjectName(QStringLiteral("spinner"));
    m_spinner->setAccessibleName(QStringLiteral("正在刷新"));
    m_quitButton = new PanelButton(QStringLiteral("quitButton"));
    named(m_quitButton, QStringLiteral("退出"), QStringLiteral("退出 TesselMenu"));
    m_quitButton->setIconSize(QSize(14, 14));
    connect(m_quitButton, &QToolButton::clicked, this, [this] { m_model.quit(); });
    row->addWidget(m_settingsButton);
    row->addWidget(m_syncButton);
    row->addStretch(1);
    row->addWidget(m_spinner);
    row->addWidget(m_quitButton);
    layers->addLayout(row, 0, 0);

    m_nextSync = new OneLineLabel;
    m_nextSync->setObjectName(QStringLiteral("nextSync"));
    m_nextSync->setFont(fontOf(11));
    m_nextSync->setAttribute(Qt::WA_TransparentForMouseEvents);
    // Kept clear of the buttons on either side; a longer text is cut to one line.
    m_nextSync->setMaximumWidth(panelWidth - 2 * 16 - 2 * 52);
    layers->addWidget(m_nextSync, 0, 0, Qt::AlignCenter);
    return layers;
}

void MenuBarContentView::applyColors() {
    setSecondary(m_header);
    setSecondary(m_error);
    setSecondary(m_nextSync);
    const QColor secondary = secondaryTextColor(palette());
    m_settingsButton->setIcon(symbolIcon(Symbol::gear, secondary, 14));
    m_quitButton->setIcon(symbolIcon(Symbol::power, secondary, 14));
    m_syncButton->setIcon(gitHubUploadIcon(palette()));
}

void MenuBarContentView::changeEvent(QEvent *event) {
    // A switch between light and dark themes arrives as a palette change.
    if (event->type() == QEvent::PaletteChange && m_header) {
        QWidget::changeEvent(event);
        for (QWidget *child : {static_cast<QWidget *>(m_header), static_cast<QWidget *>(m_error),
                               static_cast<QWidget *>(m_nextSync)})
            child->setPalette(QPalette());
        applyColors();
        return;
    }
    QWidget::changeEvent(event);
}

void MenuBarContentView::reread() {
    const std::optional<QString> error = m_model.lastError();
    m_error->setText(error.value_or(QString()));
    m_error->setVisible(error.has_value());
    m_today->setText(m_model.todaySummary());
    m_week->setText(m_model.weeklySummary());
    m_grid->setDays(m_model.heatmapDays());
    m_grid->setAccessibleDescription(HeatmapGrid::summary(m_model.heatmapDays()));
    const bool busy = m_model.isRefreshing();
    m_syncButton->setEnabled(!busy);
    m_spinner->setVisible(busy);
    const std::optional<QString> nextSync = m_model.nextSyncSummary();
    m_nextSync->setText(nextSync.value_or(QString()));
    m_nextSync->setVisible(nextSync.has_value());
}

void MenuBarContentView::showEvent(QShowEvent *event) {
    QWidget::showEvent(event);
    // The countdown ticks only while a panel shows it.
    m_countdownWatch = m_model.watchCountdown();
    // Started from the event loop rather than from inside the show, like any other action.
    QMetaObject::invokeMethod(
        this, [this] { m_model.start(); }, Qt::QueuedConnection);
}

void MenuBarContentView::hideEvent(QHideEvent *event) {
    m_countdownWatch.reset();
    QWidget::hideEvent(event);
}

void MenuBarContentView::contextMenuEvent(QContextMenuEvent *event) {
    if (event->reason() == QContextMenuEvent::Keyboard)
        openMenuFromKeyboard();
    else
        openMenu(event->pos());
}

void MenuBarContentView::keyPressEvent(QKeyEvent *event) {
    const bool shiftF10 = event->key() == Qt::Key_F10 && event->modifiers() == Qt::ShiftModifier;
    if (event->key() == Qt::Key_Menu || shiftF10) {
        openMenuFromKeyboard();
        return;
    }
    QWidget::keyPressEvent(event);
}

void MenuBarContentView::openMenuFromKeyboard() {
    // Under the focused control, or at the panel's top left when nothing has the focus.
    QWidget *focused = focusWidget();
    if (focused && isAncestorOf(focused))
        openMenu(focused->mapTo(this, QPoint(0, focused->height())));
    else
        openMenu(QPoint(0, 0));
}

void MenuBarContentView::openMenu(const QPoint &pos) {
    PanelMenu menu(m_model, this);
    if (m_menuExtender)
        m_menuExtender(menu);
    if (m_menuOpener)
        m_menuOpener(menu, pos);
    else
        menu.exec(mapToGlobal(pos));
}
