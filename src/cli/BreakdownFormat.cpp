#include "cli/BreakdownFormat.h"

#include "cli/DescribedError.h"
#include "cli/JsonDecoding.h"

#include <cmath>

namespace {

namespace dom = simdjson::dom;

// Far past any real week: a row for every model ever made, a day for every day of a century.
constexpr size_t maxEntries = 10'000;
constexpr size_t maxDays = 40'000;

// Where a value sits, such as days[3].groups.tool[1].tokens, spelled out only on failure.
class Path {
public:
    Path() = default;
    Path member(const char *name) const { return Path(this, name, -1); }
    Path index(qsizetype at) const { return Path(this, nullptr, at); }

    [[noreturn]] void fail(const QString &problem) const {
        throw ReportFormatError(
            QStringLiteral("无法解析 tessel 的明细报告：%1 %2")
                .arg(text().isEmpty() ? QStringLiteral("顶层") : text(), problem));
    }

private:
    Path(const Path *parent, const char *name, qsizetype at)
        : m_parent(parent), m_name(name), m_index(at) {}
    QString text() const {
        QString prefix = m_parent ? m_parent->text() : QString();
        if (m_name)
            return prefix.isEmpty() ? QString::fromLatin1(m_name)
                                    : prefix + QLatin1Char('.') + QLatin1String(m_name);
        return m_index < 0 ? prefix : prefix + QStringLiteral("[%1]").arg(m_index);
    }

    const Path *m_parent = nullptr;
    const char *m_name = nullptr;
    qsizetype m_index = -1;
};

dom::element member(const dom::object &object, const char *name, const Path &path) {
    dom::element value;
    if (object.at_key(name).get(value) != simdjson::SUCCESS)
        path.fail(QStringLiteral("缺少成员 \"%1\"").arg(QLatin1String(name)));
    return value;
}

dom::object object(const dom::element &value, const Path &path) {
    dom::object result;
    if (value.get(result) != simdjson::SUCCESS)
        path.fail(QStringLiteral("不是对象"));
    return result;
}

dom::array array(const dom::element &value, const Path &path, size_t most) {
    dom::array result;
    if (value.get(result) != simdjson::SUCCESS)
        path.fail(QStringLiteral("不是数组"));
    if (result.size() > most)
        path.fail(QStringLiteral("多于 %1 项").arg(most));
    return result;
}

QString text(const dom::element &value, const Path &path) {
    std::string_view result;
    if (value.get(result) != simdjson::SUCCESS)
        path.fail(QStringLiteral("不是字符串"));
    return QString::fromUtf8(result.data(), static_cast<qsizetype>(result.size()));
}

qint64 count(const dom::object &object, const char *name, const Path &path) {
    const Path at = path.member(name);
    const dom::element value = member(object, name, path);
    qint64 number = 0;
    switch (value.type()) {
    case dom::element_type::INT64:
        number = value.get_int64().value_unsafe();
        break;
    case dom::element_type::UINT64:
        at.fail(QStringLiteral("超出 64 位整数"));
    case dom::element_type::DOUBLE: {
        const double real = value.get_double().value_unsafe();
        if (std::trunc(real) != real || real < -9223372036854775808.0 ||
            real >= 9223372036854775808.0)
            at.fail(QStringLiteral("不是 64 位整数"));
        number = static_cast<qint64>(real);
        break;
    }
    default:
        at.fail(QStringLiteral("不是整数"));
    }
    if (number < 0)
        at.fail(QStringLiteral("是负数"));
    return number;
}

TokenCost figures(const dom::object &object, const Path &path) {
    TokenCost result{count(object, "tokens", path), count(object, "cost_nanodollars", path),
                     count(object, "unpriced_tokens", path)};
    if (result.unpricedTokens > result.tokens)
        path.member("unpriced_tokens").fail(QStringLiteral("大于 tokens"));
    return result;
}

QList<BreakdownEntry> entries(const dom::object &groups, const char *by, const Path &path) {
    const Path at = path.member(by);
    QList<BreakdownEntry> result;
    qsizetype index = 0;
    for (const dom::element element : array(member(groups, by, path), at, maxEntries)) {
        const Path entryAt = at.index(index++);
        const dom::object entry = object(element, entryAt);
        const dom::element name = member(entry, "name", entryAt);
        if (!name.is_null())
            text(name, entryAt.member("name"));
        result.append({text(member(entry, "label", entryAt), entryAt.member("label")),
                       figures(entry, entryAt), !name.is_null()});
    }
    return result;
}

} // namespace

BreakdownReport BreakdownReport::decode(const QByteArray &bytes) {
    const json::Document document(bytes);
    const dom::object root = document.root();
    const Path top;
    BreakdownReport report;
    report.today = text(member(root, "to", top), top.member("to"));
    report.week =
        figures(object(member(root, "total", top), top.member("total")), top.member("total"));
    const Path unpricedAt = top.member("unpriced_models");
    qsizetype index = 0;
    for (const dom::element name :
         array(member(root, "unpriced_models", top), unpricedAt, maxEntries)) {
        const Path at = unpricedAt.index(index++);
        if (name.is_null())
            report.unpricedUnknownModel = true;
        else
            report.unpricedModels.append(text(name, at));
    }

    const Path daysAt = top.member("days");
    bool todaySeen = false;
    index = 0;
    for (const dom::element element : array(member(root, "days", top), daysAt, maxDays)) {
        const Path dayAt = daysAt.index(index++);
        const dom::object day = object(element, dayAt);
        const QString name = text(member(day, "day", dayAt), dayAt.member("day"));
        const TokenCost total = figures(day, dayAt);
        const Path groupsAt = dayAt.member("groups");
        const dom::object groups = object(member(day, "groups", dayAt), groupsAt);
        QList<BreakdownEntry> byTool = entries(groups, "tool", groupsAt);
        QList<BreakdownEntry> byModel = entries(groups, "model", groupsAt);
        if (name != report.today)
            continue;
        if (todaySeen)
            dayAt.fail(QStringLiteral("重复了 %1").arg(name));
        todaySeen = true;
        report.todayTotal = total;
        report.todayByTool = std::move(byTool);
        report.todayByModel = std::move(byModel);
    }
    return report;
}
