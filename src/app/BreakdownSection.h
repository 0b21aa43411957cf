#pragma once

#include "state/BreakdownTexts.h"

#include <QList>
#include <QObject>

class MenuBarViewModel;
class ModelObserver;
class QAction;
class QMenu;

// "今日明细" in the tray menu: a submenu with today's tokens by tool and by model, each with
// its API-equivalent cost, and the week's total cost. The figures are read from the tool as
// the menu opens (and once at the start), not on every refresh; the entry is absent until a
// reading succeeds, so a tool without the report shows nothing.
class BreakdownSection : public QObject {
    Q_OBJECT

public:
    // Puts the entry into `menu`, which outlives it, above `before` (one of its actions).
    BreakdownSection(MenuBarViewModel &model, QMenu &menu, QAction *before);

    QMenu *submenu() const { return m_submenu; }
    // The submenu's lines as shown, separators as "--" (for tests).
    QStringList texts() const;

    // Brings the entry up to date with the state object; cheap when nothing changed.
    void reread();

private:
    MenuBarViewModel &m_model;
    QMenu &m_menu;
    QAction *m_before;
    QMenu *m_submenu;
    ModelObserver *m_observer;
    QList<BreakdownLine> m_lines;
    bool m_shown = false;
};
