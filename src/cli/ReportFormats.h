#pragma once

#include <QByteArray>
#include <QList>
#include <QMap>
#include <QString>

// The two documents of the tessel tool. Every member is required, members not named here
// are ignored, token counts are exact signed 64-bit integers and rows keep document order.
// `decode` throws ReportFormatError on any failure and never yields a partial result.

// One provider's total in today's report.
struct TodayReportRow {
    QString day;
    QString provider;
    qint64 totalTokens;

    // "Codex", "Claude Code" or "OpenCode" for the known ids; any other id unchanged.
    QString providerDisplayName() const;
};

// `tessel report today --json`. Member names are matched after conversion from snake case,
// so a row may write "total_tokens" or "totalTokens".
struct TodayReportResponse {
    QList<TodayReportRow> rows;

    static TodayReportResponse decode(const QByteArray &json);
};

// docs/usage.json: one row per day. Member names must match exactly ("total_tokens").
struct UsageReport {
    struct Row {
        QString day;
        qint64 totalTokens;
        QMap<QString, qint64> providers;
    };
    QList<Row> rows;

    static UsageReport decode(const QByteArray &json);
    // The same, taking each row that reads exactly as the row at its place in `previous` (an
    // earlier decoding of the same file) from there instead of building it again: the tool
    // rewrites the whole file when a day changes, and the rows that did not change are
    // nearly all of it.
    static UsageReport decode(const QByteArray &json, const UsageReport &previous);
};
