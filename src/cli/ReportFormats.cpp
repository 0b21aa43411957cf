#include "cli/ReportFormats.h"

#include "cli/JsonDecoding.h"

#include <string_view>
#include <utility>
#include <vector>

namespace {

using json::KeyMatching;
using json::Location;
using namespace Qt::Literals::StringLiterals;

// Provider ids repeat on every row; handing out one shared QString per id saves an allocation
// for each of them.
class ProviderNames {
public:
    QString operator()(std::string_view id) {
        for (const auto &[known, name] : m_names)
            if (known == id)
                return name;
        QString name = QString::fromUtf8(id.data(), static_cast<qsizetype>(id.size()));
        if (m_names.size() < 16)
            m_names.emplace_back(id, name);
        return name;
    }

private:
    std::vector<std::pair<std::string_view, QString>> m_names;
};

json::Array rowsOf(const json::Document &document, KeyMatching matching) {
    const Location where{-1, "rows"_L1};
    return json::toArray(json::member(document.root(), "rows"_L1, matching, where), where);
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
    const json::Document document(bytes);

    TodayReportResponse response;
    qsizetype index = 0;
    for (const json::Element element : rowsOf(document, matching)) {
        const Location where{index++};
        const json::Object row = json::toObject(element, where);
        const auto field = [&](QLatin1StringView name) {
            return json::member(row, name, matching, where);
        };
        TodayReportRow decoded;
        decoded.day = json::toString(field("day"_L1), where.at("day"_L1));
        decoded.provider = json::toString(field("provider"_L1), where.at("provider"_L1));
        decoded.totalTokens = json::toInt64(field("totalTokens"_L1), where.at("totalTokens"_L1));
        response.rows.append(std::move(decoded));
    }
    return response;
}

UsageReport UsageReport::decode(const QByteArray &bytes) {
    constexpr auto matching = KeyMatching::exact;
    const json::Document document(bytes);
    const json::Array rows = rowsOf(document, matching);

    UsageReport report;
    report.rows.reserve(static_cast<qsizetype>(rows.size()));
    ProviderNames providerName;
    qsizetype index = 0;
    for (const json::Element element : rows) {
        const Location where{index++};
        const json::Object row = json::toObject(element, where);
        const auto field = [&](QLatin1StringView name) {
            return json::member(row, name, matching, where);
        };
        Row decoded;
        decoded.day = json::toString(field("day"_L1), where.at("day"_L1));
        decoded.totalTokens = json::toInt64(field("total_tokens"_L1), where.at("total_tokens"_L1));
        const Location providersAt = where.at("providers"_L1);
        for (const auto provider : json::toObject(field("providers"_L1), providersAt))
            decoded.providers.insert(providerName(provider.key),
                                     json::toInt64(provider.value, providersAt.at(provider.key)));
        report.rows.append(std::move(decoded));
    }
    return report;
}
