#include "commands/X11Selection.h"

#include "base/AtomicFile.h"

#include <algorithm>
#include <cerrno>
#include <cstddef>
#include <cstring>
#include <fcntl.h>
#include <netdb.h>
#include <optional>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace {

using Clock = std::chrono::steady_clock;

constexpr std::uint8_t internAtomRequest = 16;
constexpr std::uint8_t getSelectionOwnerRequest = 23;
constexpr std::string_view cookieName = "MIT-MAGIC-COOKIE-1";

std::optional<int> number(std::string_view text) {
    if (text.empty() || text.size() > 6)
        return std::nullopt;
    int value = 0;
    for (const char c : text) {
        if (c < '0' || c > '9')
            return std::nullopt;
        value = value * 10 + (c - '0');
    }
    return value;
}

class Connection {
public:
    Connection(const X11Display &display, Clock::time_point deadline) : m_deadline(deadline) {
        if (display.socketPath.empty())
            connectTcp(display);
        else if (!connectLocal(std::string(1, '\0') + display.socketPath) &&
                 !connectLocal(display.socketPath))
            throw X11Error("cannot connect to the X display at " + display.socketPath + ": " +
                           systemReason(errno));
    }
    ~Connection() {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    Connection(const Connection &) = delete;
    Connection &operator=(const Connection &) = delete;

    void send(const std::string &bytes) {
        for (size_t sent = 0; sent < bytes.size();) {
            wait(POLLOUT);
            const ssize_t n = ::send(m_fd, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
            if (n < 0 && (errno == EAGAIN || errno == EINTR))
                continue;
            if (n <= 0)
                throw X11Error("the X display closed the connection");
            sent += static_cast<size_t>(n);
        }
    }
    std::string receive(size_t size) {
        std::string bytes(size, '\0');
        for (size_t got = 0; got < size;) {
            wait(POLLIN);
            const ssize_t n = ::recv(m_fd, bytes.data() + got, size - got, 0);
            if (n < 0 && (errno == EAGAIN || errno == EINTR))
                continue;
            if (n <= 0)
                throw X11Error("the X display closed the connection");
            got += static_cast<size_t>(n);
        }
        return bytes;
    }

private:
    bool connectLocal(const std::string &path) {
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        if (path.size() >= sizeof address.sun_path)
            return false;
        std::memcpy(address.sun_path, path.data(), path.size());
        const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
        if (fd < 0)
            return false;
        const auto size = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + path.size() +
                                                 (path.front() == '\0' ? 0 : 1));
        if (::connect(fd, reinterpret_cast<sockaddr *>(&address), size) != 0) {
            const int error = errno;
            ::close(fd);
            errno = error;
            return false;
        }
        m_fd = fd;
        return true;
    }

    void connectTcp(const X11Display &display) {
        addrinfo hints{};
        hints.ai_family = AF_UNSPEC;
        hints.ai_socktype = SOCK_STREAM;
        addrinfo *found = nullptr;
        if (::getaddrinfo(display.host.c_str(), std::to_string(display.port).c_str(), &hints,
                          &found) != 0 ||
            !found)
            throw X11Error("cannot find the X display's host " + display.host);
        m_fd = ::socket(found->ai_family, found->ai_socktype | SOCK_CLOEXEC | SOCK_NONBLOCK,
                        found->ai_protocol);
        const int result = m_fd < 0 ? -1 : ::connect(m_fd, found->ai_addr, found->ai_addrlen);
        ::freeaddrinfo(found);
        if (result != 0 && errno != EINPROGRESS)
            throw X11Error("cannot connect to the X display on " + display.host + ": " +
                           systemReason(errno));
        wait(POLLOUT);
        int error = 0;
        socklen_t size = sizeof error;
        if (::getsockopt(m_fd, SOL_SOCKET, SO_ERROR, &error, &size) != 0 || error != 0)
            throw X11Error("cannot connect to the X display on " + display.host + ": " +
                           systemReason(error));
    }

    void wait(short events) {
        for (;;) {
            const auto left =
                std::chrono::duration_cast<std::chrono::milliseconds>(m_deadline - Clock::now());
            if (left.count() <= 0)
                throw X11Error("the X display did not answer in time");
            pollfd ready{m_fd, events, 0};
            const int n = ::poll(&ready, 1, static_cast<int>(left.count()));
            if (n > 0)
                return;
            if (n < 0 && errno != EINTR)
                throw X11Error("cannot wait for the X display: " + systemReason(errno));
        }
    }

    int m_fd = -1;
    Clock::time_point m_deadline;
};

void put16(std::string &bytes, std::uint16_t value) {
    bytes += static_cast<char>(value & 0xff);
    bytes += static_cast<char>(value >> 8);
}

void put32(std::string &bytes, std::uint32_t value) {
    put16(bytes, static_cast<std::uint16_t>(value & 0xffff));
    put16(bytes, static_cast<std::uint16_t>(value >> 16));
}

void putPadded(std::string &bytes, std::string_view text) {
    bytes.append(text);
    bytes.append((4 - text.size() % 4) % 4, '\0');
}

std::uint32_t get32(const std::string &bytes, size_t at) {
    std::uint32_t value = 0;
    for (size_t i = 0; i < 4; ++i)
        value |= static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[at + i])) << (8 * i);
    return value;
}

