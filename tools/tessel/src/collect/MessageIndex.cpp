#include "collect/MessageIndex.h"

#include "base/Errors.h"
#include "base/SpillFile.h"

#include <algorithm>
#include <bit>
#include <cstring>

namespace {

// Contributions of this run go into blocks of 1 MiB, addressed by block and offset in 32 bits.
constexpr unsigned blockBits = 20;
constexpr std::size_t blockSize = std::size_t{1} << blockBits;
constexpr std::size_t largestBlockCount = std::size_t{1} << (32 - blockBits);
// A stored record: key and source, then the contribution.
constexpr std::size_t recordHead = sizeof(std::uint64_t) + sizeof(std::uint32_t);
// Stored records read by look-ups, and read in a row, before their pages are let go.
constexpr std::size_t lookupsBeforeRelease = 256;
constexpr std::size_t recordsBeforeRelease = 65536;
// One record in this many of an index file is kept in memory, to find the others by.
constexpr std::size_t recordsASample = 32;

// The bits of a key in its word of the stored-key filter: four of 64, from bits of the key
// (already a hash) other than those that pick the word.
std::uint64_t filterBits(std::uint64_t key) {
    return (std::uint64_t{1} << (key & 63)) | (std::uint64_t{1} << ((key >> 6) & 63)) |
           (std::uint64_t{1} << ((key >> 12) & 63)) | (std::uint64_t{1} << ((key >> 18) & 63));
}

std::size_t filterWord(std::uint64_t key, unsigned shift) {
    return static_cast<std::size_t>((key * 0x9e3779b97f4a7c15ull) >> shift);
}

template <typename T> T load(const char *at) {
    T value;
    std::memcpy(&value, at, sizeof value);
    return value;
}

// The split a record stands for: the parts add up to its tokens, none negative or absurd.
TokenSplit cleanSplit(const UsageRecord &record) {
    TokenSplit split = record.split;
    const auto clamp = [](std::int64_t &part) {
        part = std::clamp<std::int64_t>(part, 0, largestContributionFigure);
    };
    for (std::int64_t *part : {&split.input, &split.output, &split.cacheRead, &split.cacheWrite,
                               &split.reasoning, &split.cacheWriteLong})
        clamp(*part);
    split.cacheWriteLong = std::min(split.cacheWriteLong, split.cacheWrite);
    const std::int64_t tokens = std::max<std::int64_t>(record.tokens, 0);
    if (split.sum() == tokens)
        return split;
    split = fittedSplit(split, tokens);
    for (std::int64_t *part : {&split.input, &split.output, &split.cacheRead, &split.cacheWrite,
                               &split.reasoning, &split.cacheWriteLong})
        clamp(*part);
    return split;
}

} // namespace

std::size_t MessageIndex::RowHash::operator()(const BreakdownKey &key) const {
    std::uint64_t hash = static_cast<std::uint32_t>(key.day) * 0x9e3779b97f4a7c15ull;
    hash ^= key.model + 0x632be59bd9b4e019ull * (1 + static_cast<unsigned>(key.provider));
    hash ^= key.project * 0xbf58476d1ce4e5b9ull;
    return static_cast<std::size_t>(hash ^ (hash >> 29));
}

bool MessageIndex::validStored(const char *body, std::size_t bodySize, const char *offsets,
                               std::size_t count, std::size_t rowCount, bool &hasContents,
                               const BytesDone &done) {
    hasContents = false;
    std::size_t expected = 0;
    std::uint64_t previousKey = 0;
    std::uint32_t previousSource = 0;
    std::size_t doneRecords = 0, doneBytes = 0;
    for (std::size_t i = 0; i < count; ++i) {
        if (done && i - doneRecords == 65536) {
            done(offsets + doneRecords * sizeof(std::uint32_t),
                 offsets + i * sizeof(std::uint32_t));
            done(body + doneBytes, body + expected);
            doneRecords = i;
            doneBytes = expected;
        }
        if (load<std::uint32_t>(offsets + i * sizeof(std::uint32_t)) != expected ||
            bodySize - expected < recordHead)
            return false;
        const auto key = load<std::uint64_t>(body + expected);
        const auto source = load<std::uint32_t>(body + expected + sizeof key);
        if (i > 0 && (key < previousKey || (key == previousKey && source <= previousSource)))
            return false;
        const char *at = body + expected + recordHead;
        Contribution contribution;
        if (!decodeContribution(at, body + bodySize, contribution) || contribution.removed ||
            contribution.row >= rowCount)
            return false;
        hasContents = hasContents || contribution.content != 0;
        previousKey = key;
        previousSource = source;
        expected = static_cast<std::size_t>(at - body);
    }
    if (done) {
        done(offsets + doneRecords * sizeof(std::uint32_t),
             offsets + count * sizeof(std::uint32_t));
        done(body + doneBytes, body + expected);
    }
    return expected == bodySize;
}

