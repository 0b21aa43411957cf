// The cheapest tool that answers the menu's four refresh commands with the documents the real
// tool prints for them: fixed texts, no work.
#include <cstdio>
#include <cstring>

namespace {

bool is(int argc, char **argv, int index, const char *word) {
    return argc > index && std::strcmp(argv[index], word) == 0;
}

} // namespace

int main(int argc, char **argv) {
    if (is(argc, argv, 1, "report") && is(argc, argv, 2, "today"))
        std::fputs("{\"rows\":[{\"day\":\"2026-12-06\",\"provider\":\"claude\",\"total_tokens\":"
                   "1250000},{\"day\":\"2026-12-06\",\"provider\":\"codex\",\"total_tokens\":"
                   "830000},{\"day\":\"2026-12-06\",\"provider\":\"opencode\",\"total_tokens\":"
                   "12000}]}\n",
                   stdout);
    else if (is(argc, argv, 1, "report") && is(argc, argv, 2, "limits"))
        std::fputs("{\"windows\":[{\"provider\":\"codex\",\"window_minutes\":300,\"status\":"
                   "\"current\",\"used_percent\":42.5,\"resets_at\":1765036800,\"observed_at\":"
                   "1765020000,\"source\":\"codex-log\",\"pace\":{\"projected_percent\":71.2,"
                   "\"reached_at\":null}},{\"provider\":\"codex\",\"window_minutes\":10080,"
                   "\"status\":\"current\",\"used_percent\":18,\"resets_at\":1765400000,"
                   "\"observed_at\":1765020000,\"source\":\"codex-log\",\"pace\":null},"
                   "{\"provider\":\"claude\",\"window_minutes\":300,\"status\":\"current\","
                   "\"used_percent\":63,\"resets_at\":1765030000,\"observed_at\":1765019000,"
                   "\"source\":\"claude-statusline\",\"pace\":null}]}\n",
                   stdout);
    else if (is(argc, argv, 1, "schedule") && is(argc, argv, 2, "status"))
        std::fputs("unit: tesselmenu-sync.timer\nloaded: true\n", stdout);
    return 0;
}
