// The shell's parts that need no desktop: the limits section of the tray menu (its lines, its
// place under "打开面板", its switch set from the stored setting) and the colour preference
// as the settings portal hands it over.
#include "ModelFixture.h"

#include "app/ColorSchemeFollower.h"
#include "app/LimitsSection.h"

#include <QDBusVariant>
#include <QMenu>

namespace {

class LimitsSectionTest : public ModelTest {
protected:
    // The tool reports one five-hour window of Codex at `used` percent, resetting in an hour,
    // and the same window of each bucket in `buckets` (its name and figure).
    void reportLimits(double used, const QList<std::pair<QString, double>> &buckets = {}) {
        const qint64 reset = QDateTime::currentDateTimeUtc().addSecs(3600).toSecsSinceEpoch();
        const QString window =
            QStringLiteral(R"("provider":"codex","window_minutes":300,)"
                           R"("status":"current","used_percent":%1,"resets_at":%2,)"
                           R"("observed_at":%2,"source":"codex-log","pace":null})");
        QStringList bucketList;
        for (const auto &[name, figure] : buckets)
            bucketList << QStringLiteral(R"({"limit_id":"b%1","limit_name":"%2",)")
                                  .arg(bucketList.size())
                                  .arg(name) +
                              window.arg(figure).arg(reset);
        tool.respond(
            "report-limits",
            {.standardOutput =
                 ("{\"windows\":[{" + window.arg(used).arg(reset) + "]" +
                  (buckets.isEmpty() ? QString() : ",\"buckets\":[" + bucketList.join(u',') + "]") +
                  "}")
                     .toUtf8()});
        refreshAndWait();
    }

    static QStringList texts(const QMenu &menu) {
        QStringList list;
        for (const QAction *action : menu.actions())
            list << (action->isSeparator() ? QStringLiteral("--") : action->text());
        return list;
    }
};

TEST_F(LimitsSectionTest, SitsAboveTheGivenEntryWithItsSwitchFromTheStoredSetting) {
    QMenu menu;
    QAction *open = menu.addAction(QStringLiteral("打开面板"));
    menu.addSeparator();
    QAction *refresh = menu.addAction(QStringLiteral("刷新"));
    (void)open;
    model->settings().setLimitNotifications(false);
    LimitsSection section(*model, menu, refresh);
    EXPECT_EQ(texts(menu), (QStringList{"打开面板", "--", "刷新"})) << "no limits: no section";

    reportLimits(42);
    section.reread();
    const QStringList shown = texts(menu);
    ASSERT_EQ(shown.size(), 6) << shown.join(u'|').toStdString();
    EXPECT_EQ(shown[0], QStringLiteral("打开面板"));
    EXPECT_TRUE(shown[2].startsWith(QStringLiteral("Codex 5 小时：42%"))) << shown[2].toStdString();
    EXPECT_EQ(shown[3], QStringLiteral("额度提醒"));
    EXPECT_EQ(shown[5], QStringLiteral("刷新"));
    QAction *toggle = menu.actions()[3];
    EXPECT_TRUE(toggle->isCheckable());
    EXPECT_FALSE(toggle->isChecked()) << "the stored setting is off";

    // Choosing it stores the change; a change stored elsewhere shows at the next reading.
    toggle->trigger();
    EXPECT_TRUE(model->settings().limitNotifications());
    model->settings().setLimitNotifications(false);
    section.reread();
    EXPECT_FALSE(toggle->isChecked());
    EXPECT_EQ(texts(menu), shown) << "reading again adds nothing";

    // Without a place given, the section goes at the top, as in the fallback window's menu.
    QMenu plain;
    plain.addAction(QStringLiteral("刷新"));
    model->settings().setLimitNotifications(true);
    LimitsSection top(*model, plain);
    ASSERT_EQ(plain.actions().size(), 4);
    EXPECT_TRUE(plain.actions()[0]->text().startsWith(QStringLiteral("Codex 5 小时")));
    EXPECT_TRUE(plain.actions()[1]->isChecked());

    // Each bucket under its own name after the account's window of the same length, which
    // keeps its figure; a '&' in a name is shown, not taken for a shortcut mark.
    reportLimits(42, {{"GPT-5-Codex", 0}, {"R&D", 90}});
    section.reread();
    const QStringList lines = section.lines();
    ASSERT_EQ(lines.size(), 3) << lines.join(u'|').toStdString();
    EXPECT_TRUE(lines[0].startsWith(QStringLiteral("Codex 5 小时：42%"))) << lines[0].toStdString();
    EXPECT_TRUE(lines[1].startsWith(QStringLiteral("Codex · GPT-5-Codex 5 小时：0%")));
    EXPECT_TRUE(lines[2].startsWith(QStringLiteral("Codex · R&D 5 小时：90%")));
    EXPECT_EQ(menu.actions()[4]->text(), QString(lines[2]).replace("&", "&&"));
    EXPECT_EQ(texts(menu).mid(5), shown.mid(3)) << "the switch and the rest follow";
}

TEST(ColorSchemeTest, ThePortalsValueReadsAsAPreference) {
    const struct {
        QVariant value;
        ColorScheme scheme;
    } cases[] = {
        {QVariant(1u), ColorScheme::dark},
        {QVariant(2u), ColorScheme::light},
        {QVariant(0u), ColorScheme::noPreference},
        {QVariant(7u), ColorScheme::noPreference},
        // Read wraps the value once more than SettingChanged does.
        {QVariant::fromValue(QDBusVariant(QVariant::fromValue(QDBusVariant(1u)))),
         ColorScheme::dark},
        {QVariant::fromValue(QDBusVariant(2u)), ColorScheme::light},
        {QVariant(QStringLiteral("dark")), ColorScheme::noPreference},
        {QVariant(), ColorScheme::noPreference},
    };
    for (const auto &c : cases)
        EXPECT_EQ(ColorSchemeFollower::schemeFrom(c.value), c.scheme) << c.value.typeName();
}

} // namespace
