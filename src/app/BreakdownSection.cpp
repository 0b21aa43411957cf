#include "app/BreakdownSection.h"

#include "state/MenuBarViewModel.h"
#include "ui/ModelObserver.h"

#include <QAction>
#include <QMenu>

BreakdownSection::BreakdownSection(MenuBarViewModel &model, QMenu &menu, QAction *before)
    : QObject(&menu), m_model(model), m_menu(menu), m_before(before),
      m_submenu(new QMenu(QStringLiteral("今日明细"), &menu)),
      m_observer(new ModelObserver(
          model, [this] { reread(); }, this)) {
    m_submenu->menuAction()->setObjectName(QStringLiteral("breakdown"));
    // Read as the menu opens: the figures are fresh when the person looks, and a refresh
    // costs no extra run of the tool.
    connect(&m_menu, &QMenu::aboutToShow, this, [this] { m_model.refreshBreakdown(); });
    // Once at the start too, so the entry is in place when the menu first opens rather than
    // appearing under the pointer a moment later.
    m_model.refreshBreakdown();
    reread();
}

QStringList BreakdownSection::texts() const {
    QStringList list;
    for (const QAction *action : m_submenu->actions())
        list << (action->isSeparator() ? QStringLiteral("--") : action->text());
    return list;
}

void BreakdownSection::reread() {
    const std::optional<BreakdownReport> report = m_model.breakdown();
    QList<BreakdownLine> lines;
    if (report)
        lines = breakdownLines(*report, m_model.breakdownError());
    if (lines == m_lines)
        return;
    m_lines = std::move(lines);

    m_submenu->clear();
    for (const BreakdownLine &line : m_lines) {
        if (line.kind == BreakdownLine::Kind::separator) {
            m_submenu->addSeparator();
            continue;
        }
        QAction *action = m_submenu->addAction(line.text);
        // Headings and notes are read, not chosen: greyed like a menu's captions. Figures
        // stay enabled so they read at full contrast; choosing one does nothing.
        action->setEnabled(line.kind == BreakdownLine::Kind::figure);
    }
    const bool show = !m_lines.isEmpty();
    if (show == m_shown)
        return;
    m_shown = show;
    if (show)
        m_menu.insertAction(m_before, m_submenu->menuAction());
    else
        m_menu.removeAction(m_submenu->menuAction());
}
