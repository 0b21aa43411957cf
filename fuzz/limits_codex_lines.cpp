// Codex rollouts as report limits reads them: every line's rate limits, then the whole file
// scanned twice, the second time from what the first kept, which must find the same lines.
// Whatever they hold, the tray utility takes what the tool prints of them.
#include "LimitsCheck.h"

#include "limits/CodexLimits.h"
#include "limits/LimitLogScan.h"

#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, size_t size) {
    const std::string_view text(reinterpret_cast<const char *>(data), size);
    std::vector<LimitObservation> readings;
    std::vector<std::string> warnings;
    for (size_t at = 0; at < text.size();) {
        const size_t end = std::min(text.find('\n', at), text.size());
        const auto windows = codex::parseRateLimits(text.substr(at, end - at), warnings);
        readings.insert(readings.end(), windows.begin(), windows.end());
        at = end + 1;
    }
    checkPrintedLimits(readings);

    static const int fd = ::memfd_create("fuzz-rollout", MFD_CLOEXEC);
    if (fd < 0 || ::ftruncate(fd, 0) != 0 ||
        ::pwrite(fd, data, size, 0) != static_cast<ssize_t>(size))
        std::abort();
    struct stat info {};
    ::fstat(fd, &info);
    const RecentFile file{"/proc/self/fd/" + std::to_string(fd),
                          info.st_mtim.tv_sec,
                          info.st_mtim.tv_sec * std::int64_t{1000000000} + info.st_mtim.tv_nsec,
                          info.st_dev,
                          info.st_ino,
                          static_cast<std::uint64_t>(info.st_size)};
    const LimitLineReader reader{"\"rate_limits\"", 1 << 20, 5 * 3600,
                                 [](std::string_view line, std::vector<std::string> &found) {
                                     return codex::parseRateLimits(line, found);
                                 }};
    std::map<std::string, ScannedLog> state;
    const LimitLogScan first = scanLimitLines(reader, {file}, state, warnings);
    LimitsScanState whole;
    whole.of(LimitLogKind::codexRateLimits) = state;
    const auto kept = decodeScanState(encodeScanState(whole));
    if (!kept || *kept != whole)
        std::abort();
    state = kept->logs[0];
    const LimitLogScan again = scanLimitLines(reader, {file}, state, warnings);
    if (again.newest != first.newest || !again.seen.empty())
        std::abort();
    checkPrintedLimits(first.newest);
    return 0;
}
