#pragma once

#include <QByteArray>
#include <QJsonArray>
#include <QJsonObject>
#include <QJsonValue>
#include <QString>

// Strict reading of the tool's JSON documents: every accessor throws ReportFormatError with
// the location of the offending value, so one bad member fails the whole document.
namespace json {

// Parses a whole document that must be a JSON object; white space around it is accepted.
QJsonObject parseObject(const QByteArray &bytes);

// Member-name conversion from snake case as the tool writes it: inner underscores are
// dropped, the first word is lower-cased and every later word capitalised; leading and
// trailing underscores stay, and a name without an inner underscore is left unchanged.
QString convertFromSnakeCase(const QString &name);

// How member names of a document are matched against the names the decoder asks for.
enum class KeyMatching { exact, fromSnakeCase };

// The member whose (converted) name equals `name`; throws when there is none.
QJsonValue member(const QJsonObject &object, const QString &name, KeyMatching matching,
                  const QString &where);

QJsonArray toArray(const QJsonValue &value, const QString &where);
QJsonObject toObject(const QJsonValue &value, const QString &where);
QString toString(const QJsonValue &value, const QString &where);
// A JSON number that is an exact integer within the signed 64-bit range.
qint64 toInt64(const QJsonValue &value, const QString &where);

} // namespace json
