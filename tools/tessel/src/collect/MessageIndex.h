#pragma once

#include "collect/Contribution.h"
#include "collect/Pricing.h"
#include "history/Breakdown.h"
#include "providers/UsageRecord.h"

#include "base/MappedFile.h"
#include "base/SpillFile.h"

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <vector>

// Every copy of every message counted so far, by identity (the message's key) and source (the
// file it was read from), each with its contribution. Of the copies of one message the one
// with the largest rank counts (ties are broken by what they contain, never by which was read
// first, so the figures do not depend on when collect ran); of the messages whose best copies
// share a content, the one with the smallest key. Because every copy is kept, a file
// read again from its start takes back exactly what it gave, and a copy it no longer holds
// hands the count to the next copy elsewhere.
//
// What was loaded stays the state file's sorted records, searched in place and never copied
// into memory whole; the copies of a message touched in this run are brought into a hash table that
// overrides them, and the two are merged in one pass when the index is saved. A copy costs
// 12 bytes of identity, 4 of offset and about 17 of contribution in the file (see
// Contribution.h), and 16 bytes plus its contribution in memory.
class MessageIndex {
public:
    // What counting needs besides the copies: the day totals it moves, the names of models
    // and how a request is priced.
    struct Counting {
        DayTotals &totals;
        const NameTable &names;
        const Pricing &pricing;
    };

    // Adds a batch of copies, each with its key (never 0) and source. Of several copies of one
    // message from the same source the best one stands for that source.
    void merge(const std::vector<UsageRecord> &batch, Counting &counting);

    // Takes back every copy read from the given sources, for files read again from their start.
    void retract(const std::unordered_set<std::uint32_t> &sources, Counting &counting);

    // Copies held in memory before they go to a file beside `beside`, the state file (see
    // above). Without a call they all stay in memory.
    // (A little under a power of two, so that the hash table of this run stays at its size.)
    static constexpr std::size_t defaultHeldCopies = (std::size_t{1} << 19) - 4096;
    void spillInto(std::string beside, std::size_t heldCopies = defaultHeldCopies);

    // The breakdown rows (day, tool, model, project) that contributions refer to by index.
    const std::vector<BreakdownKey> &rows() const { return m_rows; }

    // At least the number of copies (removed ones may be among them).
    std::size_t sizeHint() const { return m_storedCount + m_copies.size(); }

    // Hands out every copy still held, in order of key and source, with its contribution and
    // that contribution's encoding. Afterwards the index is only good for destruction.
    using Visitor = std::function<void(std::uint64_t key, std::uint32_t source,
                                       const Contribution &contribution, std::string_view encoded)>;
    void forEachSorted(const Visitor &visit);

    // The stored form: `count` records (key, source, contribution) back to back in `body`,
    // and their offsets into it. True when they are sorted by key and source without repeats,
    // decode as contributions of the given rows and fill the body exactly.
    // `hasContents` tells whether any of them has a content.
    // `done` is told of the stretches of bytes it has checked, as it goes.
    using BytesDone = std::function<void(const char *from, const char *to)>;
    static bool validStored(const char *body, std::size_t bodySize, const char *offsets,
                            std::size_t count, std::size_t rowCount, bool &hasContents,
                            const BytesDone &done = {});
    // Takes the rows and `count` valid stored records, which `owner` keeps alive and which are
    // read in place. `release`, when given, lets pages of them leave memory until read again.
    void assignStored(std::vector<BreakdownKey> rows, const char *body, std::size_t bodySize,
                      const char *offsets, std::size_t count, bool hasContents,
                      std::shared_ptr<const void> owner, BytesDone release = {});

private:
    struct Copy {
        std::uint64_t key;
        std::uint32_t source;
        std::uint32_t payload; // offset of its encoded contribution in the arena
    };
    struct RowHash {
        std::size_t operator()(const BreakdownKey &key) const;
    };
    // The copy of a message that should count (if any), its content, and the copy that counts.
    struct Choice {
        std::optional<std::uint32_t> best;
        std::uint64_t content = 0;
        std::optional<std::uint32_t> counted;
    };

