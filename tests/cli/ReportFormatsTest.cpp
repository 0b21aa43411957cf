// Decoding the two documents: what must fail the whole document and what must still decode.
#include "cli/ReportFormats.h"
#include "cli/DescribedError.h"
#include "cli/JsonDecoding.h"

#include <gtest/gtest.h>

#include <functional>

namespace {

QByteArray withRows(const QByteArray &rows) {
    return "{\"rows\":[" + rows + "]}";
}

TEST(TodayReportDecoding, AcceptsBothSpellingsExtraMembersAndEmptyRows) {
    EXPECT_TRUE(TodayReportResponse::decode(R"({"rows":[]})").rows.isEmpty());

    const auto response = TodayReportResponse::decode(
        R"({"version":2,"rows":[{"day":"a","provider":"codex","total_tokens":1,"note":null},
                                 {"day":"b","provider":"claude","totalTokens":0,"x":{"y":[]}}]})");
    ASSERT_EQ(response.rows.size(), 2);
    EXPECT_EQ(response.rows[0].day, QStringLiteral("a"));
    EXPECT_EQ(response.rows[0].totalTokens, 1);
    EXPECT_EQ(response.rows[1].provider, QStringLiteral("claude"));
    EXPECT_EQ(response.rows[1].totalTokens, 0);
}

TEST(TodayReportDecoding, OneBadRowFailsTheWholeReport) {
    const QByteArray good = R"({"day":"d","provider":"p","total_tokens":1},)";
    for (const char *bad :
         {R"({"day":"d","total_tokens":1})", R"({"day":"d","provider":"p","total_tokens":"1"})",
          R"({"day":"d","provider":"p","total_tokens":null})",
          R"({"day":"d","provider":"p","total_tokens":1.5})",
          R"({"day":"d","provider":"p","total_tokens":9223372036854775808})",
          // A count below zero would show as a negative figure.
          R"({"day":"d","provider":"p","total_tokens":-1})",
          R"({"day":null,"provider":"p","total_tokens":1})",
          R"({"day":"d","provider":7,"total_tokens":1})", "[]", "3"})
        EXPECT_THROW(TodayReportResponse::decode(withRows(good + bad)), ReportFormatError) << bad;
    for (const char *document : {"{}", "[]", R"({"rows":null})", "not json"})
        EXPECT_THROW(TodayReportResponse::decode(document), ReportFormatError) << document;
}

TEST(TodayReportDecoding, MemberNamesAreConvertedFromSnakeCaseAtEveryLevel) {
    const auto response =
        TodayReportResponse::decode(R"({"rows":[{"day":"d","provider":"p","TOTAL_TOKENS":7}]})");
    EXPECT_EQ(response.rows[0].totalTokens, 7);
    // "Total_Tokens" converts to "totalTokens" too, but "TotalTokens" stays as it is.
    EXPECT_THROW(
        TodayReportResponse::decode(R"({"rows":[{"day":"d","provider":"p","TotalTokens":7}]})"),
        ReportFormatError);
    EXPECT_THROW(TodayReportResponse::decode(R"({"Rows":[]})"), ReportFormatError);
}

TEST(SnakeCaseConversion, FollowsTheDecoderRules) {
    using json::convertFromSnakeCase;
    EXPECT_EQ(convertFromSnakeCase("total_tokens"), QStringLiteral("totalTokens"));
    EXPECT_EQ(convertFromSnakeCase("totalTokens"), QStringLiteral("totalTokens"));
    EXPECT_EQ(convertFromSnakeCase("_total_tokens__"), QStringLiteral("_totalTokens__"));
    EXPECT_EQ(convertFromSnakeCase("a__b"), QStringLiteral("aB"));
    EXPECT_EQ(convertFromSnakeCase("ALL_CAPS_NAME"), QStringLiteral("allCapsName"));
    EXPECT_EQ(convertFromSnakeCase("___"), QStringLiteral("___"));
    EXPECT_EQ(convertFromSnakeCase(""), QString());
    EXPECT_EQ(convertFromSnakeCase("_day"), QStringLiteral("_day"));
}

TEST(UsageReportDecoding, DecodesExactNamesInDocumentOrder) {
    const auto report = UsageReport::decode(
        R"({"rows":[{"day":"2026-12-06","total_tokens":9223372036854775807,
                     "providers":{"opencode":9223372036854775807,"codex":0}},
                    {"day":"2026-12-01","total_tokens":1,"providers":{},"extra":[1,2]}],
            "generated":"now"})");
    ASSERT_EQ(report.rows.size(), 2);
    EXPECT_EQ(report.rows[0].day, QStringLiteral("2026-12-06"));
    EXPECT_EQ(report.rows[0].totalTokens, std::numeric_limits<qint64>::max());
    EXPECT_EQ(report.rows[0].providers.value("opencode"), std::numeric_limits<qint64>::max());
    EXPECT_EQ(report.rows[1].day, QStringLiteral("2026-12-01"));
    EXPECT_TRUE(report.rows[1].providers.isEmpty());
}

TEST(UsageReportDecoding, OneBadRowFailsTheWholeFile) {
    const QByteArray good = R"({"day":"d","total_tokens":1,"providers":{}},)";
    for (const char *bad :
         {R"({"day":"d","total_tokens":1})", R"({"day":"d","totalTokens":1,"providers":{}})",
          R"({"day":"d","total_tokens":1,"providers":{"codex":"3"}})",
          R"({"day":"d","total_tokens":1,"providers":{"codex":2.5}})",
          R"({"day":"d","total_tokens":1,"providers":{"codex":null}})",
          R"({"day":"d","total_tokens":1,"providers":[]})",
          R"({"day":"d","total_tokens":-1e30,"providers":{}})",
          R"({"day":"d","total_tokens":-1,"providers":{}})",
          R"({"day":"d","total_tokens":1,"providers":{"codex":-999999999954715}})",
          R"({"day":5,"total_tokens":1,"providers":{}})"})
        EXPECT_THROW(UsageReport::decode(withRows(good + bad)), ReportFormatError) << bad;
}

