// Usage limits in the state object: the fourth read of a refresh, the tray's texts, and the
// warnings sent to a notification service on a private session bus.
#include "ModelFixture.h"

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

LimitWindow inBucket(LimitWindow w) {
    w.bucket = LimitBucket{QStringLiteral("codex_gpt-5-codex"), QStringLiteral("GPT-5-Codex")};
    return w;
}

// The account's five-hour window of Codex, and with `bucketUsed` the same window of a model's
// bucket, both resetting at `resetsAt`.
QByteArray limitsJson(double used, qint64 resetsAt, const char *status = "current",
                      std::optional<double> bucketUsed = {}) {
    const QString window =
        QStringLiteral(R"("provider":"codex","window_minutes":300,"status":"%1",)"
                       R"("used_percent":%2,"resets_at":%3,"observed_at":1765000000,)"
                       R"("source":"codex-log","pace":null})");
    QString json =
        "{\"windows\":[{" + window.arg(QLatin1String(status)).arg(used).arg(resetsAt) + "]";
    if (bucketUsed)
        json += R"(,"buckets":[{"limit_id":"codex_gpt-5-codex","limit_name":"GPT-5-Codex",)" +
                window.arg(QStringLiteral("current")).arg(*bucketUsed).arg(resetsAt) + "]";
    return (json + "}").toUtf8();
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
        // A model's own bucket, never under the account's name.
        {inBucket(window(3, 7800)), "Codex · GPT-5-Codex 5 小时：3%，2 小时 10 分后重置", {}},
        {inBucket(window({}, -60, LimitWindow::Status::reset)),
         "Codex · GPT-5-Codex 5 小时：已重置，暂无新数据",
         {}},
        {inBucket(paced), "Codex · GPT-5-Codex 5 小时：60%，3 小时后重置",
         QStringLiteral("按当前速度，约 1 小时 30 分后（%1）用完")
             .arg(noon.addSecs(5400).toLocalTime().toString("HH:mm"))},
    };
    for (const auto &c : cases) {
        EXPECT_EQ(limitLine(c.window, noon), c.line);
        EXPECT_EQ(paceLine(c.window, noon), c.pace) << c.line.toStdString();
    }
    EXPECT_EQ(highestLimitLine({window(20, 60), window(70, 600, {}, 10080), window(99, -5)}, noon),
              QStringLiteral("Codex 7 天：70%，10 分后重置"));
    EXPECT_FALSE(highestLimitLine({window(99, -5)}, noon));
    // A bucket at the same level leaves the tooltip to the account; one above it takes it, named.
    EXPECT_EQ(highestLimitLine({window(70, 600), inBucket(window(70, 600))}, noon),
              QStringLiteral("Codex 5 小时：70%，10 分后重置"));
    EXPECT_EQ(highestLimitLine({window(70, 600), inBucket(window(90, 600))}, noon),
              QStringLiteral("Codex · GPT-5-Codex 5 小时：90%，10 分后重置"));

    // Each unit up to its last second, then the next unit.
    const std::pair<qint64, const char *> remaining[] = {
        {-30, "不到 1 分"}, {59, "不到 1 分"},      {60, "1 分"},
        {3599, "59 分"},    {3600, "1 小时"},       {86399, "23 小时 59 分"},
        {86400, "1 天"},    {90000, "1 天 1 小时"}, {7 * 86400 - 1, "6 天 23 小时"},
    };
    for (const auto &[seconds, text] : remaining)
        EXPECT_EQ(remainingText(seconds), QString::fromUtf8(text)) << seconds;
}

