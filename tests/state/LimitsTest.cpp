// Usage limits in the state object: the fourth read of a refresh, the tray's texts, and the
// warnings sent to a notification service on a private session bus.
#include "ModelFixture.h"

#include "cli/DescribedError.h"
#include "state/DesktopNotifier.h"
#include "state/LimitAlerts.h"
#include "state/LimitTexts.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QElapsedTimer>
#include <QProcess>

namespace {

const QDateTime noon(QDate(2026, 12, 6), QTime(12, 0), Qt::UTC);

LimitWindow window(std::optional<double> used, std::optional<qint64> resetsIn,
                   LimitWindow::Status status = LimitWindow::Status::current, qint64 minutes = 300,
                   const QString &source = QStringLiteral("codex-log")) {
    LimitWindow w;
    w.provider = QStringLiteral("codex");
    w.windowMinutes = minutes;
    w.status = status;
    w.usedPercent = used;
    if (resetsIn)
        w.resetsAt = noon.addSecs(*resetsIn);
    w.observedAt = noon.addSecs(-600);
    w.source = source;
    return w;
}

QByteArray limitsJson(double used, qint64 resetsAt, const char *status = "current") {
    return QStringLiteral(R"({"windows":[{"provider":"codex","window_minutes":300,"status":"%1",)"
                          R"("used_percent":%2,"resets_at":%3,"observed_at":1765000000,)"
                          R"("source":"codex-log","pace":null}]})")
        .arg(QLatin1String(status))
        .arg(used)
        .arg(resetsAt)
        .toUtf8();
}

TEST(LimitTexts, LinesReadAgainstTheUtilitysClock) {
    LimitWindow cached =
        window(55, 36 * 3600, LimitWindow::Status::current, 10080, QStringLiteral("claude-cache"));
    cached.provider = QStringLiteral("claude");
    cached.observedAt = noon.addDays(-3);
    LimitWindow paced = window(60, 3 * 3600);
    paced.paceReachedAt = noon.addSecs(5400);
    LimitWindow pacedPastReset = window(60, 3600);
    pacedPastReset.paceReachedAt = noon.addSecs(7200);
    const struct {
        LimitWindow window;
        QString line;
        std::optional<QString> pace;
    } cases[] = {
        {window(42.7, 7800), "Codex 5 小时：42%，2 小时 10 分后重置", {}},
        {window(7.5, 59), "Codex 5 小时：7.5%，不到 1 分后重置", {}},
        {window(100, 600, LimitWindow::Status::reached), "Codex 5 小时：已用完，10 分后重置", {}},
        {window(101, 600), "Codex 5 小时：已用完，10 分后重置", {}},
        {window({}, -60, LimitWindow::Status::reset), "Codex 5 小时：已重置，暂无新数据", {}},
        // Reset since the tool looked: never the old figure.
        {window(90, -1), "Codex 5 小时：已重置，暂无新数据", {}},
        {window(30, {}), "Codex 5 小时：30%", {}},
        {cached, "Claude Code 7 天：55%，1 天 12 小时后重置（3 天前的缓存）", {}},
        {paced, "Codex 5 小时：60%，3 小时后重置",
         QStringLiteral("按当前速度，约 1 小时 30 分后（%1）用完")
             .arg(noon.addSecs(5400).toLocalTime().toString("HH:mm"))},
        {pacedPastReset, "Codex 5 小时：60%，1 小时后重置", {}},
    };
    for (const auto &c : cases) {
        EXPECT_EQ(limitLine(c.window, noon), c.line);
        EXPECT_EQ(paceLine(c.window, noon), c.pace) << c.line.toStdString();
    }
    EXPECT_EQ(highestLimitLine({window(20, 60), window(70, 600, {}, 10080), window(99, -5)}, noon),
              QStringLiteral("Codex 7 天：70%，10 分后重置"));
    EXPECT_FALSE(highestLimitLine({window(99, -5)}, noon));

    // Each unit up to its last second, then the next unit.
    const std::pair<qint64, const char *> remaining[] = {
        {-30, "不到 1 分"}, {59, "不到 1 分"},      {60, "1 分"},
        {3599, "59 分"},    {3600, "1 小时"},       {86399, "23 小时 59 分"},
        {86400, "1 天"},    {90000, "1 天 1 小时"}, {7 * 86400 - 1, "6 天 23 小时"},
    };
    for (const auto &[seconds, text] : remaining)
        EXPECT_EQ(remainingText(seconds), QString::fromUtf8(text)) << seconds;
}

TEST(LimitAlertSteps, EachThresholdOncePerWindowAndReset) {
    LimitAlerts alerts;
    const auto step = [&](LimitWindow w, const QDateTime &at = noon) {
        QList<int> thresholds;
        for (const auto &alert : alerts.update({w}, at))
            thresholds << alert.threshold;
        return thresholds;
    };
    EXPECT_EQ(step(window(82, 3600)), QList<int>({80}));
    EXPECT_EQ(step(window(85, 3602)), QList<int>()); // the same window, its reset drifting
    EXPECT_EQ(step(window(97, 3600)), QList<int>({95}));
    EXPECT_EQ(step(window(100, 3600, LimitWindow::Status::reached)), QList<int>({100}));
    // The next window warns again, and a jump past two steps warns of the higher one only.
    EXPECT_EQ(step(window(96, 3600 + 5 * 3600), noon.addSecs(3601)), QList<int>({95}));
    // Nothing for cached figures, reset windows or windows without a reset time.
    EXPECT_EQ(step(window(99, 7200, {}, 10080, QStringLiteral("claude-cache"))), QList<int>());
    EXPECT_EQ(step(window({}, -1, LimitWindow::Status::reset, 10080)), QList<int>());
    EXPECT_EQ(step(window(99, {}, {}, 10080)), QList<int>());

    LimitAlerts restored;
    restored.restore(alerts.saved() + QStringList{"junk", "codex x 1 80", ""});
    EXPECT_EQ(restored.saved(), alerts.saved());
    EXPECT_TRUE(restored.update({window(99, 3600 + 5 * 3600)}, noon.addSecs(3601)).isEmpty());

    // Read on one line: the window and its share lead the title, the reset is in the body.
    const auto alert = LimitAlerts().update({window(81, 7800)}, noon);
    ASSERT_EQ(alert.size(), 1);
    EXPECT_EQ(alert[0].summary, QStringLiteral("Codex 5 小时 81%"));
    EXPECT_EQ(alert[0].body, QStringLiteral("2 小时 10 分后重置"));
    const auto usedUp =
        LimitAlerts().update({window(100, 90000, LimitWindow::Status::reached, 10080)}, noon);
    ASSERT_EQ(usedUp.size(), 1);
    EXPECT_EQ(usedUp[0].summary, QStringLiteral("Codex 7 天 100%"));
    EXPECT_EQ(usedUp[0].body, QStringLiteral("已用完，1 天 1 小时后重置"));
}

TEST(LimitsDocument, DecodesStrictlyAndIgnoresNewMembers) {
    const auto decoded = LimitsResponse::decode(
        R"({"windows":[{"provider":"claude","window_minutes":10080,"status":"reset","used_percent":null,
            "resets_at":null,"observed_at":5,"source":"claude-cache","pace":{"projected_percent":120,
            "reached_at":9},"future":1}],"version":2})");
    ASSERT_EQ(decoded.windows.size(), 1);
    EXPECT_FALSE(decoded.windows[0].usedPercent);
    EXPECT_EQ(decoded.windows[0].paceReachedAt, QDateTime::fromSecsSinceEpoch(9, Qt::UTC));
    // A week just begun: nothing used and a pace of nothing are figures like any other.
    const auto fresh = LimitsResponse::decode(
        R"({"windows":[{"provider":"codex","window_minutes":10080,"status":"current","used_percent":0,
            "resets_at":0,"observed_at":0,"source":"codex-log","pace":{"projected_percent":0,
            "reached_at":null}}]})");
    ASSERT_EQ(fresh.windows.size(), 1);
    EXPECT_EQ(fresh.windows[0].usedPercent, 0.0);
    EXPECT_EQ(fresh.windows[0].projectedPercent, 0.0);
    EXPECT_TRUE(fresh.skipped.isEmpty());
    for (const char *bad :
         {R"({"windows":{}})", R"({"window":[]})", "[]", "progress\n{\"windows\":[]}"})
        EXPECT_THROW(LimitsResponse::decode(bad), ReportFormatError) << bad;
}

