#pragma once

#include <QByteArray>
#include <QLatin1StringView>
#include <QString>

#include <simdjson.h>

#include <string_view>

// Strict reading of the tool's JSON documents: every accessor throws ReportFormatError naming
// the offending value, so one bad member fails the whole document. Built on simdjson so that
// a usage file of many years decodes in well under a millisecond per thousand rows.
namespace json {

using Element = simdjson::dom::element;
using Object = simdjson::dom::object;
using Array = simdjson::dom::array;

// Where a value sits in a document, such as rows[3].providers.codex. Spelled out only when a
// failure is reported, so decoding a large document builds no strings on the way.
struct Location {
    qsizetype row = -1; // index in "rows"; -1 for the top level
    QLatin1StringView member{};
    std::string_view key{}; // a member of `member`, such as a provider id

    Location at(QLatin1StringView name) const { return {row, name, {}}; }
    Location at(std::string_view subkey) const { return {row, member, subkey}; }
    QString text() const;
};

// A parsed document whose top level must be a JSON object; white space around it is accepted,
// anything else before or after it is not.
class Document {
public:
    explicit Document(const QByteArray &bytes);
    Object root() const { return m_root; }

private:
    simdjson::dom::parser m_parser;
    Object m_root;
};

// Member-name conversion from snake case as the tool writes it: inner underscores are
// dropped, the first word is lower-cased and every later word capitalised; leading and
// trailing underscores stay, and a name without an inner underscore is left unchanged.
QString convertFromSnakeCase(const QString &name);

// How member names of a document are matched against the names the decoder asks for.
enum class KeyMatching { exact, fromSnakeCase };

// The member whose (converted) name equals `name`; throws when there is none.
Element member(const Object &object, QLatin1StringView name, KeyMatching matching,
               const Location &where);

Array toArray(const Element &value, const Location &where);
Object toObject(const Element &value, const Location &where);
QString toString(const Element &value, const Location &where);
// The same, as the UTF-8 text inside the document, without a copy.
std::string_view toUtf8(const Element &value, const Location &where);
// A JSON number that is an exact integer within the signed 64-bit range. Whole numbers
// written with a fraction or exponent, such as 1.0 or 1e3, count as integers.
qint64 toInt64(const Element &value, const Location &where);
// The same, refusing negative numbers: a token count.
qint64 toCount(const Element &value, const Location &where);

} // namespace json
