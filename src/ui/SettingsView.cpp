#include "ui/SettingsView.h"

#include "state/MenuBarViewModel.h"
#include "ui/ModelObserver.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QSignalBlocker>
#include <QVBoxLayout>

const QList<SettingsView::Choice> SettingsView::refreshChoices{
    {"1 分钟", 60}, {"2 分钟", 120}, {"5 分钟", 300}, {"10 分钟", 600}};
const QList<SettingsView::Choice> SettingsView::syncChoices{
    {"每 1 小时", 3600}, {"每 6 小时", 21600}, {"每 12 小时", 43200}, {"每天", 86400}};

const QList<std::optional<DailyBudget>> SettingsView::budgetChoices{
    std::nullopt,
    DailyBudget::tokens(10'000'000),
    DailyBudget::tokens(50'000'000),
    DailyBudget::tokens(100'000'000),
    DailyBudget::tokens(500'000'000),
    DailyBudget::dollars(5),
    DailyBudget::dollars(20),
    DailyBudget::dollars(50),
    DailyBudget::dollars(100)};

namespace {

QString budgetLabel(const std::optional<DailyBudget> &budget) {
    return budget ? budget->label() : QStringLiteral("关闭");
}

QString budgetData(const std::optional<DailyBudget> &budget) {
    return budget ? budget->stored() : QString();
}

QComboBox *picker(const QList<SettingsView::Choice> &choices, const QString &name) {
    auto *box = new QComboBox;
    box->setObjectName(name);
    for (const SettingsView::Choice &choice : choices)
        box->addItem(QString::fromUtf8(choice.label), choice.seconds);
    return box;
}

QCheckBox *toggle(const QString &name) {
    auto *box = new QCheckBox;
    box->setObjectName(name);
    box->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    return box;
}

} // namespace

SettingsView::SettingsView(MenuBarViewModel &model, QWidget *parent)
    : QWidget(parent), m_model(model), m_launchAtLogin(toggle(QStringLiteral("launchAtLogin"))),
      m_refreshInterval(picker(refreshChoices, QStringLiteral("refreshInterval"))),
      m_autoSync(toggle(QStringLiteral("autoSync"))),
      m_syncInterval(picker(syncChoices, QStringLiteral("syncInterval"))), m_budget(new QComboBox),
      m_observer(new ModelObserver(
          model, [this] { followState(); }, this)) {
    // A column of rows, 20 apart and padded by 20, in a frame 260 wide centred in the
    // window; each row is its caption, a flexible space and the control at the right edge.
    auto *frame = new QWidget;
    frame->setFixedWidth(260);
    auto *rows = new QVBoxLayout(frame);
    rows->setContentsMargins(20, 20, 20, 20);
    rows->setSpacing(20);
    auto *outer = new QHBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    outer->addWidget(frame, 0, Qt::AlignCenter);
    const auto addRow = [&](const QString &caption, QWidget *control) {
        auto *label = new QLabel(caption);
        QFont font = label->font();
        font.setPixelSize(13);
        label->setFont(font);
        label->setBuddy(control);
        control->setAccessibleName(caption);
        auto *row = new QHBoxLayout;
        row->addWidget(label);
        row->addStretch(1);
        row->addWidget(control);
        rows->addLayout(row);
    };
    addRow(QStringLiteral("开机自启"), m_launchAtLogin);
    addRow(QStringLiteral("刷新频率"), m_refreshInterval);
    addRow(QStringLiteral("自动同步到 GitHub"), m_autoSync);
    addRow(QStringLiteral("同步频率"), m_syncInterval);
    m_budget->setObjectName(QStringLiteral("dailyBudget"));
    for (const std::optional<DailyBudget> &budget : budgetChoices)
        m_budget->addItem(budgetLabel(budget), budgetData(budget));
    m_budget->setToolTip(QStringLiteral("今日用量达到预算的 80% 和 100% 时各提醒一次；"
                                        "金额按 API 价格估算"));
    addRow(QStringLiteral("每日预算"), m_budget);

    // clicked() and activated() come from a person's input only, never from the loading
    // below. activated() also fires when the person picks the choice already shown, which
    // must not restart the refresh loop or reinstall the schedule. After each action the
    // controls are set back from the stores, which may have refused the change (a busy state
    // object) or recorded a different outcome (an autostart entry that could not be written).
    connect(m_launchAtLogin, &QCheckBox::clicked, this, [this](bool checked) {
        m_model.settings().updateLaunchAtLogin(checked);
        load();
    });
    connect(m_refreshInterval, &QComboBox::activated, this, [this](int index) {
        const qint64 seconds = m_refreshInterval->itemData(index).toLongLong();
        if (seconds == m_model.settings().refreshInterval())
            return;
        m_model.settings().setRefreshInterval(seconds);
        m_model.restartRefreshLoop();
    });
    connect(m_autoSync, &QCheckBox::clicked, this, [this](bool checked) {
        m_model.setScheduleEnabled(checked);
        m_observer->schedule();
    });
    connect(m_syncInterval, &QComboBox::activated, this, [this](int index) {
        const qint64 seconds = m_syncInterval->itemData(index).toLongLong();
        if (seconds != m_model.settings().syncInterval())
            m_model.setScheduleInterval(seconds);
        m_observer->schedule();
    });
    connect(m_budget, &QComboBox::activated, this, [this](int index) {
        const auto budget = DailyBudget::fromStored(m_budget->itemData(index).toString());
        if (budget == m_model.settings().dailyBudget())
            return;
        m_model.settings().setDailyBudget(budget);
        // A budget already passed warns at once; one in dollars needs today's cost first.
        if (budget && budget->unit == DailyBudget::Unit::dollars)
            m_model.refreshBreakdown();
        else
            m_model.checkBudget();
        loadBudget();
    });
    load();
}

