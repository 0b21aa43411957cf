#pragma once

#include "settings/DailyBudget.h"

#include <QPointer>
#include <QWidget>

#include <optional>

class MenuBarViewModel;
class ModelObserver;
class QCheckBox;
class QComboBox;

// The preferences: launch at login, refresh frequency, automatic sync to GitHub, sync
// frequency and the daily budget. Showing the view loads the controls from the settings store and
// the state object, and the sync switch follows the state object's schedule flag while the view is
// open; neither runs any action. Only a person's change of a control runs its row's action,
// so opening the window never reinstalls the schedule or restarts its countdown.
class SettingsView : public QWidget {
    Q_OBJECT

public:
    struct Choice {
        const char *label;
        qint64 seconds;
    };
    static const QList<Choice> refreshChoices;
    static const QList<Choice> syncChoices;
    // The daily budgets offered, "关闭" (none) first; a budget stored by hand that is none of
    // them is shown as one more choice.
    static const QList<std::optional<DailyBudget>> budgetChoices;

    explicit SettingsView(MenuBarViewModel &model, QWidget *parent = nullptr);

protected:
    void showEvent(QShowEvent *event) override;

private:
    void load();
    void followState();
    static void select(QComboBox *picker, qint64 seconds);
    void loadBudget();

    MenuBarViewModel &m_model;
    QCheckBox *m_launchAtLogin;
    QComboBox *m_refreshInterval;
    QCheckBox *m_autoSync;
    QComboBox *m_syncInterval;
    QComboBox *m_budget;
    ModelObserver *m_observer;
    QPointer<QWidget> m_parkedFocus;
};