TEST(UsageReportDecoding, DecimalNotationStopsBelowTwoToThe63) {
    const auto decoded = [](const char *number) {
        return UsageReport::decode(withRows(R"({"day":"d","providers":{},"total_tokens":)" +
                                            QByteArray(number) + "}"))
            .rows[0]
            .totalTokens;
    };
    EXPECT_EQ(decoded("9.223372036854774784e18"), 9223372036854774784);
    EXPECT_EQ(decoded("0e5"), 0);
    EXPECT_THROW(decoded("9.223372036854775808e18"), ReportFormatError);
}

// A document far larger than any the tool writes is refused rather than held in memory.
TEST(UsageReportDecoding, RowsAndProviderFiguresAreBounded) {
    const auto repeated = [](int count, const QByteArray &item) {
        QByteArray text;
        for (int i = 0; i < count; ++i)
            text += (i ? "," : "") + item;
        return text;
    };
    const auto problem = [](const std::function<void()> &decode) {
        try {
            decode();
        } catch (const ReportFormatError &error) {
            return error.description();
        }
        return QString();
    };
    const QByteArray day = R"({"day":"d","total_tokens":1,"providers":{"codex":1}})";
    EXPECT_EQ(UsageReport::decode(withRows(repeated(100'000, day))).rows.size(), 100'000);
    EXPECT_EQ(problem([&] { UsageReport::decode(withRows(repeated(100'001, day))); }),
              QStringLiteral("rows 多于 100000 行"));
    const QByteArray today = R"({"day":"d","provider":"p","total_tokens":1})";
    EXPECT_EQ(problem([&] { TodayReportResponse::decode(withRows(repeated(100'001, today))); }),
              QStringLiteral("rows 多于 100000 行"));
    QByteArray providers;
    for (int i = 0; i <= 1'000'000; ++i)
        providers += (i ? ",\"" : "\"") + QByteArray::number(i) + "\":0";
    EXPECT_EQ(problem([&] {
                  UsageReport::decode(
                      withRows(R"({"day":"d","total_tokens":0,"providers":{)" + providers + "}}"));
              }),
              QStringLiteral("providers 合计多于 1000000 项"));
}

// Rows taken over from an earlier decoding must be exactly the rows decoding afresh gives,
// whatever changed in between.
TEST(UsageReportDecoding, AnEarlierDecodingChangesNothingButTheWork) {
    const auto rowsOf = [](const UsageReport &report) {
        QStringList rows;
        for (const UsageReport::Row &row : report.rows) {
            QString text = row.day + u' ' + QString::number(row.totalTokens);
            for (auto it = row.providers.cbegin(); it != row.providers.cend(); ++it)
                text += u' ' + it.key() + u'=' + QString::number(it.value());
            rows << text;
        }
        return rows;
    };
    const QByteArray day1 = R"({"day":"2026-12-01","total_tokens":3,"providers":{"a":1,"b":2}})";
    const QByteArray day2 = R"({"day":"2026-12-02","total_tokens":5,"providers":{"ä":5}})";
    const UsageReport earlier = UsageReport::decode(withRows(day1 + "," + day2));
    for (const QByteArray &rows : {
             day1 + "," + day2,
             day1 + R"(,{"day":"2026-12-02","total_tokens":6,"providers":{"ä":6}})",
             day1 + R"(,{"day":"2026-12-02","total_tokens":5,"providers":{"ä":4}})",
             day1 + R"(,{"day":"2026-12-02","total_tokens":5,"providers":{"ö":5}})",
             day1 + R"(,{"day":"2026-12-02","total_tokens":5,"providers":{"aa":5}})",
             day1 + R"(,{"day":"2026-12-03","total_tokens":5,"providers":{"ä":5}})",
             day1 + R"(,{"day":"2026-12-02","total_tokens":5,"providers":{"ä":5,"b":0}})",
             day2 + "," + day1,
             day1,
             day1 + "," + day2 + "," + day2,
             // Keys out of order, or twice: the kept row has them once and sorted.
             QByteArray(R"({"day":"2026-12-01","total_tokens":3,"providers":{"b":2,"a":1}})"),
             QByteArray(R"({"day":"2026-12-01","total_tokens":3,"providers":{"a":1,"a":1}})"),
             QByteArray(R"({"day":"2026-12-01","total_tokens":3,"providers":{"a":0,"b":2,"a":1}})"),
         })
        EXPECT_EQ(rowsOf(UsageReport::decode(withRows(rows), earlier)),
                  rowsOf(UsageReport::decode(withRows(rows))))
            << rows.toStdString();
    // Checked as strictly as ever: a bad figure in a row that otherwise reads as before.
    EXPECT_THROW(
        UsageReport::decode(
            withRows(R"({"day":"2026-12-01","total_tokens":3,"providers":{"a":1,"b":-2}})"),
            earlier),
        ReportFormatError);
}

TEST(UsageReportDecoding, ErrorNamesTheOffendingMember) {
    try {
        UsageReport::decode(withRows(R"({"day":"d","total_tokens":1,"providers":{}},
                                         {"day":"d","total_tokens":1,"providers":{"codex":0.5}})"));
        FAIL() << "decoded a fractional token count";
    } catch (const ReportFormatError &error) {
        EXPECT_TRUE(error.description().contains(QStringLiteral("rows[1].providers.codex")))
            << error.what();
    }
}

} // namespace
