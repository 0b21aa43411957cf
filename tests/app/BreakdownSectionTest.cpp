// "今日明细" in the tray menu: read as the menu opens, placed under "打开面板", absent for a
// tool without the report.
#include "ModelFixture.h"

#include "app/BreakdownSection.h"

#include <QMenu>

namespace {

class BreakdownSectionTest : public ModelTest {};

QByteArray reportJson(const char *today) {
    return QStringLiteral(
               R"({"to":"%1","total":{"tokens":5000,"cost_nanodollars":40000000,)"
               R"("unpriced_tokens":0},"unpriced_models":[],"days":[{"day":"%1","tokens":5000,)"
               R"("cost_nanodollars":40000000,"unpriced_tokens":0,"groups":{"tool":[{"name":"codex",)"
               R"("label":"Codex","tokens":5000,"cost_nanodollars":40000000,"unpriced_tokens":0}],)"
               R"("model":[{"name":"gpt-5","label":"gpt-5","tokens":5000,"cost_nanodollars":40000000,)"
               R"("unpriced_tokens":0}]}}]})")
        .arg(QLatin1String(today))
        .toUtf8();
}

TEST_F(BreakdownSectionTest, ReadAtTheStartAndAsTheMenuOpensShownUnderOpenPanel) {
    QMenu menu;
    QAction *open = menu.addAction(QStringLiteral("打开面板"));
    QAction *separator = menu.addSeparator();
    menu.addAction(QStringLiteral("立即同步"));
    // Read once at the start: here the tool has nothing to say yet.
    const BreakdownSection section(*model, menu, separator);
    ASSERT_TRUE(waitUntil([&] { return tool.runCount("report") == 1; }));
    idle(50ms);
    EXPECT_EQ(menu.actions().size(), 3) << "nothing to show before a reading";

    tool.respond("report-week", {.standardOutput = reportJson("2026-12-06")});
    emit menu.aboutToShow();
    ASSERT_TRUE(waitUntil([&] { return menu.actions().size() == 4; }));
    settle();
    EXPECT_EQ(menu.actions()[0], open);
    EXPECT_EQ(menu.actions()[1], section.submenu()->menuAction());
    EXPECT_EQ(menu.actions()[1]->text(), QStringLiteral("今日明细"));
    EXPECT_EQ(section.texts(),
              (QStringList{"按工具", "Codex：5.0K · $0.04", "--", "按模型", "gpt-5：5.0K · $0.04",
                           "--", "本周合计：5.0K · $0.04", "按 API 价格估算"}));
    // Captions are greyed, figures are not.
    EXPECT_FALSE(section.submenu()->actions()[0]->isEnabled());
    EXPECT_TRUE(section.submenu()->actions()[1]->isEnabled());
    EXPECT_EQ(tool.runCount("report"), 2);

    // Each opening reads again; one while a reading is under way reads once more after it.
    tool.respond("report-week",
                 {.standardOutput = QByteArray(reportJson("2026-12-06")).replace("5000", "7000"),
                  .delay = 0.2});
    emit menu.aboutToShow();
    emit menu.aboutToShow();
    ASSERT_TRUE(waitUntil([&] { return tool.runCount("report") == 4; }));
    ASSERT_TRUE(waitUntil([&] { return section.texts().contains("Codex：7.0K · $0.04"); }));
}

TEST_F(BreakdownSectionTest, AToolWithoutTheReportShowsNothing) {
    QMenu menu;
    QAction *separator = menu.addSeparator();
    tool.respond("report-week", {.standardError = "usage: tessel ...", .exitCode = 2});
    const BreakdownSection section(*model, menu, separator);
    ASSERT_TRUE(waitUntil([&] { return tool.runCount("report") == 1; }));
    emit menu.aboutToShow();
    ASSERT_TRUE(waitUntil([&] { return tool.runCount("report") == 2; }));
    idle(50ms);
    EXPECT_EQ(menu.actions().size(), 1);
}

} // namespace
