// The daily budget row of the settings: its choices, what choosing stores, a budget stored by
// hand, and the window that still holds every row legibly.
#include "ModelFixture.h"

#include "ui/SettingsView.h"
#include "ui/SettingsWindow.h"

#include <QComboBox>
#include <QLabel>

namespace {

class BudgetSettingTest : public ModelTest {
protected:
    static void choose(QComboBox *picker, const QString &label) {
        const int index = picker->findText(label);
        ASSERT_GE(index, 0) << label.toStdString();
        picker->setCurrentIndex(index);
        emit picker->activated(index);
    }
};

TEST_F(BudgetSettingTest, ChoicesStoreTheBudgetAndAHandEditedOneIsShown) {
    SettingsView view(*model);
    view.show();
    settle();
    auto *budget = named<QComboBox>(view, "dailyBudget");
    QStringList labels;
    for (int i = 0; i < budget->count(); ++i)
        labels << budget->itemText(i);
    EXPECT_EQ(labels, (QStringList{"关闭", "10M tokens", "50M tokens", "100M tokens", "500M tokens",
                                   "$5", "$20", "$50", "$100"}));
    EXPECT_EQ(budget->currentText(), QStringLiteral("关闭"));

    choose(budget, QStringLiteral("50M tokens"));
    EXPECT_EQ(model->settings().dailyBudget(), DailyBudget::tokens(50'000'000));
    // A budget in dollars reads today's cost at once.
    choose(budget, QStringLiteral("$20"));
    EXPECT_EQ(model->settings().dailyBudget(), DailyBudget::dollars(20));
    ASSERT_TRUE(waitUntil([&] { return tool.runCount("report") == 1; }));
    choose(budget, QStringLiteral("关闭"));
    EXPECT_FALSE(model->settings().dailyBudget());

    // One no choice offers (set elsewhere, or by hand) gets a choice of its own.
    model->settings().setDailyBudget(DailyBudget::tokens(2'500'000));
    view.hide();
    view.show();
    settle();
    EXPECT_EQ(budget->currentText(), QStringLiteral("2.5M tokens"));
    EXPECT_EQ(budget->count(), 10);
}

// Five rows in the fixed window: every row's caption and control lie inside it, none overlap.
TEST_F(BudgetSettingTest, FiveRowsFitTheWindow) {
    SettingsWindow window(*model);
    window.show();
    settle();
    const QRect inside = window.rect();
    QList<QRect> captions;
    for (const QLabel *label : window.findChildren<QLabel *>()) {
        const QRect area(label->mapTo(&window, QPoint(0, 0)), label->size());
        EXPECT_TRUE(inside.contains(area)) << label->text().toStdString();
        EXPECT_GE(label->height(), label->fontMetrics().height()) << label->text().toStdString();
        for (const QRect &other : captions)
            EXPECT_FALSE(area.intersects(other)) << label->text().toStdString();
        captions << area;
    }
    EXPECT_EQ(captions.size(), 5);
    for (const QWidget *control : window.findChildren<QComboBox *>()) {
        const QRect area(control->mapTo(&window, QPoint(0, 0)), control->size());
        EXPECT_TRUE(inside.contains(area)) << control->objectName().toStdString();
    }
}

} // namespace
