#include "JsonStructure.h"

#include <bitset>
#include <cstring>

namespace {

bool isSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

const char *skipSpace(const char *p, const char *end) {
    while (p < end && isSpace(*p))
        ++p;
    return p;
}

// Past the closing quote of the string whose contents start at `p`, or nullptr when it is
// never closed. Most of a log line is string contents, so they are skipped with memchr.
const char *skipString(const char *p, const char *end) {
    for (;;) {
        const auto *quote =
            static_cast<const char *>(std::memchr(p, '"', static_cast<size_t>(end - p)));
        if (!quote)
            return nullptr;
        const char *escapes = quote;
        while (escapes > p && escapes[-1] == '\\')
            --escapes;
        p = quote + 1;
        if ((quote - escapes) % 2 == 0)
            return p;
    }
}

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
    while (p < end) {
        switch (*p++) {
        case '"':
            p = skipString(p, end);
            if (!p)
                return false;
            break;
        case '{':
        case '[':
            if (depth == maxJsonDepth)
                return false;
            isObject[depth++] = p[-1] == '{';
            break;
        case '}':
        case ']':
            if (depth == 0 || isObject[depth - 1] != (p[-1] == '}'))
                return false;
            if (--depth == 0)
                return skipSpace(p, end) == end;
            break;
        default:
            break;
        }
    }
    return false;
}
