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

// Calls `decodeRow` with each element of the document's "rows" array, in document order,
// after telling `reserve` how many there are.
template <typename Reserve, typename DecodeRow>
void forEachRow(const QByteArray &bytes, KeyMatching matching, Reserve reserve,
                DecodeRow decodeRow) {
    const json::Document document(bytes);
    const Location rowsAt{-1, "rows"_L1};
    const json::Array rows =
        json::toArray(json::member(document.root(), "rows"_L1, matching, rowsAt), rowsAt);
    if (rows.size() > static_cast<size_t>(maxRows))
        throw ReportFormatError(QStringLiteral("rows 多于 %1 行").arg(maxRows));
    reserve(static_cast<qsizetype>(rows.size()));
    qsizetype index = 0;
    for (const json::Element element : rows) {
        const Location where{index++};
        decodeRow(RowReader{json::toObject(element, where), matching, where});
    }
}

// The same text, one in UTF-8 from the document and one as kept. Days and provider ids are
// plain ASCII and compared in place; anything else goes through Qt's comparison.
bool sameText(std::string_view utf8, const QString &kept) {
    if (static_cast<qsizetype>(utf8.size()) == kept.size()) {
        const QChar *chars = kept.constData();
        size_t i = 0;
        for (; i < utf8.size(); ++i) {
            const auto byte = static_cast<unsigned char>(utf8[i]);
            if (byte >= 0x80)
                break;
            // Up to here both are the same characters one to one, so this one differs.
            if (chars[i].unicode() != byte)
                return false;
        }
        if (i == utf8.size())
            return true;
    }
    return QAnyStringView::equal(QUtf8StringView(utf8.data(), static_cast<qsizetype>(utf8.size())),
                                 kept);
}

// True when a row reads exactly as `known` does, providers in the order they are kept.
// Every figure compared is checked as decoding checks it; at the first difference the row is
// decoded (and checked) afresh.
bool sameRow(const UsageReport::Row &known, std::string_view day, qint64 total,
             const json::Object &providers, const Location &providersAt) {
    if (known.totalTokens != total || !sameText(day, known.day) ||
        static_cast<size_t>(known.providers.size()) != providers.size())
        return false;
    auto expected = known.providers.cbegin();
    for (const auto provider : providers) {
        if (json::toCount(provider.value, providersAt.at(provider.key)) != expected.value() ||
            !sameText(provider.key, expected.key()))
            return false;
        ++expected;
    }
    return true;
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
    const auto reserve = [&](qsizetype rows) { response.rows.reserve(rows); };
    forEachRow(bytes, KeyMatching::fromSnakeCase, reserve, [&](const RowReader &row) {
        response.rows.append(TodayReportRow{row.string("day"_L1), row.string("provider"_L1),
                                            row.count("totalTokens"_L1)});
    });
    return response;
}

UsageReport UsageReport::decode(const QByteArray &bytes) {
    return decode(bytes, UsageReport());
}

UsageReport UsageReport::decode(const QByteArray &bytes, const UsageReport &previous) {
    UsageReport report;
    ProviderNames providerName;
    qsizetype figures = 0;
    const auto reserve = [&](qsizetype rows) { report.rows.reserve(rows); };
    forEachRow(bytes, KeyMatching::exact, reserve, [&](const RowReader &row) {
        const std::string_view day = json::toUtf8(row.field("day"_L1), row.where.at("day"_L1));
        const qint64 total = row.count("total_tokens"_L1);
        const Location providersAt = row.where.at("providers"_L1);
        const json::Object providers = json::toObject(row.field("providers"_L1), providersAt);
        figures += static_cast<qsizetype>(providers.size());
        if (figures > maxProviderFigures)
            throw ReportFormatError(
                QStringLiteral("providers 合计多于 %1 项").arg(maxProviderFigures));
        const qsizetype index = report.rows.size();
        if (index < previous.rows.size() &&
            sameRow(previous.rows[index], day, total, providers, providersAt)) {
            report.rows.append(previous.rows[index]);
            return;
        }
        Row decoded{QString::fromUtf8(day.data(), static_cast<qsizetype>(day.size())), total, {}};
        for (const auto provider : providers)
            decoded.providers.insert(providerName(provider.key),
                                     json::toCount(provider.value, providersAt.at(provider.key)));
        report.rows.append(std::move(decoded));
    });
    return report;
}
