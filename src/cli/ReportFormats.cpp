#include "cli/ReportFormats.h"

#include "cli/DescribedError.h"
#include "cli/JsonDecoding.h"

#include <string_view>
#include <utility>
#include <vector>

namespace {

using json::KeyMatching;
using json::Location;
using namespace Qt::Literals::StringLiterals;

// Bounds on what a document may hold, far past any real one: a row for every day of more than
// 270 years, ten providers on each. A document beyond them is refused before it costs seconds
// and hundreds of megabytes.
constexpr qsizetype maxRows = 100'000;
constexpr qsizetype maxProviderFigures = 10 * maxRows;

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

// One row object of a document and how its member names are matched.
struct RowReader {
    json::Object row;
    KeyMatching matching;
    Location where;

    json::Element field(QLatin1StringView name) const {
        return json::member(row, name, matching, where);
    }
    QString string(QLatin1StringView name) const {
        return json::toString(field(name), where.at(name));
    }
    qint64 count(QLatin1StringView name) const {
        return json::toCount(field(name), where.at(name));
    }
};

// Calls `decodeRow` with each element of the document's "rows" array, in document order.
template <typename DecodeRow>
void forEachRow(const QByteArray &bytes, KeyMatching matching, DecodeRow decodeRow) {
    const json::Document document(bytes);
    const Location rowsAt{-1, "rows"_L1};
    const json::Array rows =
        json::toArray(json::member(document.root(), "rows"_L1, matching, rowsAt), rowsAt);
    if (rows.size() > static_cast<size_t>(maxRows))
        throw ReportFormatError(QStringLiteral("rows 多于 %1 行").arg(maxRows));
    qsizetype index = 0;
    for (const json::Element element : rows) {
        const Location where{index++};
        decodeRow(RowReader{json::toObject(element, where), matching, where});
    }
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
    TodayReportResponse response;
    forEachRow(bytes, KeyMatching::fromSnakeCase, [&](const RowReader &row) {
        response.rows.append(TodayReportRow{row.string("day"_L1), row.string("provider"_L1),
                                            row.count("totalTokens"_L1)});
    });
    return response;
}

UsageReport UsageReport::decode(const QByteArray &bytes) {
    UsageReport report;
    ProviderNames providerName;
    qsizetype figures = 0;
    forEachRow(bytes, KeyMatching::exact, [&](const RowReader &row) {
        Row decoded{row.string("day"_L1), row.count("total_tokens"_L1), {}};
        const Location providersAt = row.where.at("providers"_L1);
        const json::Object providers = json::toObject(row.field("providers"_L1), providersAt);
        figures += static_cast<qsizetype>(providers.size());
        if (figures > maxProviderFigures)
            throw ReportFormatError(
                QStringLiteral("providers 合计多于 %1 项").arg(maxProviderFigures));
        for (const auto provider : providers)
            decoded.providers.insert(providerName(provider.key),
                                     json::toCount(provider.value, providersAt.at(provider.key)));
        report.rows.append(std::move(decoded));
    });
    return report;
}
