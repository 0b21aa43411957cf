#include "JsonStructure.h"

#include <bitset>
#include <cstring>

namespace {

const char *skipSpace(const char *p, const char *end) {
    while (p < end && (*p == ' ' || *p == '\t' || *p == '\n' || *p == '\r'))
        ++p;
    return p;
}

bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

bool isHex(char c) {
    return isDigit(c) || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

const char *find(const char *p, const char *end, char c) {
    return static_cast<const char *>(std::memchr(p, c, static_cast<size_t>(end - p)));
}

// Past the closing quote of the string whose contents start at `p`, or nullptr. Most of a log
// line is string contents, so they are crossed with memchr; the next quote is searched again
// only once an escape has used it up, which keeps the scan linear.
const char *skipString(const char *p, const char *end) {
    const char *quote = find(p, end, '"');
    for (;;) {
        if (!quote)
            return nullptr;
        const char *escape = find(p, quote, '\\');
        if (!escape)
            return quote + 1;
        if (end - escape < 2)
            return nullptr;
        switch (escape[1]) {
        case '"':
        case '\\':
        case '/':
        case 'b':
        case 'f':
        case 'n':
        case 'r':
        case 't':
            p = escape + 2;
            break;
        case 'u':
            if (end - escape < 6 || !isHex(escape[2]) || !isHex(escape[3]) || !isHex(escape[4]) ||
                !isHex(escape[5]))
                return nullptr;
            p = escape + 6;
            break;
        default:
            return nullptr;
        }
        if (p > quote)
            quote = find(p, end, '"');
    }
}

const char *skipDigits(const char *p, const char *end) {
    const char *start = p;
    while (p < end && isDigit(*p))
        ++p;
    return p == start ? nullptr : p;
}

// -?(0|[1-9][0-9]*)(.[0-9]+)?([eE][+-]?[0-9]+)?
const char *skipNumber(const char *p, const char *end) {
    if (*p == '-')
        ++p;
    if (p < end && *p == '0')
        ++p;
    else if (!(p = skipDigits(p, end)))
        return nullptr;
    if (p < end && *p == '.' && !(p = skipDigits(p + 1, end)))
        return nullptr;
    if (p < end && (*p == 'e' || *p == 'E')) {
        ++p;
        if (p < end && (*p == '+' || *p == '-'))
            ++p;
        p = skipDigits(p, end);
    }
    return p;
}

const char *skipLiteral(const char *p, const char *end, std::string_view literal) {
    if (static_cast<size_t>(end - p) < literal.size() ||
        std::memcmp(p, literal.data(), literal.size()) != 0)
        return nullptr;
    return p + literal.size();
}

const char *skipScalar(const char *p, const char *end) {
    switch (*p) {
    case '"':
        return skipString(p + 1, end);
    case 't':
        return skipLiteral(p, end, "true");
    case 'f':
        return skipLiteral(p, end, "false");
    case 'n':
        return skipLiteral(p, end, "null");
    default:
        return *p == '-' || isDigit(*p) ? skipNumber(p, end) : nullptr;
    }
}

enum class Expect { value, valueOrEnd, key, keyOrEnd, colon, commaOrEnd };

} // namespace

bool hasSoundJsonStructure(std::string_view text) {
    const char *p = text.data();
    const char *const end = p + text.size();
    if (text.starts_with("\xEF\xBB\xBF"))
        p += 3;
    p = skipSpace(p, end);
    if (p == end || (*p != '{' && *p != '['))
        return false;
    std::bitset<maxJsonDepth> isObject; // of every open bracket, by depth
    size_t depth = 0;
    Expect expect = Expect::value;
    for (;;) {
        p = skipSpace(p, end);
        if (p == end)
            return false;
        const char c = *p;
        if ((expect == Expect::commaOrEnd && c == (isObject[depth - 1] ? '}' : ']')) ||
            (expect == Expect::keyOrEnd && c == '}') ||
            (expect == Expect::valueOrEnd && c == ']')) {
            if (--depth == 0)
                return skipSpace(p + 1, end) == end;
            ++p;
            expect = Expect::commaOrEnd;
            continue;
        }
        switch (expect) {
        case Expect::commaOrEnd:
            if (c != ',')
                return false;
            ++p;
            expect = isObject[depth - 1] ? Expect::key : Expect::value;
            break;
        case Expect::colon:
            if (c != ':')
                return false;
            ++p;
            expect = Expect::value;
            break;
        case Expect::key:
        case Expect::keyOrEnd:
            if (c != '"' || !(p = skipString(p + 1, end)))
                return false;
            expect = Expect::colon;
            break;
        case Expect::value:
        case Expect::valueOrEnd:
            if (c == '{' || c == '[') {
                if (depth == maxJsonDepth)
                    return false;
                isObject[depth++] = c == '{';
                ++p;
                expect = c == '{' ? Expect::keyOrEnd : Expect::valueOrEnd;
            } else {
                if (!(p = skipScalar(p, end)))
                    return false;
                expect = Expect::commaOrEnd;
            }
            break;
        }
    }
}
