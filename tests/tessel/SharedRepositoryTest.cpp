// One usage repository shared by several machines: copied homes, machines syncing at the same
// moment, and what anyone who can push to it may put there (other machines' files, attributes,
// links). Local bare repositories only.
#include "LogFixture.h"

#include "history/MachineHistory.h"
#include "history/RepositoryFiles.h"

#include <sys/stat.h>

#include <filesystem>
#include <functional>
#include <thread>

namespace fs = std::filesystem;
using ::testing::Not;

namespace {

class SharedRepositoryTest : public LogTest {
protected:
    // A user account on a host: its home (logs, machine id) and its clone of the repository.
    struct Machine {
        std::string home, repo;
        std::optional<std::string> host; // stands in for the host's machine id and name
    };

    Machine machine(const std::string &name) const {
        return {root + "/" + name + "/home", root + "/" + name + "/repo", std::nullopt};
    }

    ChildOutcome on(const Machine &m, std::vector<std::string> arguments) const {
        arguments.insert(arguments.begin(), TESSEL_BINARY);
        auto variables = childEnvironment();
        variables["HOME"] = m.home;
        variables["XDG_CONFIG_HOME"] = m.home + "/.config";
        variables["TESSEL_HOST"] = m.host;
        fs::create_directories(m.repo);
        return runChild(arguments, {m.repo, variables, std::chrono::seconds(90)});
    }
    ChildOutcome sync(const Machine &m) const {
        ChildOutcome outcome = on(m, {"run", "daily", "--repo-dir", m.repo});
        EXPECT_EQ(outcome.exitCode, 0) << m.repo << ": " << outcome.standardError;
        return outcome;
    }
    // One Claude Code message of `tokens` on `day`, in the machine's own log file.
    void use(const Machine &m, const std::string &day, std::int64_t tokens) {
        const std::string id = "m" + std::to_string(++m_messages);
        appendText(m.home + "/.claude/projects/p/" +
                       fs::path(m.home).parent_path().filename().string() + ".jsonl",
                   claudeLine(id, "r", day + "T10:00:00Z", tokens, 0));
        m_expected[day] += tokens;
    }
    void clone(const Machine &m) const { git(root, {"clone", "--quiet", remote, m.repo}); }
    std::string machineId(const Machine &m) const {
        const std::string text = readText(m.home + "/.local/share/tessel/machine-id");
        return text.substr(0, text.find('\n'));
    }

    // The published sum is every message counted once, and each machine's file in the remote
    // is the one that machine keeps.
    void expectPublishedExactly(const std::vector<Machine> &machines, const std::string &label) {
        const UsageHistory sum = parseUsageHistory(git(remote, {"show", "HEAD:docs/usage.json"}));
        std::map<std::string, std::int64_t> days;
        for (const auto &[day, providers] : sum.days)
            days[formatDay(day)] = sum.dayTotal(day);
        EXPECT_EQ(days, m_expected) << label;
        for (const Machine &m : machines) {
            const std::string id = machineId(m);
            EXPECT_EQ(git(remote, {"show", "HEAD:docs/machines/" + id + ".json"}),
                      readText(m.repo + "/docs/machines/" + id + ".json"))
                << label << " " << m.repo;
        }
    }