void SettingsView::showEvent(QShowEvent *event) {
    QWidget::showEvent(event);
    load();
}

void SettingsView::load() {
    SettingsStore &settings = m_model.settings();
    select(m_refreshInterval, settings.refreshInterval());
    {
        const QSignalBlocker blocker(m_launchAtLogin);
        m_launchAtLogin->setChecked(settings.startsAtLogin());
    }
    select(m_syncInterval, settings.syncInterval());
    loadBudget();
    followState();
}

void SettingsView::loadBudget() {
    const std::optional<DailyBudget> stored = m_model.settings().dailyBudget();
    const QSignalBlocker blocker(m_budget);
    // A budget set by hand that no choice offers gets a choice of its own, last.
    while (m_budget->count() > budgetChoices.size())
        m_budget->removeItem(m_budget->count() - 1);
    int index = m_budget->findData(budgetData(stored));
    if (index < 0) {
        m_budget->addItem(budgetLabel(stored), budgetData(stored));
        index = m_budget->count() - 1;
    }
    m_budget->setCurrentIndex(index);
}

void SettingsView::followState() {
    {
        const QSignalBlocker blocker(m_autoSync);
        m_autoSync->setChecked(m_model.scheduleInstalled());
    }
    const bool busy = m_model.isRefreshing();
    // Disabling the focused control would send the focus on to the next one (Space on the
    // sync switch would land on launch at login): the view holds it meanwhile and gives it
    // back when the control is usable again.
    QWidget *focused = QApplication::focusWidget();
    if (busy && (focused == m_autoSync || focused == m_syncInterval)) {
        m_parkedFocus = focused;
        setFocus(Qt::OtherFocusReason);
    }
    m_autoSync->setEnabled(!busy);
    m_syncInterval->setEnabled(!busy);
    if (!busy && m_parkedFocus) {
        if (hasFocus())
            m_parkedFocus->setFocus(Qt::OtherFocusReason);
        m_parkedFocus = nullptr;
    }
    // The picker keeps showing the stored interval, including after a change while busy.
    select(m_syncInterval, m_model.settings().syncInterval());
}

// Shows the choice whose seconds equal `seconds`, or none when no choice matches (a value
// edited by hand stays stored until the person picks one).
void SettingsView::select(QComboBox *picker, qint64 seconds) {
    const QSignalBlocker blocker(picker);
    picker->setCurrentIndex(picker->findData(seconds));
}
