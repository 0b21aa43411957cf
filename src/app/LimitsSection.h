#pragma once

#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>

class MenuBarViewModel;
class QAction;
class QMenu;

// The usage limits at the top of the tray menu: one line per window (a limit bucket's under
// its own name, after its provider's own windows), the pace line under a window that runs out
// before its reset, a mark when the limits could not be brought up to date, and the switch for
// the warnings. Absent while the tool reports no limits.
class LimitsSection : public QObject {
    Q_OBJECT

public:
    // Puts the section into `menu`, which outlives it, above `before` (one of its actions), or
    // at the top without one.
    LimitsSection(MenuBarViewModel &model, QMenu &menu, QAction *before = nullptr);

    // Brings the lines up to date with the state object; cheap when nothing changed.
    void reread();

    // The texts shown, top to bottom (for tests and the tooltip).
    QStringList lines() const { return m_lines; }

private:
    MenuBarViewModel &m_model;
    QMenu &m_menu;
    QAction *m_before;
    QList<QAction *> m_lineActions;
    QAction *m_switch = nullptr;
    QAction *m_separator = nullptr;
    QStringList m_lines;
};
