#include "cli/ReportFormats.h"

#include "cli/JsonDecoding.h"

namespace {

using json::KeyMatching;

QString rowLocation(qsizetype index) {
    return QStringLiteral("rows[%1]").arg(index);
}

QString memberLocation(const QString &row, const QString &name) {
    return row + QStringLiteral(".") + name;
}

} // namespace

QString TodayReportRow::providerDisplayName() const {
    if (provider == u"codex")
        return QStringLiteral("Codex");
    if (provider == u"claude")
        return QStringLiteral("Claude Code");
    if (provider == u"opencode")
        return QStringLiteral("OpenCode");
    return provider;
}

TodayReportResponse TodayReportResponse::decode(const QByteArray &bytes) {
    constexpr auto matching = KeyMatching::fromSnakeCase;
    const QJsonObject document = json::parseObject(bytes);
    const QJsonArray rows = json::toArray(
        json::member(document, QStringLiteral("rows"), matching, {}), QStringLiteral("rows"));

    TodayReportResponse response;
    response.rows.reserve(rows.size());
    for (qsizetype i = 0; i < rows.size(); ++i) {
        const QString where = rowLocation(i);
        const QJsonObject row = json::toObject(rows[i], where);
        const auto field = [&](const QString &name) {
            return json::member(row, name, matching, where);
        };
        const auto at = [&](const QString &name) { return memberLocation(where, name); };
        response.rows.append(TodayReportRow{
            json::toString(field(QStringLiteral("day")), at(QStringLiteral("day"))),
            json::toString(field(QStringLiteral("provider")), at(QStringLiteral("provider"))),
            json::toInt64(field(QStringLiteral("totalTokens")), at(QStringLiteral("totalTokens"))),
        });
    }
    return response;
}

UsageReport UsageReport::decode(const QByteArray &bytes) {
    constexpr auto matching = KeyMatching::exact;
    const QJsonObject document = json::parseObject(bytes);
    const QJsonArray rows = json::toArray(
        json::member(document, QStringLiteral("rows"), matching, {}), QStringLiteral("rows"));

    UsageReport report;
    report.rows.reserve(rows.size());
    for (qsizetype i = 0; i < rows.size(); ++i) {
        const QString where = rowLocation(i);
        const QJsonObject row = json::toObject(rows[i], where);
        const auto field = [&](const QString &name) {
            return json::member(row, name, matching, where);
        };
        const auto at = [&](const QString &name) { return memberLocation(where, name); };

        Row decoded;
        decoded.day = json::toString(field(QStringLiteral("day")), at(QStringLiteral("day")));
        decoded.totalTokens = json::toInt64(field(QStringLiteral("total_tokens")),
                                            at(QStringLiteral("total_tokens")));
        const QString providersAt = at(QStringLiteral("providers"));
        const QJsonObject providers =
            json::toObject(field(QStringLiteral("providers")), providersAt);
        for (auto it = providers.constBegin(); it != providers.constEnd(); ++it)
            decoded.providers.insert(
                it.key(), json::toInt64(it.value(), memberLocation(providersAt, it.key())));
        report.rows.append(std::move(decoded));
    }
    return report;
}
