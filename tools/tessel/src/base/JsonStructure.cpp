#include "base/JsonStructure.h"

#include <bitset>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

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

// The first quote or backslash in [p, end), or end. String contents are most of a log line,
// so they are crossed sixteen bytes at a time.
const char *findQuoteOrEscape(const char *p, const char *end) {
#if defined(__SSE2__)
    const __m128i quote = _mm_set1_epi8('"');
    const __m128i backslash = _mm_set1_epi8('\\');
    for (; end - p >= 16; p += 16) {
        const __m128i x = _mm_loadu_si128(reinterpret_cast<const __m128i *>(p));
        const auto mask = static_cast<unsigned>(_mm_movemask_epi8(
            _mm_or_si128(_mm_cmpeq_epi8(x, quote), _mm_cmpeq_epi8(x, backslash))));
        if (mask != 0)
            return p + __builtin_ctz(mask);
    }
#endif
    while (p < end && *p != '"' && *p != '\\')
        ++p;
    return p;
}

// Past the closing quote of the string whose contents start at `p`, or nullptr.
const char *skipString(const char *p, const char *end) {
    for (;;) {
        p = findQuoteOrEscape(p, end);
        if (p == end)
            return nullptr;
        if (*p == '"')
            return p + 1;
        if (end - p < 2)
            return nullptr;
        switch (p[1]) {
        case '"':
        case '\\':
        case '/':
        case 'b':
        case 'f':
        case 'n':
        case 'r':
        case 't':
            p += 2;
            break;
        case 'u':
            if (end - p < 6 || !isHex(p[2]) || !isHex(p[3]) || !isHex(p[4]) || !isHex(p[5]))
                return nullptr;
            p += 6;
            break;
        default:
            return nullptr;
        }
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

namespace {

bool representable(std::string_view number) {
    if (number.find_first_of(".eE") == std::string_view::npos) {
        const char *const end = number.data() + number.size();
        if (number.starts_with('-')) {
            std::int64_t value;
            return std::from_chars(number.data(), end, value).ec == std::errc();
        }
        std::uint64_t value;
        return std::from_chars(number.data(), end, value).ec == std::errc();
    }
    // Underflow rounds to zero, which is a double; only overflow is refused.
    return std::isfinite(std::strtod(std::string(number).c_str(), nullptr));
}

} // namespace

std::string withRepresentableNumbers(std::string_view text) {
    std::string result;
    result.reserve(text.size());
    const char *p = text.data();
    const char *const end = p + text.size();
    while (p < end) {
        const char *next = p + 1;
        if (*p == '"') {
            const char *closed = skipString(p + 1, end);
            next = closed ? closed : end;
        } else if (*p == '-' || isDigit(*p)) {
            const char *closed = skipNumber(p, end);
            next = closed ? closed : end;
            if (!representable(std::string_view(p, static_cast<size_t>(next - p)))) {
                result += "\"\"";
                p = next;
                continue;
            }
        }
        result.append(p, next);
        p = next;
    }
    return result;
}
