#include "app/LimitsSection.h"

#include "state/LimitTexts.h"
#include "state/MenuBarViewModel.h"

#include <QAction>
#include <QMenu>

namespace {

QStringList sectionLines(MenuBarViewModel &model) {
    const QDateTime now = QDateTime::currentDateTimeUtc();
    QStringList lines;
    for (const LimitWindow &window : model.limitWindows()) {
        lines << limitLine(window, now);
        if (const auto pace = paceLine(window, now))
            lines << QStringLiteral("    ") + *pace;
    }
    if (const auto error = model.limitsError())
        lines << QStringLiteral("⚠ 额度未能更新：") + error->section(QLatin1Char('\n'), 0, 0);
    return lines;
}

} // namespace

LimitsSection::LimitsSection(MenuBarViewModel &model, QMenu &menu, QAction *before)
    : QObject(&menu), m_model(model), m_menu(menu), m_before(before) {
    m_switch = new QAction(QStringLiteral("额度提醒"), this);
    m_switch->setCheckable(true);
    connect(m_switch, &QAction::triggered, this,
            [this](bool checked) { m_model.settings().setLimitNotifications(checked); });
    m_separator = new QAction(this);
    m_separator->setSeparator(true);
    reread();
}

void LimitsSection::reread() {
    QStringList lines = sectionLines(m_model);
    m_switch->setChecked(m_model.settings().limitNotifications());
    if (lines == m_lines)
        return;
    m_lines = std::move(lines);

    for (QAction *action : m_lineActions)
        m_menu.removeAction(action);
    qDeleteAll(m_lineActions);
    m_lineActions.clear();
    m_menu.removeAction(m_switch);
    m_menu.removeAction(m_separator);
    if (m_lines.isEmpty())
        return;

    QAction *first = m_before;
    if (!first && !m_menu.actions().isEmpty())
        first = m_menu.actions().constFirst();
    for (const QString &line : m_lines) {
        // Information, not a command: choosing a line does nothing. It stays enabled so the
        // figures are not greyed out beyond reading. A bucket's name comes from a log and may
        // hold '&', which a menu would take for a shortcut mark.
        auto *action = new QAction(QString(line).replace(u'&', QStringLiteral("&&")), this);
        m_lineActions << action;
        m_menu.insertAction(first, action);
    }
    m_menu.insertAction(first, m_switch);
    m_menu.insertAction(first, m_separator);
}
