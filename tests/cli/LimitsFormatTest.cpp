// Decoding the limits document: what fails it whole, and which windows are left out and named.
#include "cli/LimitsFormat.h"

#include "cli/DescribedError.h"

#include <QRegularExpression>

#include <gtest/gtest.h>

namespace {

const QByteArray gptBucket = R"("limit_id":"codex_gpt-5-codex","limit_name":"GPT-5-Codex",)";

TEST(LimitsDocument, DecodesStrictlyAndIgnoresNewMembers) {
    const auto decoded = LimitsResponse::decode(
        R"({"windows":[{"provider":"claude","window_minutes":10080,"status":"reset","used_percent":null,
            "resets_at":null,"observed_at":5,"source":"claude-cache","pace":{"projected_percent":120,
            "reached_at":9},"future":1}],"version":2})");
    ASSERT_EQ(decoded.windows.size(), 1);
    EXPECT_FALSE(decoded.windows[0].usedPercent);
    EXPECT_FALSE(decoded.windows[0].bucket);
    EXPECT_TRUE(decoded.buckets.isEmpty()) << "an older tool: no buckets";
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

    // A model's bucket of the same length stays apart from the account's window.
    const auto both = LimitsResponse::decode(
        R"({"windows":[{"provider":"codex","window_minutes":300,"status":"current","used_percent":64,
            "resets_at":null,"observed_at":1,"source":"codex-log","pace":null}],
            "buckets":[{)" +
        gptBucket + R"("provider":"codex","window_minutes":300,"status":"current",
            "used_percent":0,"resets_at":null,"observed_at":2,"source":"codex-log","pace":null}]})");
    ASSERT_EQ(both.windows.size(), 1);
    ASSERT_EQ(both.buckets.size(), 1);
    EXPECT_EQ(both.windows[0].usedPercent, 64.0);
    EXPECT_FALSE(both.windows[0].bucket);
    EXPECT_EQ(both.buckets[0].usedPercent, 0.0);
    EXPECT_EQ(both.buckets[0].bucket,
              (LimitBucket{QStringLiteral("codex_gpt-5-codex"), QStringLiteral("GPT-5-Codex")}));
    EXPECT_TRUE(LimitsResponse::decode(R"({"windows":[],"buckets":[]})").buckets.isEmpty());

    for (const char *bad :
         {R"({"windows":{}})", R"({"window":[]})", "[]", "progress\n{\"windows\":[]}",
          R"({"windows":[],"buckets":{}})", R"({"windows":[],"buckets":null})"})
        EXPECT_THROW(LimitsResponse::decode(bad), ReportFormatError) << bad;
}

// One window the utility cannot read costs that window only, and says which it was; the same
// for a bucket's window, named by its bucket.
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
        const QString provider = bad == "3" ? QString() : QStringLiteral("codex");
        const auto decoded = LimitsResponse::decode("{\"windows\":[" + good + "," + bad + "]}");
        ASSERT_EQ(decoded.windows.size(), 1) << bad.toStdString();
        EXPECT_EQ(decoded.windows[0].usedPercent, 63.0);
        EXPECT_EQ(decoded.skipped,
                  QList<LimitsResponse::SkippedWindow>({{1, provider, problem, false, {}}}))
            << bad.toStdString();

        // The same fault in a bucket's window; the account's windows and the other buckets
        // come through.
        const QByteArray inBucket = bad == "3" ? bad : "{" + gptBucket + bad.mid(1);
        const auto bucket = LimitsResponse::decode("{\"windows\":[" + good + "],\"buckets\":[{" +
                                                   gptBucket + good.mid(1) + "," + inBucket + "]}");
        EXPECT_EQ(bucket.windows.size(), 1);
        EXPECT_EQ(bucket.buckets.size(), 1) << inBucket.toStdString();
        EXPECT_EQ(bucket.skipped,
                  QList<LimitsResponse::SkippedWindow>(
                      {{1, provider, problem, true, bad == "3" ? QString() : "GPT-5-Codex"}}))
            << inBucket.toStdString();
    }

    // What a bucket must be: an id fit for the record of warnings, a name fit for one line.
    const QByteArray longText(65, 'a');
    const std::tuple<QByteArray, QString, QString> bucketCases[] = {
        {codex(R"("source":"x")"), "缺少 limit_id", ""},
        {codex(R"("limit_id":"opus")"), "缺少 limit_name", "opus"},
        {"{" + gptBucket + codex(R"("limit_id":"gpt 5")").mid(1), "limit_id 不是单纯的名称",
         "GPT-5-Codex"},
        {"{" + gptBucket + codex(R"("limit_id":7)").mid(1), "limit_id 不是单纯的名称",
         "GPT-5-Codex"},
        {"{" + gptBucket + codex("\"limit_id\":\"" + longText + "\"").mid(1),
         "limit_id 不是单纯的名称", "GPT-5-Codex"},
        {"{" + gptBucket + codex(R"("limit_name":"GPT\n5")").mid(1), "limit_name 不是单纯的名称",
         "codex_gpt-5-codex"},
        {"{" + gptBucket + codex(R"("limit_name":"")").mid(1), "limit_name 不是单纯的名称",
         "codex_gpt-5-codex"},
        {"{" + gptBucket + codex("\"limit_name\":\"" + longText + "\"").mid(1),
         "limit_name 不是单纯的名称", "codex_gpt-5-codex"},
    };
    for (const auto &[bad, problem, name] : bucketCases) {
        const auto decoded =
            LimitsResponse::decode("{\"windows\":[" + good + "],\"buckets\":[" + bad + "]}");
        EXPECT_EQ(decoded.windows.size(), 1);
        EXPECT_TRUE(decoded.buckets.isEmpty()) << bad.toStdString();
        EXPECT_EQ(decoded.skipped, QList<LimitsResponse::SkippedWindow>(
                                       {{0, QStringLiteral("codex"), problem, true, name}}))
            << bad.toStdString();
    }

    const auto two = LimitsResponse::decode("{\"windows\":[3," + good + "," +
                                            codex(R"("used_percent":"64%")") + "],\"buckets\":[" +
                                            "{" + gptBucket + codex(R"("pace":1)").mid(1) + "]}");
    EXPECT_EQ(two.windows.size(), 1);
    EXPECT_EQ(two.skippedDescription(),
              QStringLiteral("3 个额度窗口无法解析，已跳过（第 1 个：不是对象；"
                             "第 3 个，codex：used_percent 不是百分比；"
                             "buckets 第 1 个，codex · GPT-5-Codex：pace 不是对象）"));
    EXPECT_FALSE(LimitsResponse::decode("{\"windows\":[" + good + "]}").skippedDescription());
    // Whatever the tool wrote, the description stays one line of the menu.
    for (const QByteArray &broken :
         {QByteArray(R"({"provider":"co\ndex"})"), codex(R"("status":"cu\nt\u2028")")}) {
        const auto skipped = LimitsResponse::decode("{\"windows\":[" + broken + "]}");
        ASSERT_TRUE(skipped.skippedDescription()) << broken.toStdString();
        EXPECT_FALSE(skipped.skippedDescription()->contains(QRegularExpression("[\\n\\x{2028}]")))
            << skipped.skippedDescription()->toStdString();
    }
}

} // namespace
