#include "LogFixture.h"

#include "providers/ProviderRegistry.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <sqlite3.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

namespace fs = std::filesystem;

void writeText(const std::string &path, const std::string &text) {
    fs::create_directories(fs::path(path).parent_path());
    std::ofstream(path, std::ios::binary | std::ios::trunc) << text;
}

void writeExecutable(const std::string &path, const std::string &text) {
    writeText(path, text);
    fs::permissions(path, fs::perms::owner_all);
}

void appendText(const std::string &path, const std::string &text) {
    fs::create_directories(fs::path(path).parent_path());
    std::ofstream(path, std::ios::binary | std::ios::app) << text;
}

void replaceText(const std::string &path, const std::string &text) {
    const std::string temporary = path + ".replacing";
    writeText(temporary, text);
    fs::rename(temporary, path);
}

std::string readText(const std::string &path) {
    std::ifstream file(path, std::ios::binary);
    std::ostringstream text;
    text << file.rdbuf();
    return text.str();
}

std::string claudeLine(const std::string &messageId, const std::optional<std::string> &requestId,
                       const std::string &timestamp, std::int64_t input, std::int64_t output,
                       std::int64_t cacheCreation, std::int64_t cacheRead,
                       const std::string &model) {
    std::string line = R"({"parentUuid":"p","isSidechain":false,"type":"assistant",)";
    line += R"("message":{"id":")" + messageId +
            R"(","type":"message","role":"assistant","model":")" + model +
            R"(","content":[{"type":"text","text":"done"}],"usage":{"input_tokens":)" +
            std::to_string(input) + R"(,"cache_creation_input_tokens":)" +
            std::to_string(cacheCreation) + R"(,"cache_read_input_tokens":)" +
            std::to_string(cacheRead) + R"(,"output_tokens":)" + std::to_string(output) + "}},";
    if (requestId)
        line += R"("requestId":")" + *requestId + R"(",)";
    line += R"("uuid":"u","timestamp":")" + timestamp + "\"}\n";
    return line;
}

std::string codexMeta(const std::string &timestamp, const std::string &payload) {
    return R"({"timestamp":")" + timestamp + R"(","type":"session_meta","payload":{"id":"s")" +
           payload + "}}\n";
}

namespace {

// A usage object of `total` tokens, a quarter of them output and half the input cached.
std::string codexTokens(std::int64_t total) {
    const std::int64_t input = total - total / 4;
    return R"({"input_tokens":)" + std::to_string(input) + R"(,"cached_input_tokens":)" +
           std::to_string(input / 2) + R"(,"output_tokens":)" + std::to_string(total / 4) +
           R"(,"total_tokens":)" + std::to_string(total) + "}";
}

} // namespace

std::string codexUsage(const std::string &timestamp, std::int64_t total, std::int64_t last) {
    std::string info = R"({"total_token_usage":)" + codexTokens(total);
    if (last != 0)
        info += R"(,"last_token_usage":)" + codexTokens(last < 0 ? total : last);
    return R"({"timestamp":")" + timestamp +
           R"(","type":"event_msg","payload":{"type":"token_count","info":)" + info +
           R"(},"rate_limits":null}})" + "\n";
}

std::string openCodeMessage(const std::string &id, std::int64_t createdMs, std::int64_t input,
                            std::int64_t output, std::int64_t reasoning, std::int64_t cacheRead,
                            std::int64_t cacheWrite) {
    return R"({"id":")" + id + R"(","role":"assistant","time":{"created":)" +
           std::to_string(createdMs) + R"(},"tokens":{"input":)" + std::to_string(input) +
           R"(,"output":)" + std::to_string(output) + R"(,"reasoning":)" +
           std::to_string(reasoning) + R"(,"cache":{"read":)" + std::to_string(cacheRead) +
           R"(,"write":)" + std::to_string(cacheWrite) + "}}}";
}

