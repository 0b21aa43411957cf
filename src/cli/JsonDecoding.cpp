#include "cli/JsonDecoding.h"

#include "cli/DescribedError.h"

#include <QJsonDocument>
#include <QJsonParseError>
#include <QVariant>

namespace json {

namespace {

[[noreturn]] void fail(const QString &where, const QString &problem) {
    throw ReportFormatError(where.isEmpty() ? problem : where + QStringLiteral(" ") + problem);
}

} // namespace

QJsonObject parseObject(const QByteArray &bytes) {
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(bytes, &error);
    if (error.error != QJsonParseError::NoError)
        throw ReportFormatError(QStringLiteral("不是有效的 JSON（第 %1 个字节处：%2）")
                                    .arg(error.offset)
                                    .arg(error.errorString()));
    if (!document.isObject())
        throw ReportFormatError(QStringLiteral("顶层不是 JSON 对象"));
    return document.object();
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

    const QString core = name.mid(first, last - first + 1);
    const QStringList words = core.split(u'_', Qt::SkipEmptyParts);
    if (words.size() == 1)
        return name;

    QString converted = words.front().toLower();
    for (qsizetype i = 1; i < words.size(); ++i) {
        const QString word = words[i].toLower();
        converted += word.left(1).toUpper() + word.mid(1);
    }
    return name.left(first) + converted + name.mid(last + 1);
}

QJsonValue member(const QJsonObject &object, const QString &name, KeyMatching matching,
                  const QString &where) {
    if (matching == KeyMatching::exact) {
        const auto it = object.constFind(name);
        if (it != object.constEnd())
            return it.value();
    } else {
        for (auto it = object.constBegin(); it != object.constEnd(); ++it) {
            if (convertFromSnakeCase(it.key()) == name)
                return it.value();
        }
    }
    fail(where, QStringLiteral("缺少成员 \"%1\"").arg(name));
}

QJsonArray toArray(const QJsonValue &value, const QString &where) {
    if (!value.isArray())
        fail(where, QStringLiteral("不是数组"));
    return value.toArray();
}

QJsonObject toObject(const QJsonValue &value, const QString &where) {
    if (!value.isObject())
        fail(where, QStringLiteral("不是对象"));
    return value.toObject();
}

QString toString(const QJsonValue &value, const QString &where) {
    if (!value.isString())
        fail(where, QStringLiteral("不是字符串"));
    return value.toString();
}

qint64 toInt64(const QJsonValue &value, const QString &where) {
    // Qt keeps a number as a 64-bit integer exactly when it is whole and in range; every
    // other number (a fraction, or beyond the 64-bit range) arrives as a double.
    if (value.isDouble() && value.toVariant().typeId() == QMetaType::LongLong)
        return value.toVariant().toLongLong();
    fail(where, QStringLiteral("不是 64 位整数"));
}

} // namespace json
