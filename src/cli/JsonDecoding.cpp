#include "cli/JsonDecoding.h"

#include "cli/DescribedError.h"

#include <QStringList>

#include <cmath>

namespace json {

namespace {

[[noreturn]] void fail(const Location &where, const QString &problem) {
    const QString text = where.text();
    throw ReportFormatError(text.isEmpty() ? problem : text + QStringLiteral(" ") + problem);
}

QString fromView(std::string_view text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

std::string_view view(QLatin1StringView text) {
    return {text.data(), static_cast<size_t>(text.size())};
}

} // namespace

QString Location::text() const {
    QString text = row < 0 ? QString() : QStringLiteral("rows[%1]").arg(row);
    if (!member.isEmpty())
        text += (text.isEmpty() ? QString() : QStringLiteral(".")) + member;
    if (!key.empty())
        text += QStringLiteral(".") + fromView(key);
    return text;
}

Document::Document(const QByteArray &bytes) {
    simdjson::dom::element root;
    // The parser copies the bytes into a padded buffer of its own.
    if (const auto error = m_parser.parse(bytes.constData(), bytes.size()).get(root))
        throw ReportFormatError(QStringLiteral("不是有效的 JSON（%1）")
                                    .arg(QString::fromUtf8(simdjson::error_message(error))));
    if (root.get(m_root) != simdjson::SUCCESS)
        throw ReportFormatError(QStringLiteral("顶层不是 JSON 对象"));
}

QString convertFromSnakeCase(const QString &name) {
    qsizetype first = 0;
    while (first < name.size() && name[first] == u'_')
        ++first;
    if (first == name.size())
        return name;
    qsizetype last = name.size() - 1;
    while (name[last] == u'_')
        --last;

    const QStringList words = name.mid(first, last - first + 1).split(u'_', Qt::SkipEmptyParts);
    if (words.size() == 1)
        return name;

    QString converted = words.front().toLower();
    for (qsizetype i = 1; i < words.size(); ++i) {
        const QString word = words[i].toLower();
        converted += word.left(1).toUpper() + word.mid(1);
    }
    return name.left(first) + converted + name.mid(last + 1);
}

Element member(const Object &object, QLatin1StringView name, KeyMatching matching,
               const Location &where) {
    if (matching == KeyMatching::exact) {
        Element value;
        if (object.at_key(view(name)).get(value) == simdjson::SUCCESS)
            return value;
    } else {
        for (const auto field : object) {
            if (convertFromSnakeCase(fromView(field.key)) == name)
                return field.value;
        }
    }
    fail(where, QStringLiteral("缺少成员 \"%1\"").arg(QString(name)));
}

Array toArray(const Element &value, const Location &where) {
    Array array;
    if (value.get(array) != simdjson::SUCCESS)
        fail(where, QStringLiteral("不是数组"));
    return array;
}

Object toObject(const Element &value, const Location &where) {
    Object object;
    if (value.get(object) != simdjson::SUCCESS)
        fail(where, QStringLiteral("不是对象"));
    return object;
}

QString toString(const Element &value, const Location &where) {
    return fromView(toUtf8(value, where));
}

std::string_view toUtf8(const Element &value, const Location &where) {
    std::string_view text;
    if (value.get(text) != simdjson::SUCCESS)
        fail(where, QStringLiteral("不是字符串"));
    return text;
}

qint64 toInt64(const Element &value, const Location &where) {
    switch (value.type()) {
    case simdjson::dom::element_type::INT64:
        return value.get_int64().value_unsafe();
    case simdjson::dom::element_type::DOUBLE: {
        // 2^63 is the first double past the range; every whole double below it converts.
        const double number = value.get_double().value_unsafe();
        if (std::trunc(number) == number && number >= -9223372036854775808.0 &&
            number < 9223372036854775808.0)
            return static_cast<qint64>(number);
        break;
    }
    default:
        break;
    }
    fail(where, QStringLiteral("不是 64 位整数"));
}

qint64 toCount(const Element &value, const Location &where) {
    const qint64 count = toInt64(value, where);
    if (count < 0)
        fail(where, QStringLiteral("是负数"));
    return count;
}

} // namespace json