// One window the utility cannot read costs that window only, and says which it was.
TEST(LimitsDocument, ABadWindowIsLeftOutAndNamed) {
    const QByteArray good =
        R"({"provider":"claude","window_minutes":300,"status":"current","used_percent":63,)"
        R"("resets_at":null,"observed_at":1,"source":"claude-statusline","pace":null})";
    const auto codex = [](const char *members) {
        return QByteArray(R"({"provider":"codex","window_minutes":300,"status":"current",)"
                          R"("used_percent":64,"resets_at":null,"observed_at":1,"source":"x",)"
                          R"("pace":null,)") +
               members + "}";
    };
    const std::pair<QByteArray, QString> cases[] = {
        {R"({"provider":"codex"})", "缺少 window_minutes"},
        {codex(R"("used_percent":null)"), "used_percent 为空"},
        {codex(R"("used_percent":-1)"), "used_percent 不是百分比"},
        {codex(R"("status":"odd")"), "未知的状态 odd"},
        {codex(R"("window_minutes":300.5)"), "window_minutes 不是整数"},
        {codex(R"("window_minutes":1e308)"), "window_minutes 不是整数"},
        {codex(R"("window_minutes":0)"), "window_minutes 不是正数"},
        {codex(R"("resets_at":9000000000000000000)"), "resets_at 超出范围"},
        {codex(R"("observed_at":-1)"), "observed_at 超出范围"},
        {codex(R"("pace":[])"), "pace 不是对象"},
        {"3", "不是对象"},
    };
    for (const auto &[bad, problem] : cases) {
        const auto decoded = LimitsResponse::decode("{\"windows\":[" + good + "," + bad + "]}");
        ASSERT_EQ(decoded.windows.size(), 1) << bad.toStdString();
        EXPECT_EQ(decoded.windows[0].usedPercent, 63.0);
        const QString provider = bad == "3" ? QString() : QStringLiteral("codex");
        EXPECT_EQ(decoded.skipped, QList<LimitsResponse::SkippedWindow>({{1, provider, problem}}))
            << bad.toStdString();
    }
    const auto two = LimitsResponse::decode("{\"windows\":[3," + good + "," +
                                            codex(R"("used_percent":"64%")") + "]}");
    EXPECT_EQ(two.windows.size(), 1);
    EXPECT_EQ(two.skippedDescription(),
              QStringLiteral("2 个额度窗口无法解析，已跳过（第 1 个：不是对象；"
                             "第 3 个，codex：used_percent 不是百分比）"));
    EXPECT_FALSE(LimitsResponse::decode("{\"windows\":[" + good + "]}").skippedDescription());
}