void MessageIndex::assignStored(std::vector<BreakdownKey> rows, const char *body,
                                std::size_t bodySize, const char *offsets, std::size_t count,
                                bool hasContents, std::shared_ptr<const void> owner,
                                BytesDone release) {
    *this = MessageIndex();
    m_rows = std::move(rows);
    for (std::uint32_t id = 0; id < m_rows.size(); ++id)
        m_rowIds.emplace(m_rows[id], id);
    m_body = body;
    m_bodySize = bodySize;
    m_offsets = offsets;
    m_storedCount = count;
    m_storedOwner = std::move(owner);
    m_releaseStored = std::move(release);
    m_storedHasContents = hasContents;
}

void MessageIndex::spillInto(std::string beside, std::size_t heldCopies) {
    m_spillBeside = std::move(beside);
    m_heldCopies = heldCopies;
    reserveHeld();
}

void MessageIndex::reserveHeld() {
    // Room for what is held and the stored copies of a message brought in after it, so that
    // the table never grows by doubling (pages not yet written take no memory).
    if (m_heldCopies != 0)
        m_copies.reserve(m_heldCopies + m_heldCopies / 64);
}

bool MessageIndex::mayBeStored(std::uint64_t key) const {
    if (m_storedFilter.empty())
        return true;
    const std::uint64_t bits = filterBits(key);
    return (m_storedFilter[filterWord(key, m_filterShift)] & bits) == bits;
}

void MessageIndex::releaseStored() const {
    if (!m_releaseStored || m_storedCount == 0)
        return;
    m_releaseStored(m_body, m_body + m_bodySize);
    m_releaseStored(m_offsets, m_offsets + m_storedCount * sizeof(std::uint32_t));
}

std::uint64_t MessageIndex::storedKey(std::size_t index) const {
    return load<std::uint64_t>(m_body +
                               load<std::uint32_t>(m_offsets + index * sizeof(std::uint32_t)));
}

std::uint32_t MessageIndex::rowOf(const UsageRecord &record) {
    const BreakdownKey key{record.day, record.provider, record.model, record.project};
    // Records of one file mostly share their row.
    if (m_lastRow && key == m_rows[*m_lastRow])
        return *m_lastRow;
    const auto [found, added] =
        m_rowIds.try_emplace(key, static_cast<std::uint32_t>(m_rows.size()));
    if (added)
        m_rows.push_back(key);
    m_lastRow = found->second;
    return found->second;
}

std::uint32_t MessageIndex::writePayload(const Contribution &value) {
    if (m_blocks.empty() || m_blockUsed + maxContributionSize > blockSize) {
        if (m_blocks.size() == largestBlockCount)
            throw ToolError("the message index has grown past 4 GiB");
        m_blocks.push_back(std::make_unique_for_overwrite<char[]>(blockSize));
        m_blockUsed = 0;
    }
    const auto offset =
        static_cast<std::uint32_t>(((m_blocks.size() - 1) << blockBits) | m_blockUsed);
    m_blockUsed += encodeContribution(value, m_blocks.back().get() + m_blockUsed);
    return offset;
}

Contribution MessageIndex::contributionOf(std::uint32_t copy) const {
    const Recent &recent = m_recent[copy % m_recent.size()];
    if (recent.copy == copy)
        return recent.value;
    const std::uint32_t payload = m_copies[copy].payload;
    const char *block = m_blocks[payload >> blockBits].get();
    const char *at = block + (payload & (blockSize - 1));
    Contribution value;
    decodeContribution(at, block + blockSize, value);
    return value;
}

void MessageIndex::store(std::uint32_t copy, const Contribution &value) {
    const std::uint32_t payload = m_copies[copy].payload;
    char *block = m_blocks[payload >> blockBits].get();
    char *at = block + (payload & (blockSize - 1));
    char encoded[maxContributionSize];
    const std::size_t size = encodeContribution(value, encoded);
    const char *end = at;
    Contribution old;
    decodeContribution(end, block + blockSize, old);
    // In place where it fits, else anew: a copy is rewritten only when it starts or stops
    // counting, or a better copy from its file replaces it.
    if (size <= static_cast<std::size_t>(end - at))
        std::memcpy(at, encoded, size);
    else
        m_copies[copy].payload = writePayload(value);
    m_recent[copy % m_recent.size()] = {copy, value};
}