    std::map<std::string, std::int64_t> m_expected;
    int m_messages = 0;
};

// A home folder copied to another machine keeps the machine id (and often the repository and
// the logs read so far). Whichever way the copy is found out, every sync succeeds, the copy
// moves to a new id, and the sum counts each message once.
TEST_F(SharedRepositoryTest, ACopiedHomeMovesToANewIdAndKeepsEveryDayOfBoth) {
    const struct Case {
        const char *name;
        bool repositoryCopied; // else a fresh clone
        bool logsCopied;       // else a home of its own with only the id file copied
        bool otherHost;        // found by the host recorded with the id, else by the remote
    } cases[] = {
        {"home and repository copied, same host", true, true, false},
        {"home and repository copied, another host", true, true, true},
        {"home copied, repository cloned afresh", false, true, false},
        {"only the id file copied, both new", false, false, false},
    };
    for (const Case &c : cases) {
        fs::remove_all(root + "/a");
        fs::remove_all(root + "/b");
        fs::remove_all(remote);
        m_expected.clear();
        git(root, {"init", "--quiet", "--bare", remote});
        Machine a = machine("a"), b = machine("b");
        clone(a);
        use(a, "2026-03-10", 100);
        sync(a);
        fs::create_directories(root + "/b");
        if (c.logsCopied) {
            fs::copy(a.home, b.home, fs::copy_options::recursive);
        } else {
            fs::create_directories(b.home + "/.local/share/tessel");
            fs::copy(a.home + "/.local/share/tessel/machine-id",
                     b.home + "/.local/share/tessel/machine-id");
        }
        if (c.repositoryCopied)
            fs::copy(a.repo, b.repo, fs::copy_options::recursive);
        else
            clone(b);
        if (c.otherHost)
            b.host = "another host";
        const std::string copiedId = machineId(a);

        std::string notes;
        for (int round = 1; round <= 2; ++round) {
            use(a, "2026-03-14", 20 * round);
            use(b, "2026-03-14", 3 * round);
            use(b, "2026-03-1" + std::to_string(round), 4000);
            sync(a);
            notes += sync(b).standardError;
            sync(a);
        }
        EXPECT_THAT(notes, HasSubstr("a copied home folder or a cloned system")) << c.name;
        EXPECT_EQ(machineId(a), copiedId) << c.name;
        EXPECT_NE(machineId(b), copiedId) << c.name;
        expectPublishedExactly({a, b}, c.name);
        // A collect between syncs counts nothing twice either.
        on(b, {"collect"});
        EXPECT_EQ(parseUsageHistory(readText(b.repo + "/docs/usage.json")),
                  parseUsageHistory(git(remote, {"show", "HEAD:docs/usage.json"})))
            << c.name;
    }
}

// A host renamed (or its machine id regenerated) moves to a new id too: its old file stays,
// and nothing it counted is published twice, in any repository it publishes to.
TEST_F(SharedRepositoryTest, AMachineMovedToANewIdOnItsOwnCountsNothingTwice) {
    const std::string remotes[] = {remote, root + "/second.git"};
    Machine a = machine("a");
    Machine second = {a.home, root + "/a/second", std::nullopt};
    for (const auto &[folder, clone] : {std::pair{remotes[0], a.repo}, {remotes[1], second.repo}}) {
        git(root, {"init", "--quiet", "--bare", folder});
        git(root, {"clone", "--quiet", folder, clone});
    }
    use(a, "2026-03-12", 70);
    sync(a);
    sync(second);
    for (const char *host : {"renamed", "renamed again"}) {
        a.host = second.host = host;
        use(a, "2026-03-14", 5);
        EXPECT_THAT(sync(a).standardError, HasSubstr("made on another host"));
        use(a, "2026-03-13", 6);
        sync(a);
        sync(second);
    }
    for (const std::string &published : remotes) {
        remote = published;
        expectPublishedExactly({published == remotes[0] ? a : second}, published);
        const std::string files = git(remote, {"ls-tree", "--name-only", "HEAD", "docs/machines/"});
        EXPECT_EQ(std::count(files.begin(), files.end(), '\n'), 3) << published;
    }
    // What the machine inherited is kept for its current id only.
    for (const std::string &clone : {a.repo, second.repo}) {
        std::vector<std::string> inherited;
        for (const auto &entry : fs::directory_iterator(clone + "/docs"))
            if (entry.path().filename().string().starts_with(".tessel-state.inherited-"))
                inherited.push_back(entry.path().filename().string());
        EXPECT_EQ(inherited,
                  std::vector<std::string>{".tessel-state.inherited-" + machineId(a) + ".json"});
    }
}

// Five machines syncing at the same moment, ten times over: every sync gets through (a push
// another overtook is tried again after a random pause) and the sum is exact.
TEST_F(SharedRepositoryTest, FiveMachinesSyncingAtOnceAllGetThroughAndAddUp) {
    environment.set("TESSEL_GIT_TIMEOUT", "60");
    git(root, {"init", "--quiet", "--bare", remote});
    std::vector<Machine> machines;
    for (int i = 0; i < 5; ++i) {
        machines.push_back(machine("m" + std::to_string(i)));
        clone(machines.back());
    }
    for (int round = 0; round < 10; ++round) {
        for (int i = 0; i < 5; ++i)
            use(machines[i], round % 2 ? "2026-03-14" : "2026-03-13", 1 + round * 5 + i);
        std::vector<std::thread> syncs;
        for (const Machine &m : machines)
            syncs.emplace_back([this, &m] { sync(m); });
        for (std::thread &running : syncs)
            running.join();
    }
    for (const Machine &m : machines)
        sync(m); // each takes in the others' last round
    expectPublishedExactly(machines, "five at once");
}

// Another machine's file is outside input. One past the bounds is left out of the sum, named
// with its host; the rest is summed, and no figure anywhere falls below zero.
TEST_F(SharedRepositoryTest, HostileMachineFilesAreLeftOutNamedWithTheirHost) {
    const auto row = [](const std::string &day, const std::string &providers) {
        return R"({"day":")" + day + R"(","providers":{)" + providers + "}}";
    };
    const auto file = [](const std::vector<std::string> &rows) {
        std::string text = R"({"host":"mallory","rows":[)";
        for (const std::string &r : rows)
            text += (&r == &rows.front() ? "" : ",") + r;
        return text + "]}";
    };
    std::vector<std::string> manyRows, manyProviders;
    for (DayNumber day = 0; day <= 10'000; ++day)
        manyRows.push_back(row(formatDay(day), R"("codex":1)"));
    for (int i = 0; i <= 32; ++i)
        manyProviders.push_back("\"p" + std::to_string(i) + "\":1");
    std::string wide;
    for (const std::string &p : manyProviders)
        wide += (wide.empty() ? "" : ",") + p;
    const struct Case {
        const char *name;
        std::string text; // empty: `special` makes it
        std::string reason;
        std::function<void(const std::string &)> special = nullptr;
    } cases[] = {
        {"below zero", file({row("2026-03-14", R"("claude":-999999999954715)")}),
         "is not between 0 and"},
        {"lowest figure", file({row("2026-03-14", R"("codex":-9223372036854775808)")}),
         "is not between 0 and"},
        {"past the bound", file({row("2026-03-14", R"("codex":1000000000000001)")}),
         "is not between 0 and 1000000000000000"},
        {"before 1970", file({row("1969-12-31", R"("codex":1)")}), "before 1970"},
        {"blank in a name", file({row("2026-03-14", R"("my tool":1)")}), "provider name"},
        {"markup in a name", file({row("2026-03-14", R"("<b>x</b>":1)")}), "provider name"},
        {"a look-alike letter", file({row("2026-03-14", "\"cl\u0430ude\":1")}), "provider name"},
        {"33 letters", file({row("2026-03-14", "\"" + std::string(33, 'x') + "\":1")}),
         "provider name"},
        {"too many rows", file(manyRows), "10001 rows"},
        {"too many providers", file({row("2026-03-14", wide)}), "33 providers"},
        {"too large", file({row("2026-03-14", R"("codex":1)")}) + std::string(5 << 20, ' '),
         "larger than 4 MiB"},
        {"not JSON", "{\"host\":\"mallory\",", "is not a usage file"},
        {"a link", "", "symbolic link",
         [&](const std::string &path) {
             writeText(root + "/outside.json", file({row("2026-03-14", R"("codex":5)")}));
             fs::create_symlink(root + "/outside.json", path);
         }},
        {"a FIFO", "", "not a regular file",
         [](const std::string &path) { ASSERT_EQ(::mkfifo(path.c_str(), 0600), 0); }},
        {"a folder", "", "not a regular file",
         [](const std::string &path) { fs::create_directories(path); }},
    };
    const RepositoryFiles files(repo);
    const std::string sound = files.machines + "/0sound.json";
    writeText(sound, R"({"host":"alice","rows":[)" + row("2026-03-14", R"("gemini":7,"codex":1)") +
                         "," + row("2026-03-15", R"("codex":2)") + "," +
                         row("2026-03-16", R"("codex":1000)") + "]}");
    const DayNumber today = *parseDay("2026-03-14");
    for (const Case &c : cases) {
        const std::string path = files.machines + "/hostile.json";
        fs::remove_all(path);
        if (c.special)
            c.special(path);
        else
            writeText(path, c.text);
        std::vector<std::string> warnings;
        const UsageHistory sum = summedHistory(files, today, warnings);
        EXPECT_EQ(sum.dayTotal(today), 8) << c.name;
        EXPECT_EQ(sum.dayTotal(today + 1), 2) << c.name; // tomorrow counts, a later day not
        EXPECT_FALSE(sum.days.contains(today + 2)) << c.name;
        ASSERT_EQ(warnings.size(), 2u) << c.name;
        EXPECT_THAT(warnings[0], HasSubstr("docs/machines/0sound.json (host \"alice\") out of the "
                                           "sum, from 2026-03-16"));
        EXPECT_THAT(warnings[1],
                    HasSubstr("left out of the sum: docs/machines/hostile.json (host "))
            << c.name;
        EXPECT_THAT(warnings[1], HasSubstr(c.reason)) << c.name;
        if (!c.special && c.reason != "is not a usage file" && c.reason != "larger than 4 MiB") {
            EXPECT_THAT(warnings[1], HasSubstr("mallory")) << c.name;
        }
    }

    // Published, and shown by report today, with a damaged sum in place: never below zero.
    fs::remove_all(files.machines + "/hostile.json");
    writeText(files.machines + "/hostile.json",
              file({row("2026-03-14", R"("claude":-999999999954715)")}));
    initRepositoryWithRemote();
    writeText(session(), claudeLine("mine", "r", "2026-03-14T09:00:00Z", 30, 0));
    const ChildOutcome daily = runToolOk({"run", "daily", "--repo-dir", repo});
    EXPECT_THAT(daily.standardError, HasSubstr("hostile.json (host \"mallory\")"));
    EXPECT_THAT(readText(repo + "/docs/README.md"), HasSubstr("| **Total** | **38** |"));
    EXPECT_THAT(readText(repo + "/docs/heatmap.svg"), HasSubstr("2026-03-14: 38 tokens"));
    writeText(usageFile(),
              R"({"rows":[)" + row("2026-03-14", R"("claude":-999,"codex":-5)") + "]}");
    EXPECT_THAT(runToolOk({"report", "today", "--json"}).standardOutput,
                HasSubstr(R"("claude","total_tokens":0})"));
}

// What anyone who can push may commit: attributes for the tool's files, and links in their
// place. Attributes change nothing the tool writes; a link is refused or left alone, and
// nothing is ever written outside the repository.
TEST_F(SharedRepositoryTest, CommittedAttributesAndLinksCannotHurt) {
    const std::string attributes[] = {
        "docs/machines/*.json working-tree-encoding=UTF-16\n",
        "docs/** text eol=crlf\n",
        "docs/** filter=strict ident\n",
        "docs/machines/*.json merge=union\n",
    };
    git(root, {"init", "--quiet", "--bare", remote});
    Machine a = machine("a"), b = machine("b");
    clone(a);
    use(a, "2026-03-14", 10);
    sync(a);
    clone(b);
    // A filter configured for every repository (as git-lfs does) that would fail on the
    // tool's files.
    for (const Machine &m : {a, b})
        for (const auto &[key, value] : {std::pair{"filter.strict.clean", "false"},
                                         std::pair{"filter.strict.required", "true"}})
            git(m.repo, {"config", key, value});
    for (const std::string &line : attributes) {
        writeText(b.repo + "/.gitattributes", line);
        git(b.repo, {"add", ".gitattributes"});
        git(b.repo, {"-c", "user.name=m", "-c", "user.email=m@x", "commit", "-q", "-m", "attrs"});
        use(a, "2026-03-14", 1);
        use(b, "2026-03-14", 2);
        sync(b);
        sync(a);
        sync(b);
        expectPublishedExactly({a, b}, line);
        EXPECT_EQ(readText(a.repo + "/docs/usage.json"), readText(b.repo + "/docs/usage.json"))
            << line;
    }

    const std::string outside = root + "/outside";
    const struct Case {
        const char *name;
        std::string link, target; // in the repository, relative; target absolute
        bool syncGoesOn;          // else refused, naming the link
    } links[] = {
        {"docs", "docs", outside, false},
        {"docs/machines", "docs/machines", outside, false},
        {"the lock", "docs/.tessel-state.lock", outside + "/lock", false},
        {"the sum", "docs/usage.json", outside + "/usage.json", false},
        {"this machine's file", "docs/machines/" + machineId(a) + ".json", outside + "/mine.json",
         false},
        {"the README", "docs/README.md", outside + "/README.md", true},
    };
    for (const Case &c : links) {
        fs::remove_all(outside);
        fs::create_directories(outside);
        const std::string path = a.repo + "/" + c.link;
        const std::string aside = root + "/aside";
        fs::remove_all(aside);
        if (fs::exists(fs::symlink_status(path)))
            fs::rename(path, aside);
        fs::create_symlink(c.target, path);
        use(a, "2026-03-14", 1);
        for (const char *command : {"collect", "daily"}) {
            const ChildOutcome outcome = command == std::string("collect")
                                             ? on(a, {"collect"})
                                             : on(a, {"run", "daily", "--repo-dir", a.repo});
            EXPECT_EQ(outcome.exitCode, c.syncGoesOn ? 0 : 1) << c.name << outcome.standardError;
            if (!c.syncGoesOn) {
                EXPECT_THAT(outcome.standardError, HasSubstr(c.link + ": a symbolic link"))
                    << c.name;
            }
        }
        EXPECT_TRUE(fs::is_empty(outside)) << c.name;
        fs::remove(path);
        if (fs::exists(fs::symlink_status(aside)))
            fs::rename(aside, path);
        else
            git(a.repo, {"checkout", "--", c.link});
    }
    sync(a);
    sync(b);
    expectPublishedExactly({a, b}, "after the links");
}

} // namespace