class LimitsRefreshTest : public ModelTest {};

TEST_F(LimitsRefreshTest, FourthReadAfterTheFiguresAndItsFailureOnlyMarksTheLimits) {
    respondToday(R"({"rows":[{"day":"2026-12-06","provider":"codex","total_tokens":5}]})");
    tool.respond("report-limits", {.standardOutput = limitsJson(42, 1765100000)});
    refreshAndWait();
    EXPECT_EQ(model->todayTokens(), 5);
    ASSERT_EQ(model->limitWindows().size(), 1);
    EXPECT_EQ(model->limitWindows()[0].usedPercent, 42);
    EXPECT_FALSE(model->limitsError());
    const auto runs = tool.argumentLists();
    ASSERT_EQ(runs.size(), 4);
    EXPECT_EQ(runs.back(), QStringList({"report", "limits", "--json"}));

    // A broken answer: the figures still arrive, the old limits stay, marked.
    respondToday(R"({"rows":[{"day":"2026-12-06","provider":"codex","total_tokens":6}]})");
    tool.respond("report-limits", {.standardOutput = "{\"windows\":"});
    refreshAndWait();
    EXPECT_EQ(model->todayTokens(), 6);
    EXPECT_FALSE(model->lastError());
    EXPECT_EQ(model->limitWindows().size(), 1);
    EXPECT_TRUE(model->limitsError());
    tool.respond("report-limits", {.signal = 9});
    refreshAndWait();
    EXPECT_TRUE(model->limitsError());

    // A tool without the command (a usage error, on either stream) shows none, and nothing is
    // wrong, even when what it prints would decode.
    for (const FakeTool::Response &older :
         {FakeTool::Response{.standardError = "tessel: unknown command 'report limits'\n",
         .exitCode = 2},
          FakeTool::Response{.standardOutput = "usage: tessel <command> [options]\n  collect\n",
          .exitCode = 2},
          FakeTool::Response{.standardOutput = limitsJson(42, 1765100000), .exitCode = 2}}) {
        tool.respond("report-limits", {.standardOutput = limitsJson(42, 1765100000)});
        refreshAndWait();
        ASSERT_EQ(model->limitWindows().size(), 1);
        tool.respond("report-limits", older);
        refreshAndWait();
        EXPECT_TRUE(model->limitWindows().isEmpty());
        EXPECT_FALSE(model->limitsError());
        EXPECT_FALSE(model->lastError());
        EXPECT_EQ(model->todayTokens(), 6);
    }

    // A window it cannot read is left out and named; the others are brought up to date.
    QByteArray oneBad = limitsJson(55, 1765100000);
    oneBad.insert(oneBad.indexOf('[') + 1, R"({"provider":"codex","window_minutes":-300},)");
    tool.respond("report-limits", {.standardOutput = oneBad});
    refreshAndWait();
    ASSERT_EQ(model->limitWindows().size(), 1);
    EXPECT_EQ(model->limitWindows()[0].usedPercent, 55);
    EXPECT_EQ(
        model->limitsError(),
        QStringLiteral("1 个额度窗口无法解析，已跳过（第 1 个，codex：window_minutes 不是正数）"));

    // Collect failing: the figures' error, and the limits are not read at all.
    tool.respond("collect", {.standardError = "broken", .exitCode = 1});
    const qsizetype before = tool.runCount("report");
    refreshAndWait();
    EXPECT_TRUE(model->lastError());
    EXPECT_EQ(tool.runCount("report"), before);
}