void MessageIndex::growSlots() {
    std::size_t size = m_slots.empty() ? 1024 : m_slots.size() * 2;
    while (size < (m_copies.size() + 1) * 2)
        size *= 2;
    m_slots.assign(size, 0);
    for (std::size_t i = 0; i < m_copies.size(); ++i) {
        std::size_t slot = m_copies[i].key & (size - 1);
        while (m_slots[slot] != 0)
            slot = (slot + 1) & (size - 1);
        m_slots[slot] = static_cast<std::uint32_t>(i + 1);
    }
}

std::uint32_t MessageIndex::insertCopy(std::uint64_t key, std::uint32_t source,
                                       const Contribution &value) {
    if (m_copies.size() >= UINT32_MAX - 1)
        throw ToolError("the message index holds too many copies");
    if ((m_copies.size() + 1) * 2 > m_slots.size())
        growSlots();
    const auto copy = static_cast<std::uint32_t>(m_copies.size());
    m_copies.push_back({key, source, writePayload(value)});
    m_recent[copy % m_recent.size()] = {copy, value};
    std::size_t slot = key & (m_slots.size() - 1);
    while (m_slots[slot] != 0)
        slot = (slot + 1) & (m_slots.size() - 1);
    m_slots[slot] = copy + 1;
    return copy;
}

void MessageIndex::copiesOf(std::uint64_t key, std::vector<std::uint32_t> &found) {
    found.clear();
    if (!m_slots.empty())
        for (std::size_t slot = key & (m_slots.size() - 1); m_slots[slot] != 0;
             slot = (slot + 1) & (m_slots.size() - 1))
            if (m_copies[m_slots[slot] - 1].key == key)
                found.push_back(m_slots[slot] - 1);
    if (!found.empty() || !mayBeStored(key))
        return;
    // The first time this run touches the message: its stored copies move into the table,
    // which overrides them from now on.
    if (m_spilled) {
        spilledCopiesOf(key, found);
        return;
    }
    std::size_t low = 0, high = m_storedCount;
    while (low < high) {
        const std::size_t middle = low + (high - low) / 2;
        if (storedKey(middle) < key)
            low = middle + 1;
        else
            high = middle;
    }
    for (std::size_t i = low; i < m_storedCount && storedKey(i) == key; ++i) {
        const auto offset = load<std::uint32_t>(m_offsets + i * sizeof(std::uint32_t));
        const char *at = m_body + offset + recordHead;
        Contribution value;
        // Bounded by the record's own end: the whole body was checked when it was loaded.
        decodeContribution(at, m_body + m_bodySize, value);
        found.push_back(insertCopy(key, load<std::uint32_t>(m_body + offset + sizeof key), value));
    }
    if (++m_storedReads % lookupsBeforeRelease == 0)
        releaseStored();
}

void MessageIndex::spilledCopiesOf(std::uint64_t key, std::vector<std::uint32_t> &found) {
    // From the last sampled record before the key, a stretch of records at a time.
    const auto after = std::lower_bound(m_spilled->samples.begin(), m_spilled->samples.end(), key,
                                        [](const SpilledRecords::Sample &sample,
                                           std::uint64_t wanted) { return sample.key < wanted; });
    for (auto sample = after == m_spilled->samples.begin() ? after : after - 1;
         sample != m_spilled->samples.end(); ++sample) {
        const std::uint32_t from = sample->offset;
        const std::uint32_t to = sample + 1 != m_spilled->samples.end()
                                     ? (sample + 1)->offset
                                     : static_cast<std::uint32_t>(m_bodySize);
        m_stretch.resize(to - from);
        m_spilled->body->read(from, m_stretch.data(), m_stretch.size());
        const char *at = m_stretch.data();
        const char *const end = at + m_stretch.size();
        while (at < end) {
            const auto recordKey = load<std::uint64_t>(at);
            const auto source = load<std::uint32_t>(at + sizeof recordKey);
            if (recordKey > key)
                return;
            at += recordHead;
            Contribution value;
            decodeContribution(at, end, value);
            if (recordKey == key)
                found.push_back(insertCopy(key, source, value));
        }
    }
}

