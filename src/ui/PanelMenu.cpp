#include "ui/PanelMenu.h"

#include "state/MenuBarViewModel.h"
#include "ui/ModelObserver.h"

PanelMenu::PanelMenu(MenuBarViewModel &model, QWidget *parent)
    : QMenu(parent), m_model(model), m_observer(new ModelObserver(
                                         model, [this] { reread(); }, this)) {
    addAction(QStringLiteral("刷新"), this, [this] { m_model.refresh(); });
    addAction(QStringLiteral("同步"), this, [this] { m_model.syncNow(); });
    addSeparator();
    m_schedule = addAction(QStringLiteral("每日自动同步到 GitHub"));
    m_schedule->setCheckable(true);
    // Qt has already flipped the check mark: `checked` is the negation of the shown state.
    // The mark is then set back from the state object, which may have refused the change.
    connect(m_schedule, &QAction::triggered, this, [this](bool checked) {
        m_model.setScheduleEnabled(checked);
        m_observer->schedule();
    });
    addSeparator();
    addAction(QStringLiteral("设置..."), this, [this] { m_model.openSettings(); });
    addAction(QStringLiteral("查看热力图"), this, [this] { m_model.openHeatmap(); });
    addAction(QStringLiteral("退出"), this, [this] { m_model.quit(); });
    reread();
}

void PanelMenu::reread() {
    m_schedule->setChecked(m_model.scheduleInstalled());
}