// Each provider's buckets follow its own windows; those of a provider without any come last.
TEST(LimitTexts, BucketsFollowTheirProvidersWindows) {
    const auto of = [](const char *provider, qint64 minutes, const char *bucket = nullptr) {
        LimitWindow w = window(10, 600, {}, minutes);
        w.provider = QString::fromLatin1(provider);
        if (bucket)
            w.bucket = LimitBucket{QString::fromLatin1(bucket), QString::fromLatin1(bucket)};
        return w;
    };
    const auto names = [](const QList<LimitWindow> &windows) {
        QStringList list;
        for (const LimitWindow &w : windows)
            list << w.provider + (w.bucket ? "/" + w.bucket->id : QString()) + " " +
                        QString::number(w.windowMinutes);
        return list;
    };
    const QList<LimitWindow> account{of("codex", 300), of("codex", 10080), of("claude", 300)};
    const QList<LimitWindow> buckets{of("claude", 10080, "opus"), of("codex", 300, "gpt"),
                                     of("gemini", 1440, "pro"), of("codex", 10080, "gpt")};
    EXPECT_EQ(names(limitsInMenuOrder(account, buckets)),
              QStringList({"codex 300", "codex 10080", "codex/gpt 300", "codex/gpt 10080",
                           "claude 300", "claude/opus 10080", "gemini/pro 1440"}));
    EXPECT_EQ(
        names(limitsInMenuOrder({}, buckets)),
        QStringList({"claude/opus 10080", "codex/gpt 300", "gemini/pro 1440", "codex/gpt 10080"}));
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
    // A model's bucket of the same length and reset is a window of its own, and the account's
    // record stays the account's.
    EXPECT_EQ(step(inBucket(window(83, 3600))), QList<int>({80}));
    EXPECT_EQ(step(inBucket(window(84, 3600))), QList<int>());
    EXPECT_EQ(step(inBucket(window(96, 3600))), QList<int>({95}));
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
    // A bucket's record comes back as the bucket's, not the account's.
    LimitAlerts bucketOnly;
    bucketOnly.update({inBucket(window(81, 3600))}, noon);
    restored.restore(bucketOnly.saved());
    EXPECT_TRUE(restored.update({inBucket(window(82, 3600))}, noon).isEmpty());
    EXPECT_EQ(restored.update({window(82, 3600)}, noon).size(), 1);

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
    const auto bucket = LimitAlerts().update({inBucket(window(81, 7800))}, noon);
    ASSERT_EQ(bucket.size(), 1);
    EXPECT_EQ(bucket[0].summary, QStringLiteral("Codex · GPT-5-Codex 5 小时 81%"));
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

    // A model's bucket at 0% beside the account's 64%: both shown, the account's first and
    // unchanged; a bucket that cannot be read is left out and named.
    QByteArray withBuckets = limitsJson(64, 1765100000, "current", 0);
    withBuckets.insert(withBuckets.indexOf("\"buckets\":[") + 11,
                       R"({"limit_id":"opus","limit_name":"Opus","provider":"claude"},)");
    tool.respond("report-limits", {.standardOutput = withBuckets});
    refreshAndWait();
    const QList<LimitWindow> shown = model->limitWindows();
    ASSERT_EQ(shown.size(), 2);
    EXPECT_FALSE(shown[0].bucket);
    EXPECT_EQ(shown[0].usedPercent, 64);
    EXPECT_EQ(shown[1].bucket->name, QStringLiteral("GPT-5-Codex"));
    EXPECT_EQ(shown[1].usedPercent, 0);
    EXPECT_EQ(model->limitsError(),
              QStringLiteral("1 个额度窗口无法解析，已跳过（buckets 第 1 个，claude · Opus：缺少 "
                             "window_minutes）"));

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

    // Refreshes with the tool reporting `used` percent (and `bucketUsed` for a model's bucket)
    // and waits for the service to catch up.
    QStringList refreshAt(double used, const char *status = "current",
                          std::optional<double> bucketUsed = {}) {
        tool.respond("report-limits",
                     {.standardOutput =
                          limitsJson(used, now.toSecsSinceEpoch() + 3600, status, bucketUsed)});
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
    // A model's bucket warns once, under its own name, whatever the account's window did.
    EXPECT_EQ(refreshAt(100, "reached", 82), QStringList({"Codex · GPT-5-Codex 5 小时 82%"}));
    EXPECT_EQ(refreshAt(100, "reached", 83), QStringList());

    // Silenced: the next window passes 80% without a word.
    model->settings().setLimitNotifications(false);
    now = now.addSecs(2 * 3600);
    EXPECT_EQ(refreshAt(90), QStringList());
}

} // namespace

#include "LimitsTest.moc"