bool MessageIndex::better(const Contribution &a, const Contribution &b) const {
    if (a.rank != b.rank)
        return a.rank > b.rank;
    if (a.tokens() != b.tokens())
        return a.tokens() > b.tokens();
    // Equal by rank and size: decided by what they are, never by which was read first.
    if (m_rows[a.row] != m_rows[b.row])
        return m_rows[a.row] < m_rows[b.row];
    const auto parts = [](const TokenSplit &split) {
        return std::tuple(split.input, split.output, split.cacheRead, split.cacheWrite,
                          split.reasoning, split.cacheWriteLong);
    };
    if (parts(a.split) != parts(b.split))
        return parts(a.split) > parts(b.split);
    return a.content < b.content;
}

MessageIndex::Choice MessageIndex::choose(std::uint64_t key) {
    copiesOf(key, m_found);
    Choice choice;
    Contribution best;
    for (const std::uint32_t copy : m_found) {
        const Contribution value = contributionOf(copy);
        if (value.counted)
            choice.counted = copy;
        if (value.removed)
            continue;
        if (!choice.best || better(value, best) ||
            (!better(best, value) && m_copies[copy].source < m_copies[*choice.best].source)) {
            choice.best = copy;
            best = value;
        }
    }
    choice.content = choice.best ? best.content : 0;
    return choice;
}

void MessageIndex::loadStoredContents() {
    if (!m_storedHasContents || m_storedContentsLoaded)
        return;
    m_storedContentsLoaded = true;
    // The best of each stored message's copies, read in place; messages this run already
    // touched keep the content settle() gave them.
    for (std::size_t i = 0, released = 0; i < m_storedCount;) {
        if (i - released >= recordsBeforeRelease) {
            releaseStored();
            released = i;
        }
        const std::uint64_t key = storedKey(i);
        Contribution best;
        bool any = false;
        for (; i < m_storedCount && storedKey(i) == key; ++i) {
            const char *at =
                m_body + load<std::uint32_t>(m_offsets + i * sizeof(std::uint32_t)) + recordHead;
            Contribution value;
            decodeContribution(at, m_body + m_bodySize, value);
            // Stored copies come in order of source, so the first of equals stays.
            if (!any || better(value, best))
                best = value;
            any = true;
        }
        if (best.content == 0 || m_contentOf.contains(key))
            continue;
        bool touched = false;
        if (!m_slots.empty())
            for (std::size_t slot = key & (m_slots.size() - 1); m_slots[slot] != 0 && !touched;
                 slot = (slot + 1) & (m_slots.size() - 1))
                touched = m_copies[m_slots[slot] - 1].key == key;
        if (!touched) {
            m_members[best.content].push_back(key);
            m_contentOf.emplace(key, best.content);
        }
    }
    releaseStored();
}

void MessageIndex::count(std::uint32_t copy, Counting &counting) {
    Contribution value = contributionOf(copy);
    price(value, counting);
    const BreakdownKey &row = m_rows[value.row];
    addTokens(counting.totals, row.day, row.provider, value.tokens());
    store(copy, value);
}

void MessageIndex::price(Contribution &value, const Counting &counting) const {
    const BreakdownKey &row = m_rows[value.row];
    RequestCost cost;
    if (counting.pricing.price) {
        const std::string *model = counting.names.find(row.model);
        cost = counting.pricing.price(row.provider, model ? std::string_view(*model) : "",
                                      value.split, row.day);
    }
    value.counted = true;
    value.unpriced = !cost.priced;
    value.costNanodollars =
        cost.priced ? std::clamp<std::int64_t>(cost.nanodollars, 0, largestContributionFigure) : 0;
}

void MessageIndex::uncount(std::uint32_t copy, Counting &counting) {
    Contribution value = contributionOf(copy);
    const BreakdownKey &row = m_rows[value.row];
    addTokens(counting.totals, row.day, row.provider, -value.tokens());
    value.counted = false;
    value.unpriced = false;
    value.costNanodollars = 0;
    store(copy, value);
}

std::uint64_t MessageIndex::countingMember(std::uint64_t content) const {
    const auto group = m_members.find(content);
    if (group == m_members.end() || group->second.empty())
        return 0;
    return *std::min_element(group->second.begin(), group->second.end());
}

void MessageIndex::applyCounting(std::uint64_t key, Choice choice, Counting &counting) {
    if (choice.best && choice.content != 0 && countingMember(choice.content) != key)
        choice.best.reset();
    if (choice.best == choice.counted)
        return;
    if (choice.counted)
        uncount(*choice.counted, counting);
    if (choice.best)
        count(*choice.best, counting);
}

