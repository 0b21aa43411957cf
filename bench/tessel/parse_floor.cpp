// The floor of a collect that checks every usage line in full: every regular file under the
// given folders read once, whole, and every line holding the folder's marker (the text a
// usage line of its tool holds) parsed with simdjson's DOM parser, which checks the line
// against the JSON grammar. Nothing is counted.
//
//   parse_floor MARKER FOLDER... [-- MARKER FOLDER...]...
//
// e.g. parse_floor '"usage"' ~/.claude -- '"token_count"' ~/.codex. Prints the files, bytes,
// lines parsed and lines refused.
#include <simdjson.h>

#include <fcntl.h>
#include <ftw.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <string_view>
#include <vector>

namespace {

std::string_view marker;
std::vector<char> buffer;
simdjson::dom::parser parser;
unsigned long long files, bytes, parsed, refused;

// Where the marker is next found at or after `from`; `end` when it is not.
size_t nextMarker(size_t from, size_t end) {
    const void *hit = memmem(buffer.data() + from, end - from, marker.data(), marker.size());
    return hit ? static_cast<size_t>(static_cast<const char *>(hit) - buffer.data()) : end;
}

int readOne(const char *path, const struct stat *info, int type, struct FTW *) {
    if (type != FTW_F)
        return 0;
    const int fd = ::open(path, O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return 0;
    const auto size = static_cast<size_t>(info->st_size);
    // The parser reads up to its padding past a line's end. The buffer only grows: shrinking
    // and growing again would fill it with zeros each time.
    if (buffer.size() < size + simdjson::SIMDJSON_PADDING)
        buffer.resize(size + simdjson::SIMDJSON_PADDING);
    size_t got = 0;
    for (ssize_t n; got < size && (n = ::read(fd, buffer.data() + got, size - got)) > 0;)
        got += static_cast<size_t>(n);
    ::close(fd);
    ++files;
    bytes += got;
    // From one marked line to the next, rather than line by line: most lines carry none.
    for (size_t at = 0, hit = nextMarker(0, got); hit < got;) {
        const void *before = memrchr(buffer.data() + at, '\n', hit - at);
        const size_t start =
            before ? static_cast<size_t>(static_cast<const char *>(before) - buffer.data()) + 1
                   : at;
        const void *after = std::memchr(buffer.data() + hit, '\n', got - hit);
        const size_t end =
            after ? static_cast<size_t>(static_cast<const char *>(after) - buffer.data()) : got;
        simdjson::dom::element root;
        ++parsed;
        if (parser.parse(buffer.data() + start, end - start, false).get(root))
            ++refused;
        at = end + 1;
        hit = at < got ? nextMarker(at, got) : got;
    }
    return 0;
}

} // namespace

int main(int argc, char **argv) {
    for (int i = 1; i < argc; ++i) {
        if (marker.empty() || std::string_view(argv[i]) == "--") {
            marker = std::string_view(argv[i]) == "--" && i + 1 < argc ? argv[++i] : argv[i];
            continue;
        }
        if (nftw(argv[i], readOne, 64, FTW_PHYS) != 0) {
            std::perror(argv[i]);
            return 1;
        }
    }
    std::printf("%llu files, %llu bytes, %llu lines parsed, %llu refused\n", files, bytes, parsed,
                refused);
    return 0;
}
