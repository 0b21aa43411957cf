#include "commands/StatuslineInput.h"

#include "base/Errors.h"

#include <cerrno>
#include <poll.h>
#include <unistd.h>

namespace {

// Follows the input's brackets, outside strings, to see where the first object ends.
class ObjectEnd {
public:
    // True once `c` closed the object; throws when the input is no object at all.
    bool feed(char c) {
        if (m_depth == 0) {
            if (c == '{') {
                m_depth = 1;
                return false;
            }
            // White space and a UTF-8 byte-order mark may come first.
            if (c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\xef' || c == '\xbb' ||
                c == '\xbf')
                return false;
            throw ToolError("the status-line input is not a JSON object");
        }
        if (m_inString) {
            if (m_escaped)
                m_escaped = false;
            else if (c == '\\')
                m_escaped = true;
            else if (c == '"')
                m_inString = false;
            return false;
        }
        if (c == '"')
            m_inString = true;
        else if (c == '{' || c == '[')
            ++m_depth;
        else if (c == '}' || c == ']')
            --m_depth;
        return m_depth == 0;
    }

private:
    std::size_t m_depth = 0;
    bool m_inString = false;
    bool m_escaped = false;
};

} // namespace

std::string readFirstJsonObject(int fd, std::size_t maxBytes) {
    std::string input;
    ObjectEnd end;
    char buffer[65536];
    for (;;) {
        const ssize_t got = ::read(fd, buffer, sizeof buffer);
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0 && errno == EAGAIN) { // a non-blocking input: wait for more
            pollfd ready{fd, POLLIN, 0};
            ::poll(&ready, 1, -1);
            continue;
        }
        if (got < 0)
            throw ToolError("cannot read the status-line input: " + systemReason(errno));
        if (got == 0)
            throw ToolError("the status-line input ended before its JSON object did");
        for (ssize_t i = 0; i < got; ++i) {
            if (input.size() >= maxBytes)
                throw ToolError("the status-line input is larger than " +
                                std::to_string(maxBytes >> 20) + " MiB");
            input += buffer[i];
            if (end.feed(buffer[i]))
                return input;
        }
    }
}
