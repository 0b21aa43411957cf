#include "cli/LimitsFormat.h"

#include "cli/DescribedError.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonParseError>

#include <cmath>

namespace {

[[noreturn]] void failDocument(const QString &what) {
    throw ReportFormatError(QStringLiteral("无法解析 tessel 的额度报告：%1").arg(what));
}

// What is wrong with one window; the document decoder catches it and leaves the window out.
[[noreturn]] void fail(const QString &what) {
    throw ReportFormatError(what);
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
    // From 1970 to the end of year 9999: outside that a time is garbage, and the date
    // arithmetic that follows would overflow.
    constexpr qint64 lastSecond = 253402300799;
    const qint64 seconds = integer(value, name);
    if (seconds < 0 || seconds > lastSecond)
        fail(QStringLiteral("%1 超出范围").arg(name));
    return QDateTime::fromSecsSinceEpoch(seconds, Qt::UTC);
}

QString text(const QJsonValue &value, const QString &name) {
    if (!value.isString() || value.toString().isEmpty())
        fail(QStringLiteral("%1 不是文字").arg(name));
    return value.toString();
}

// At most as long as the tool lets a bucket's id or name be.
constexpr qsizetype maxBucketText = 64;

bool isPlainName(const QString &text) {
    if (text.isEmpty() || text.size() > maxBucketText)
        return false;
    for (const QChar c : text)
        if (c.unicode() < 0x20 || c.unicode() == 0x7f)
            return false;
    return true;
}

bool isBucketId(const QString &text) {
    if (text.isEmpty() || text.size() > maxBucketText)
        return false;
    for (const QChar c : text)
        if (c.unicode() >= 0x80 ||
            !(c.isLetterOrNumber() || c == u'-' || c == u'_' || c == u'.' || c == u':'))
            return false;
    return true;
}

// Its id goes into the record of warnings given, and its name into menu lines and
// notification titles: a control character would break either.
LimitBucket decodeBucket(const QJsonObject &object) {
    LimitBucket bucket;
    const QJsonValue id = required(object, QStringLiteral("limit_id"));
    if (!id.isString() || !isBucketId(id.toString()))
        fail(QStringLiteral("limit_id 不是单纯的名称"));
    bucket.id = id.toString();
    const QJsonValue name = required(object, QStringLiteral("limit_name"));
    if (!name.isString() || !isPlainName(name.toString()))
        fail(QStringLiteral("limit_name 不是单纯的名称"));
    bucket.name = name.toString();
    return bucket;
}

// A member of a skipped window, to name it by, when it is plain text.
QString plainMember(const QJsonObject &object, const QString &name) {
    const QJsonValue value = object.value(name);
    return value.isString() && isPlainName(value.toString()) ? value.toString() : QString();
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

LimitWindow decodeWindow(const QJsonObject &object) {
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

// Decodes each element of `list` into `into`, leaving out (and listing in `skipped`) those
// that cannot be read.
void decodeList(const QJsonArray &list, bool buckets, QList<LimitWindow> &into,
                QList<LimitsResponse::SkippedWindow> &skipped) {
    qsizetype index = 0;
    for (const QJsonValue &element : list) {
        const QJsonObject object = element.toObject();
        try {
            if (!element.isObject())
                fail(QStringLiteral("不是对象"));
            std::optional<LimitBucket> bucket;
            if (buckets)
                bucket = decodeBucket(object);
            LimitWindow window = decodeWindow(object);
            window.bucket = std::move(bucket);
            into.append(std::move(window));
        } catch (const ReportFormatError &problem) {
            LimitsResponse::SkippedWindow entry{index,
                                                plainMember(object, QStringLiteral("provider")),
                                                problem.description(), buckets, QString()};
            if (buckets) {
                entry.bucketName = plainMember(object, QStringLiteral("limit_name"));
                if (entry.bucketName.isEmpty())
                    entry.bucketName = plainMember(object, QStringLiteral("limit_id"));
            }
            skipped.append(std::move(entry));
        }
        ++index;
    }
}

} // namespace

LimitsResponse LimitsResponse::decode(const QByteArray &json) {
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(json, &error);
    if (error.error != QJsonParseError::NoError || !document.isObject())
        failDocument(QStringLiteral("不是 JSON 对象"));
    const QJsonObject root = document.object();
    const auto windows = root.find(QStringLiteral("windows"));
    if (windows == root.end())
        failDocument(QStringLiteral("缺少 windows"));
    if (!windows->isArray())
        failDocument(QStringLiteral("windows 不是数组"));
    const auto buckets = root.find(QStringLiteral("buckets"));
    if (buckets != root.end() && !buckets->isArray())
        failDocument(QStringLiteral("buckets 不是数组"));
    LimitsResponse response;
    decodeList(windows->toArray(), false, response.windows, response.skipped);
    if (buckets != root.end())
        decodeList(buckets->toArray(), true, response.buckets, response.skipped);
    return response;
}

std::optional<QString> LimitsResponse::skippedDescription() const {
    if (skipped.isEmpty())
        return std::nullopt;
    QStringList which;
    for (const SkippedWindow &window : skipped) {
        QString place = QStringLiteral("第 %1 个").arg(window.index + 1);
        if (window.inBuckets)
            place.prepend(QStringLiteral("buckets "));
        QStringList names;
        for (const QString &name : {window.provider, window.bucketName})
            if (!name.isEmpty())
                names << name;
        if (!names.isEmpty())
            place += QStringLiteral("，") + names.join(QStringLiteral(" · "));
        which << place + QStringLiteral("：") + window.problem;
    }
    QString text = QStringLiteral("%1 个额度窗口无法解析，已跳过（%2）")
                       .arg(skipped.size())
                       .arg(which.join(QStringLiteral("；")));
    // It is shown as one line of the menu: the tool's texts quoted in it may hold line breaks or
    // other control characters.
    for (QChar &c : text)
        if (c.category() == QChar::Other_Control || c.category() == QChar::Separator_Line ||
            c.category() == QChar::Separator_Paragraph)
            c = QLatin1Char(' ');
    return text;
}
