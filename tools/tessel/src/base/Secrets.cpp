#include "base/Secrets.h"

#include <algorithm>

namespace {

constexpr const char *masked = "***";

// Where the address starting at `from` ends: blanks and the quotes messages put around it.
size_t addressEnd(const std::string &text, size_t from) {
    const size_t end = text.find_first_of(" \t\r\n'\"`<>()[]{}", from);
    return end == std::string::npos ? text.size() : end;
}

// Masks the query string's values and the fragment of the address text[from, end); returns the
// new end.
size_t maskQuery(std::string &text, size_t from, size_t end) {
    const size_t query = text.find_first_of("?#", from);
    if (query == std::string::npos || query >= end)
        return end;
    std::string address = text.substr(query, end - query);
    std::string out;
    size_t at = 0;
    while (at < address.size()) {
        const char separator = address[at];
        out += separator;
        ++at;
        const size_t next = separator == '#'
                                ? address.size()
                                : std::min(address.find_first_of("&;#", at), address.size());
        const std::string part = address.substr(at, next - at);
        const size_t equals = part.find('=');
        if (separator != '#' && equals != std::string::npos)
            out += part.substr(0, equals + 1) + (equals + 1 < part.size() ? masked : "");
        else if (!part.empty())
            out += masked;
        at = next;
    }
    text.replace(query, end - query, out);
    return query + out.size();
}

} // namespace

std::string withoutSecrets(std::string text) {
    size_t at = 0;
    while ((at = text.find("://", at)) != std::string::npos) {
        const size_t hostStart = at + 3;
        size_t end = addressEnd(text, hostStart);
        const size_t slash = text.find('/', hostStart);
        const size_t userEnd = text.rfind('@', std::min(slash, end));
        if (userEnd != std::string::npos && userEnd >= hostStart && userEnd < end) {
            const size_t colon = text.find(':', hostStart);
            const size_t secretStart = colon < userEnd ? colon + 1 : hostStart;
            text.replace(secretStart, userEnd - secretStart, masked);
            end = addressEnd(text, hostStart);
        }
        at = maskQuery(text, hostStart, end);
    }
    return text;
}