void MessageIndex::settle(std::uint64_t key, Counting &counting) {
    const Choice choice = choose(key);
    const auto known = m_contentOf.find(key);
    const std::uint64_t before = known == m_contentOf.end() ? 0 : known->second;
    if (choice.content == before) {
        applyCounting(key, choice, counting);
        return;
    }
    // Leaving one content and joining another can change which message of each counts.
    std::uint64_t leftCounting = 0, joinedCounting = 0;
    if (before != 0) {
        leftCounting = countingMember(before);
        std::vector<std::uint64_t> &members = m_members[before];
        members.erase(std::find(members.begin(), members.end(), key));
        m_contentOf.erase(key);
    }
    if (choice.content != 0) {
        joinedCounting = countingMember(choice.content);
        m_members[choice.content].push_back(key);
        m_contentOf[key] = choice.content;
    }
    applyCounting(key, choice, counting);
    if (before != 0) {
        const std::uint64_t next = countingMember(before);
        if (next == 0)
            m_members.erase(before);
        else if (next != leftCounting)
            applyCounting(next, choose(next), counting);
    }
    if (joinedCounting != 0 && joinedCounting != countingMember(choice.content))
        applyCounting(joinedCounting, choose(joinedCounting), counting);
}

void MessageIndex::merge(const std::vector<UsageRecord> &batch, Counting &counting) {
    loadStoredContents();
    for (const UsageRecord &record : batch) {
        // Between records, no copy is being worked on.
        if (m_heldCopies != 0 && m_copies.size() >= m_heldCopies)
            spill();
        Contribution fresh;
        fresh.rank = record.rank;
        fresh.content = record.content;
        fresh.split = cleanSplit(record);
        fresh.row = rowOf(record);
        copiesOf(record.key, m_scratch);
        if (m_scratch.empty() && fresh.content == 0) {
            // The first copy of a message: it counts.
            price(fresh, counting);
            addTokens(counting.totals, record.day, record.provider, fresh.tokens());
            insertCopy(record.key, record.source, fresh);
            continue;
        }
        // The tool's logs cover the day, whatever the record adds.
        addTokens(counting.totals, record.day, record.provider, 0);
        const auto own = std::find_if(m_scratch.begin(), m_scratch.end(), [&](std::uint32_t copy) {
            return m_copies[copy].source == record.source;
        });
        if (own == m_scratch.end()) {
            insertCopy(record.key, record.source, fresh);
        } else {
            const Contribution known = contributionOf(*own);
            if (!known.removed && !better(fresh, known))
                continue;
            if (known.counted)
                uncount(*own, counting);
            store(*own, fresh);
        }
        settle(record.key, counting);
    }
}

void MessageIndex::retract(const std::unordered_set<std::uint32_t> &sources, Counting &counting) {
    if (sources.empty())
        return;
    loadStoredContents();
    std::vector<std::uint64_t> touched;
    const auto take = [&](std::uint32_t copy) {
        Contribution value = contributionOf(copy);
        if (value.removed || !sources.contains(m_copies[copy].source))
            return;
        if (value.counted)
            uncount(copy, counting);
        value = contributionOf(copy);
        value.removed = true;
        store(copy, value);
        touched.push_back(m_copies[copy].key);
    };
    const std::size_t before = m_copies.size();
    for (std::uint32_t copy = 0; copy < before; ++copy)
        if (sources.contains(m_copies[copy].source))
            take(copy);
    for (std::size_t i = 0; i < m_storedCount; ++i) {
        if (i % recordsBeforeRelease == recordsBeforeRelease - 1)
            releaseStored();
        const auto offset = load<std::uint32_t>(m_offsets + i * sizeof(std::uint32_t));
        if (!sources.contains(load<std::uint32_t>(m_body + offset + sizeof(std::uint64_t))))
            continue;
        copiesOf(load<std::uint64_t>(m_body + offset), m_scratch);
        for (const std::uint32_t copy : m_scratch)
            take(copy);
    }
    std::sort(touched.begin(), touched.end());
    touched.erase(std::unique(touched.begin(), touched.end()), touched.end());
    for (const std::uint64_t key : touched)
        settle(key, counting);
}

