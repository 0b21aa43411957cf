#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QString>

#include <optional>

// A limit bucket of its own beside the account's limits, such as a model's
// ("codex_gpt-5-codex", "GPT-5-Codex"): its windows are shown only under its name.
struct LimitBucket {
    QString id;   // letters, digits, '-', '_', '.' and ':'
    QString name; // for display, without control characters

    friend bool operator==(const LimitBucket &, const LimitBucket &) = default;
};

// `tessel report limits --json`: the latest known figure of each usage window (for example
// Codex's 5-hour window) that the tool found in local data.
struct LimitWindow {
    enum class Status { current, reached, reset };

    QString provider; // "codex", "claude"
    // Set for a window of another bucket; absent for the account's own limits.
    std::optional<LimitBucket> bucket;
    qint64 windowMinutes = 0;
    Status status = Status::current;
    // Absent once the window has reset with no newer figure.
    std::optional<double> usedPercent;
    std::optional<QDateTime> resetsAt;
    QDateTime observedAt;
    QString source; // where it was read, such as "codex-log" or "claude-cache"
    // The use the pace leads to by the reset, and when it passes 100% before then.
    std::optional<double> projectedPercent;
    std::optional<QDateTime> paceReachedAt;

    // A figure Claude Code cached, possibly days old: shown with its age.
    bool isCachedFigure() const { return source == QLatin1String("claude-cache"); }

    friend bool operator==(const LimitWindow &, const LimitWindow &) = default;
};

struct LimitsResponse {
    // A window of the document that could not be decoded and was left out.
    struct SkippedWindow {
        qsizetype index = 0; // its place in "windows" (or "buckets"), from 0
        QString provider;    // as written, or empty when that is what is wrong
        QString problem;     // which member is wrong and how
        bool inBuckets = false;
        QString bucketName; // a bucket's limit_name (else limit_id) as written, when plain

        friend bool operator==(const SkippedWindow &, const SkippedWindow &) = default;
    };

    QList<LimitWindow> windows; // the account's own limits
    QList<LimitWindow> buckets; // other buckets' windows, each with its bucket
    QList<SkippedWindow> skipped;

    // One bad window is left out (and listed in `skipped`) rather than costing every other
    // window; anything else than a JSON object with a "windows" array, or a "buckets" member
    // that is not an array, throws ReportFormatError. No "buckets" is no buckets (an older
    // tool). Unknown members are ignored, so a newer tool may add some.
    static LimitsResponse decode(const QByteArray &json);
    // "1 个额度窗口无法解析，已跳过（第 2 个，codex：used_percent 不是百分比）", or nothing
    // when no window was skipped. A bucket's window is placed in "buckets" and named by its
    // bucket: "buckets 第 1 个，codex · GPT-5-Codex：…".
    std::optional<QString> skippedDescription() const;
};