// The display's MIT-MAGIC-COOKIE-1 from an Xauthority file: an entry for this host's local
// connections or for any host, with the display's number. Empty when there is none.
std::string cookieFor(const X11Display &display, const std::string &path) {
    std::string file;
    try {
        file = readWholeFile(path, 1 << 20);
    } catch (const FileError &) {
        return {};
    }
    char host[256] = {};
    ::gethostname(host, sizeof host - 1);
    constexpr std::uint16_t familyLocal = 256, familyWild = 65535;
    std::string fallback;
    size_t at = 0;
    const auto field = [&](std::string &into) {
        if (file.size() - at < 2)
            return false;
        const size_t size = static_cast<size_t>(static_cast<unsigned char>(file[at]) << 8 |
                                                static_cast<unsigned char>(file[at + 1]));
        if (file.size() - at - 2 < size)
            return false;
        into = file.substr(at + 2, size);
        at += 2 + size;
        return true;
    };
    while (file.size() - at >= 2) {
        const auto family = static_cast<std::uint16_t>(static_cast<unsigned char>(file[at]) << 8 |
                                                       static_cast<unsigned char>(file[at + 1]));
        at += 2;
        std::string address, displayNumber, name, data;
        if (!field(address) || !field(displayNumber) || !field(name) || !field(data))
            break;
        if (name != cookieName ||
            (!displayNumber.empty() && displayNumber != std::to_string(display.number)))
            continue;
        if (family == familyWild || (family == familyLocal && address == host))
            return data;
        if (fallback.empty())
            fallback = data;
    }
    return fallback;
}

void checkReply(const std::string &header, const char *request) {
    if (header[0] == 0)
        throw X11Error(std::string("the X display refused ") + request + " (error " +
                       std::to_string(static_cast<unsigned char>(header[1])) + ")");
}

} // namespace

X11Display parseDisplay(const std::string &value) {
    X11Display display;
    const size_t colon = value.rfind(':');
    std::string_view numbers =
        colon == std::string::npos ? std::string_view() : std::string_view(value).substr(colon + 1);
    const std::string before = value.substr(0, colon);
    const size_t dot = numbers.find('.');
    const auto displayNumber = number(numbers.substr(0, dot));
    const auto screen =
        dot == std::string_view::npos ? std::optional<int>(0) : number(numbers.substr(dot + 1));
    if (colon == std::string::npos || !displayNumber || !screen)
        throw X11Error("DISPLAY '" + value + "' is not an X display name");
    display.number = *displayNumber;
    display.screen = *screen;
    if (!before.empty() && before.front() == '/')
        display.socketPath = before;
    else if (before.empty() || before == "unix")
        display.socketPath = "/tmp/.X11-unix/X" + std::to_string(display.number);
    else {
        display.host = before;
        display.port = 6000 + display.number;
    }
    return display;
}

std::uint32_t selectionOwner(const X11Display &display, const std::string &xauthority,
                             const std::string &selection, std::chrono::milliseconds deadline) {
    Connection connection(display, Clock::now() + deadline);
    const std::string cookie = cookieFor(display, xauthority);
    std::string setup;
    setup += 'l'; // little-endian requests and replies
    setup += '\0';
    put16(setup, 11);
    put16(setup, 0);
    put16(setup, static_cast<std::uint16_t>(cookie.empty() ? 0 : cookieName.size()));
    put16(setup, static_cast<std::uint16_t>(cookie.size()));
    put16(setup, 0);
    if (!cookie.empty()) {
        putPadded(setup, cookieName);
        putPadded(setup, cookie);
    }
    connection.send(setup);
    const std::string accepted = connection.receive(8);
    const std::uint16_t extra = static_cast<std::uint16_t>(
        static_cast<unsigned char>(accepted[6]) | static_cast<unsigned char>(accepted[7]) << 8);
    const std::string details = connection.receive(size_t(extra) * 4);
    if (accepted[0] != 1) {
        const size_t reasonSize = static_cast<unsigned char>(accepted[1]);
        throw X11Error("the X display refused the connection: " +
                       details.substr(0, std::min(reasonSize, details.size())));
    }

    std::string intern;
    intern += static_cast<char>(internAtomRequest);
    intern += '\1'; // only if it exists: a name nobody used has no owner
    put16(intern, static_cast<std::uint16_t>(2 + (selection.size() + 3) / 4));
    put16(intern, static_cast<std::uint16_t>(selection.size()));
    put16(intern, 0);
    putPadded(intern, selection);
    connection.send(intern);
    const std::string atomReply = connection.receive(32);
    checkReply(atomReply, "InternAtom");
    const std::uint32_t atom = get32(atomReply, 8);
    if (atom == 0)
        return 0;

    std::string owner;
    owner += static_cast<char>(getSelectionOwnerRequest);
    owner += '\0';
    put16(owner, 2);
    put32(owner, atom);
    connection.send(owner);
    const std::string ownerReply = connection.receive(32);
    checkReply(ownerReply, "GetSelectionOwner");
    return get32(ownerReply, 8);
}