// A notification service of our own on a bus of our own, so no desktop sees the test.
class FakeNotifications : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")

public:
    QStringList summaries;

public slots:
    uint Notify(const QString &, uint, const QString &, const QString &summary, const QString &,
                const QStringList &, const QVariantMap &, int) {
        summaries << summary;
        return static_cast<uint>(summaries.size());
    }
};

class LimitNotificationTest : public ModelTest {
protected:
    QProcess bus;
    std::optional<QDBusConnection> service, client;
    FakeNotifications notifications;

    void SetUp() override {
        ModelTest::SetUp();
        bus.start(QStringLiteral("dbus-daemon"),
                  {QStringLiteral("--session"), QStringLiteral("--nofork"),
                   QStringLiteral("--print-address=1")});
        ASSERT_TRUE(bus.waitForStarted()) << "dbus-daemon is not installed";
        ASSERT_TRUE(bus.waitForReadyRead(5000));
        const QString address = QString::fromUtf8(bus.readLine()).trimmed();
        service = QDBusConnection::connectToBus(address, QStringLiteral("limits-service"));
        client = QDBusConnection::connectToBus(address, QStringLiteral("limits-client"));
        ASSERT_TRUE(service->isConnected() && client->isConnected());
        ASSERT_TRUE(service->registerObject(QStringLiteral("/org/freedesktop/Notifications"),
                                            &notifications, QDBusConnection::ExportAllSlots));
        ASSERT_TRUE(service->registerService(QStringLiteral("org.freedesktop.Notifications")));
        model->setNotifier(std::make_shared<DesktopNotifier>(*client));
    }

    void TearDown() override {
        ModelTest::TearDown();
        service.reset();
        client.reset();
        QDBusConnection::disconnectFromBus(QStringLiteral("limits-service"));
        QDBusConnection::disconnectFromBus(QStringLiteral("limits-client"));
        bus.kill();
        bus.waitForFinished();
    }

    // Refreshes with the tool reporting `used` percent and waits for the service to catch up.
    QStringList refreshAt(double used, const char *status = "current") {
        tool.respond("report-limits",
                     {.standardOutput = limitsJson(used, now.toSecsSinceEpoch() + 3600, status)});
        const qsizetype before = notifications.summaries.size();
        refreshAndWait();
        // Delivery crosses the bus: wait for it, or a moment to show that none comes.
        QElapsedTimer waited;
        waited.start();
        while (notifications.summaries.size() == before && waited.elapsed() < 300)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        return notifications.summaries.mid(before);
    }
};

TEST_F(LimitNotificationTest, OncePerThresholdPerWindowThroughTheBus) {
    EXPECT_EQ(refreshAt(50), QStringList());
    EXPECT_EQ(refreshAt(81), QStringList({"Codex 5 小时 81%"}));
    EXPECT_EQ(refreshAt(83), QStringList());
    // Nor after a restart on the same settings.
    makeModel();
    model->setNotifier(std::make_shared<DesktopNotifier>(*client));
    EXPECT_EQ(refreshAt(84), QStringList());
    EXPECT_EQ(refreshAt(95.5), QStringList({"Codex 5 小时 95%"}));
    EXPECT_EQ(refreshAt(100, "reached"), QStringList({"Codex 5 小时 100%"}));
    EXPECT_EQ(refreshAt(100, "reached"), QStringList());

    // Silenced: the next window passes 80% without a word.
    model->settings().setLimitNotifications(false);
    now = now.addSecs(2 * 3600);
    EXPECT_EQ(refreshAt(90), QStringList());
}

} // namespace

#include "LimitsTest.moc"