void MessageIndex::walkSorted(const Visitor &visit) {
    m_slots = {};
    m_recent = {};
    std::sort(m_copies.begin(), m_copies.end(), [](const Copy &a, const Copy &b) {
        return a.key != b.key ? a.key < b.key : a.source < b.source;
    });
    const auto visitStored = [&](std::size_t i) {
        if (i % recordsBeforeRelease == recordsBeforeRelease - 1)
            releaseStored();
        const auto offset = load<std::uint32_t>(m_offsets + i * sizeof(std::uint32_t));
        const char *start = m_body + offset + recordHead;
        const char *end = start;
        Contribution value;
        decodeContribution(end, m_body + m_bodySize, value);
        visit(load<std::uint64_t>(m_body + offset),
              load<std::uint32_t>(m_body + offset + sizeof(std::uint64_t)), value,
              std::string_view(start, static_cast<std::size_t>(end - start)));
    };
    std::size_t stored = 0;
    for (const Copy &copy : m_copies) {
        for (; stored < m_storedCount && storedKey(stored) < copy.key; ++stored)
            visitStored(stored);
        // Overridden: the table holds every copy of this message.
        for (; stored < m_storedCount && storedKey(stored) == copy.key; ++stored) {
        }
        const char *block = m_blocks[copy.payload >> blockBits].get();
        const char *start = block + (copy.payload & (blockSize - 1));
        const char *end = start;
        Contribution value;
        decodeContribution(end, block + blockSize, value);
        if (!value.removed)
            visit(copy.key, copy.source, value,
                  std::string_view(start, static_cast<std::size_t>(end - start)));
    }
    for (; stored < m_storedCount; ++stored)
        visitStored(stored);
    releaseStored();
}

void MessageIndex::forEachSorted(const Visitor &visit) {
    walkSorted(visit);
}

void MessageIndex::spill() {
    // One 64-bit word of filter for every eight keys or so: a key not stored passes it a few
    // times in a hundred.
    const std::size_t words =
        std::bit_ceil(std::max<std::size_t>((m_storedCount + m_copies.size()) / 8, 2));
    const auto shift = static_cast<unsigned>(64 - std::countr_zero(words));
    std::vector<std::uint64_t> filter(words, 0);
    std::size_t count = 0;
    auto spilled = std::make_shared<SpilledRecords>();
    try {
        spilled->body = std::make_shared<SpillFile>(m_spillBeside);
        SpillFile &bodyFile = *spilled->body;
        SpillFile offsetsFile(m_spillBeside);
        walkSorted([&](std::uint64_t key, std::uint32_t source, const Contribution &,
                       std::string_view encoded) {
            const std::uint64_t at = bodyFile.size();
            if (at > UINT32_MAX)
                throw ToolError("the message index has grown past 4 GiB");
            const auto offset = static_cast<std::uint32_t>(at);
            if (count % recordsASample == 0)
                spilled->samples.push_back({key, offset});
            offsetsFile.append(&offset, sizeof offset);
            bodyFile.append(&key, sizeof key);
            bodyFile.append(&source, sizeof source);
            bodyFile.append(encoded.data(), encoded.size());
            filter[filterWord(key, shift)] |= filterBits(key);
            ++count;
        });
        spilled->mapped = bodyFile.map();
        spilled->offsets = offsetsFile.map();
        if (count > 0 && (!spilled->mapped || !spilled->offsets))
            throw FileError(m_spillBeside, "the index file could not be mapped");
    } catch (const FileError &) {
        // No room for the file: the copies stay in memory, where they were, and so do later ones.
        m_heldCopies = 0;
        growSlots();
        return;
    }
    m_copies = {};
    m_slots = {};
    m_blocks.clear();
    m_blocks.shrink_to_fit();
    m_blockUsed = 0;
    m_recent = {};
    m_storedReads = 0;
    reserveHeld();
    m_storedCount = count;
    // Every message this run touched has its content in m_contentOf already, and the stored
    // ones were loaded before the first merge.
    m_storedContentsLoaded = true;
    if (count == 0) {
        m_body = m_offsets = nullptr;
        m_bodySize = 0;
        m_storedOwner = {};
        m_releaseStored = {};
        m_storedFilter = {};
        m_spilled = {};
        return;
    }
    m_body = spilled->mapped->bytes().data();
    m_bodySize = spilled->mapped->bytes().size();
    m_offsets = spilled->offsets->bytes().data();
    m_storedFilter = std::move(filter);
    m_filterShift = shift;
    m_releaseStored = [spilled](const char *from, const char *to) {
        spilled->mapped->release(from, to);
        spilled->offsets->release(from, to);
    };
    m_storedOwner = spilled;
    m_spilled = std::move(spilled);
}