bool listedProcessesGone(const std::string &path) {
    std::istringstream ids(readText(path));
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    for (pid_t pid; ids >> pid;) {
        const auto running = [pid] {
            const std::string stat = readText("/proc/" + std::to_string(pid) + "/stat");
            return !stat.empty() && stat.find(") Z ") == std::string::npos;
        };
        while (running()) {
            if (std::chrono::steady_clock::now() > until)
                return false;
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
    }
    return true;
}

void LogTest::SetUp() {
    ASSERT_TRUE(temp.isValid());
    fs::create_directories(home);
    fs::create_directories(repo);
    environment.set("HOME", home);
    environment.set("PATH", std::getenv("PATH") ? std::getenv("PATH") : "/usr/bin:/bin");
    environment.set("XDG_CONFIG_HOME", home + "/.config");
    environment.set("TESSEL_NOW", "2026-03-14T12:00:00Z");
    setTimeZone("UTC0");
}

void LogTest::setTimeZone(const std::string &rule) {
    processEnvironment.set("TZ", rule);
    environment.set("TZ", rule);
}

UsageHistory LogTest::history() const {
    return readUsageHistory(usageFile()).value_or(UsageHistory{});
}

std::int64_t LogTest::tokens(const std::string &day, const std::string &provider) const {
    return history().tokens(*parseDay(day), provider);
}

std::map<std::string, std::optional<std::string>> LogTest::childEnvironment() const {
    std::map<std::string, std::optional<std::string>> variables{{"GIT_CONFIG_NOSYSTEM", "1"}};
    for (const char *name :
         {"XDG_DATA_HOME", "XDG_CONFIG_HOME", "XDG_STATE_HOME", "TESSEL_NOW", "TESSEL_GIT_TIMEOUT",
          "TESSEL_PUBLISH_PROJECTS", "COLUMNS", "TZ", "HOME", "PATH", "DISPLAY", "XAUTHORITY",
          "DBUS_SESSION_BUS_ADDRESS", "XDG_RUNTIME_DIR", "XDG_CURRENT_DESKTOP"})
        variables[name] = environment.get(name);
    for (const std::string_view name : logEnvironmentVariables())
        variables[std::string(name)] = environment.get(std::string(name));
    return variables;
}

ChildOutcome LogTest::run(const std::vector<std::string> &command,
                          const std::string &workingDirectory) const {
    return runChild(command, {workingDirectory.empty() ? repo : workingDirectory,
                              childEnvironment(), std::nullopt});
}

std::string LogTest::git(const std::string &folder, std::vector<std::string> arguments) const {
    arguments.insert(arguments.begin(), "git");
    const ChildOutcome outcome = run(arguments, folder);
    EXPECT_EQ(outcome.exitCode, 0) << outcome.standardError;
    return outcome.standardOutput;
}

void LogTest::initRepositoryWithRemote() const {
    git(root, {"init", "--quiet", "--bare", remote});
    git(repo, {"init", "--quiet"});
    git(repo, {"remote", "add", "origin", remote});
}

void runSql(const std::string &path, const std::string &sql) {
    fs::create_directories(fs::path(path).parent_path());
    sqlite3 *database = nullptr;
    ASSERT_EQ(sqlite3_open(path.c_str(), &database), SQLITE_OK);
    char *error = nullptr;
    EXPECT_EQ(sqlite3_exec(database, sql.c_str(), nullptr, nullptr, &error), SQLITE_OK)
        << (error ? error : "");
    sqlite3_free(error);
    sqlite3_close(database);
}

void writeOpenCodeDatabase(const std::string &path,
                           const std::vector<std::pair<std::string, std::string>> &rows) {
    std::string sql = "PRAGMA journal_mode=WAL; CREATE TABLE IF NOT EXISTS message (id TEXT "
                      "PRIMARY KEY, session_id TEXT, time_created INTEGER, data TEXT);";
    for (const auto &[id, data] : rows) {
        char *row = sqlite3_mprintf("INSERT OR REPLACE INTO message VALUES (%Q, 'ses_1', 0, %Q);",
                                    id.c_str(), data.c_str());
        sql += row;
        sqlite3_free(row);
    }
    runSql(path, sql);
}

std::map<std::string, std::int64_t> LogTest::figures(const std::string &provider) const {
    std::map<std::string, std::int64_t> result;
    for (const auto &[day, providers] : history().days)
        if (const auto found = providers.find(provider); found != providers.end() && found->second)
            result[formatDay(day)] = found->second;
    return result;
}

std::map<std::string, std::int64_t> LogTest::breakdownFigures(const std::string &provider) const {
    std::map<std::string, std::int64_t> result;
    const auto breakdown = readBreakdown(breakdownFile());
    if (!breakdown)
        return result;
    for (const auto &[key, figures] : breakdown->rows) {
        EXPECT_EQ(figures.split.sum(), figures.tokens) << formatDay(key.day);
        if (providerId(key.provider) == provider && figures.tokens != 0)
            result[formatDay(key.day)] += figures.tokens;
    }
    return result;
}

void LogTest::expectCounts(const std::vector<CountCase> &cases, const std::string &provider,
                           const std::string &prefix, const std::string &suffix) {
    const auto expect = [&](const CountCase &c, const char *how) {
        EXPECT_EQ(figures(provider), c.expected) << c.name << ", " << how;
        EXPECT_EQ(breakdownFigures(provider), c.expected) << c.name << ", " << how << ", breakdown";
    };
    for (const CountCase &c : cases) {
        fs::remove_all(fs::path(prefix).parent_path());
        fs::remove_all(repo + "/docs");
        bool replace = false;
        for (const auto &[name, text] : c.files) {
            const std::string path = prefix + name + suffix;
            for (size_t at = 0; at < text.size(); replace = !replace) {
                const size_t end = std::min(text.find('\n', at), text.size() - 1) + 1;
                if (replace && fs::exists(path))
                    replaceText(path, readText(path) + text.substr(at, end - at));
                else
                    appendText(path, text.substr(at, end - at));
                collect();
                at = end;
            }
        }
        expect(c, "collected line by line");
        for (const auto &[name, text] : c.files)
            replaceText(prefix + name + suffix, readText(prefix + name + suffix));
        collect();
        expect(c, "each file replaced by a copy");
        fs::remove_all(repo + "/docs");
        collect();
        expect(c, "collected at once");
    }
}

LoopbackRemote::LoopbackRemote(bool answers)
    : m_socket(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0)) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof address;
    ::bind(m_socket, reinterpret_cast<sockaddr *>(&address), size);
    ::listen(m_socket, 8);
    ::getsockname(m_socket, reinterpret_cast<sockaddr *>(&address), &size);
    url = "http://127.0.0.1:" + std::to_string(ntohs(address.sin_port)) + "/me/usage.git";
    if (!answers)
        return;
    // Accepting fails once the socket is shut down, which ends the thread.
    m_thread = std::thread([this] {
        for (int client; (client = ::accept(m_socket, nullptr, nullptr)) >= 0;) {
            char request[4096];
            [[maybe_unused]] const auto got = ::read(client, request, sizeof request);
            const std::string reply = "HTTP/1.1 401 Unauthorized\r\nWWW-Authenticate: Basic "
                                      "realm=\"git\"\r\nContent-Length: 0\r\nConnection: "
                                      "close\r\n\r\n";
            [[maybe_unused]] const auto sent = ::write(client, reply.data(), reply.size());
            ::close(client);
        }
    });
}

LoopbackRemote::~LoopbackRemote() {
    ::shutdown(m_socket, SHUT_RDWR);
    ::close(m_socket);
    if (m_thread.joinable())
        m_thread.join();
}