    std::uint32_t rowOf(const UsageRecord &record);
    std::uint64_t storedKey(std::size_t index) const;
    // Hands every copy, stored or of this run, in order of key and source, to `visit`; the
    // copies of this run are sorted on the way and the table can no longer find them.
    void walkSorted(const Visitor &visit);
    // Moves the copies of this run and the stored ones into a new file that replaces the
    // stored records.
    void spill();
    void reserveHeld();
    // The copies of `key` in the file the copies went to, brought into the table. They are read
    // rather than looked up in its mapping: a look-up touches pages that the system may map in
    // large runs, and thousands of them would map the whole file.
    void spilledCopiesOf(std::uint64_t key, std::vector<std::uint32_t> &found);
    // False when the message has no stored copy for sure.
    bool mayBeStored(std::uint64_t key) const;
    // Lets the pages of the stored records that were read leave memory.
    void releaseStored() const;
    // Indices in m_copies of the copies of `key`, with the stored ones brought in first.
    void copiesOf(std::uint64_t key, std::vector<std::uint32_t> &found);
    std::uint32_t insertCopy(std::uint64_t key, std::uint32_t source, const Contribution &value);
    void growSlots();
    Contribution contributionOf(std::uint32_t copy) const;
    void store(std::uint32_t copy, const Contribution &value);
    std::uint32_t writePayload(const Contribution &value);
    // True when `a` is the better copy of a message than `b`.
    bool better(const Contribution &a, const Contribution &b) const;
    // Makes the right copy of `key` the counted one, and then that of every message that shares
    // a content with it, before or after.
    void settle(std::uint64_t key, Counting &counting);
    Choice choose(std::uint64_t key);
    // The message of a content that counts: the one with the smallest key (0 when none).
    std::uint64_t countingMember(std::uint64_t content) const;
    // Makes `choice.best` the counted copy of `key`, unless another message of its content
    // counts.
    void applyCounting(std::uint64_t key, Choice choice, Counting &counting);
    // Prices `value` as a counted copy.
    void price(Contribution &value, const Counting &counting) const;
    void count(std::uint32_t copy, Counting &counting);
    void uncount(std::uint32_t copy, Counting &counting);
    // Adds the contents of the stored messages to the map of contents, once, before anything of
    // this run changes them; settle() keeps it for every message touched.
    void loadStoredContents();

    // The state file's records.
    const char *m_body = nullptr;
    std::size_t m_bodySize = 0;
    const char *m_offsets = nullptr;
    std::size_t m_storedCount = 0;
    std::shared_ptr<const void> m_storedOwner;
    BytesDone m_releaseStored;
    std::size_t m_storedReads = 0;
    // A filter of the stored keys, 64-bit words of which each key sets four bits of one;
    // empty when there is none (the stored records are then those of the state file).
    std::vector<std::uint64_t> m_storedFilter;
    unsigned m_filterShift = 0;

    // The stored records when they are in files this index wrote: the records (read by
    // look-ups), the same mapped (read straight through), their offsets mapped, and the key and
    // offset of every recordsASample-th record, in order.
    struct SpilledRecords {
        struct Sample {
            std::uint64_t key;
            std::uint32_t offset;
        };
        std::shared_ptr<SpillFile> body;
        std::shared_ptr<const MappedFile> mapped, offsets;
        std::vector<Sample> samples;
    };
    std::shared_ptr<const SpilledRecords> m_spilled;
    std::vector<char> m_stretch;
    std::string m_spillBeside;
    std::size_t m_heldCopies = 0;

    std::vector<BreakdownKey> m_rows;
    std::unordered_map<BreakdownKey, std::uint32_t, RowHash> m_rowIds;
    std::optional<std::uint32_t> m_lastRow;

    // Copies of this run, found through open addressing on their key: a slot holds an index
    // + 1, or 0 when empty; copies of one key lie in one probe run.
    std::vector<Copy> m_copies;
    std::vector<std::uint32_t> m_slots;
    // Encoded contributions of m_copies, in blocks that never move.
    std::vector<std::unique_ptr<char[]>> m_blocks;
    std::size_t m_blockUsed = 0;
    std::vector<std::uint32_t> m_scratch, m_found;
    // The contributions last written, by copy: the copies of one message come close together
    // in a file (a streamed message's lines, a line and its mark), and are compared again.
    struct Recent {
        std::uint32_t copy = UINT32_MAX;
        Contribution value;
    };
    std::array<Recent, 16> m_recent;

    // Which messages' best copies have which content (the tools that give none never fill it).
    bool m_storedHasContents = false;
    bool m_storedContentsLoaded = false;
    std::unordered_map<std::uint64_t, std::vector<std::uint64_t>> m_members;
    std::unordered_map<std::uint64_t, std::uint64_t> m_contentOf;
};
