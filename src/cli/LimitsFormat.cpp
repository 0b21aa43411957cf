#include "cli/LimitsFormat.h"

#include "cli/DescribedError.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonParseError>

#include <cmath>

namespace {

[[noreturn]] void fail(const QString &what) {
    throw ReportFormatError(QStringLiteral("无法解析 tessel 的额度报告：%1").arg(what));
}

QJsonValue required(const QJsonObject &object, const QString &name) {
    const auto found = object.find(name);
    if (found == object.end())
        fail(QStringLiteral("缺少 %1").arg(name));
    return *found;
}

qint64 integer(const QJsonValue &value, const QString &name) {
    const QVariant variant = value.toVariant();
    if (!value.isDouble() || variant.typeId() != QMetaType::LongLong)
        fail(QStringLiteral("%1 不是整数").arg(name));
    return variant.toLongLong();
}

std::optional<double> percent(const QJsonValue &value, const QString &name) {
    if (value.isNull())
        return std::nullopt;
    if (!value.isDouble() || !std::isfinite(value.toDouble()) || value.toDouble() < 0)
        fail(QStringLiteral("%1 不是百分比").arg(name));
    return value.toDouble();
}

std::optional<QDateTime> time(const QJsonValue &value, const QString &name) {
    if (value.isNull())
        return std::nullopt;
    return QDateTime::fromSecsSinceEpoch(integer(value, name), Qt::UTC);
}

QString text(const QJsonValue &value, const QString &name) {
    if (!value.isString() || value.toString().isEmpty())
        fail(QStringLiteral("%1 不是文字").arg(name));
    return value.toString();
}

LimitWindow::Status status(const QString &name) {
    if (name == QLatin1String("current"))
        return LimitWindow::Status::current;
    if (name == QLatin1String("reached"))
        return LimitWindow::Status::reached;
    if (name == QLatin1String("reset"))
        return LimitWindow::Status::reset;
    fail(QStringLiteral("未知的状态 %1").arg(name));
}

LimitWindow decodeWindow(const QJsonValue &element) {
    if (!element.isObject())
        fail(QStringLiteral("windows 的元素不是对象"));
    const QJsonObject object = element.toObject();
    LimitWindow window;
    window.provider =
        text(required(object, QStringLiteral("provider")), QStringLiteral("provider"));
    window.windowMinutes = integer(required(object, QStringLiteral("window_minutes")),
                                   QStringLiteral("window_minutes"));
    if (window.windowMinutes <= 0)
        fail(QStringLiteral("window_minutes 不是正数"));
    window.status =
        status(text(required(object, QStringLiteral("status")), QStringLiteral("status")));
    window.usedPercent =
        percent(required(object, QStringLiteral("used_percent")), QStringLiteral("used_percent"));
    if (!window.usedPercent && window.status != LimitWindow::Status::reset)
        fail(QStringLiteral("used_percent 为空"));
    window.resetsAt =
        time(required(object, QStringLiteral("resets_at")), QStringLiteral("resets_at"));
    const auto observed =
        time(required(object, QStringLiteral("observed_at")), QStringLiteral("observed_at"));
    if (!observed)
        fail(QStringLiteral("observed_at 为空"));
    window.observedAt = *observed;
    window.source = text(required(object, QStringLiteral("source")), QStringLiteral("source"));
    const QJsonValue pace = required(object, QStringLiteral("pace"));
    if (pace.isObject()) {
        const QJsonObject paceObject = pace.toObject();
        window.projectedPercent = percent(required(paceObject, QStringLiteral("projected_percent")),
                                          QStringLiteral("projected_percent"));
        window.paceReachedAt =
            time(required(paceObject, QStringLiteral("reached_at")), QStringLiteral("reached_at"));
    } else if (!pace.isNull()) {
        fail(QStringLiteral("pace 不是对象"));
    }
    return window;
}

} // namespace

LimitsResponse LimitsResponse::decode(const QByteArray &json) {
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(json, &error);
    if (error.error != QJsonParseError::NoError || !document.isObject())
        fail(QStringLiteral("不是 JSON 对象"));
    const QJsonValue windows = required(document.object(), QStringLiteral("windows"));
    if (!windows.isArray())
        fail(QStringLiteral("windows 不是数组"));
    LimitsResponse response;
    for (const QJsonValue &element : windows.toArray())
        response.windows.append(decodeWindow(element));
    return response;
}
