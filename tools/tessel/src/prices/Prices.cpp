#include "prices/Prices.h"

#include "base/AtomicFile.h"
#include "base/Errors.h"
#include "prices/PriceData.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <filesystem>
#include <limits>
#include <unordered_map>

namespace {

std::atomic<std::uint64_t> nextSerial{1};

// The maker a tool's own models come from, for names no maker's pattern claims.
std::string_view defaultVendor(Provider provider) {
    switch (provider) {
    case Provider::claude:
        return "anthropic";
    case Provider::codex:
        return "openai";
    default:
        return {};
    }
}

struct CacheRates {
    std::int64_t read;
    std::int64_t write;
    std::int64_t writeLong;
};

// The cache rates of a request whose prompt is `prompt` tokens long: the table's where it has
// them, else the maker's rule.
CacheRates cacheRates(const ModelPrices &model, const DatedPrices &prices, std::int64_t prompt) {
    const std::int64_t input = prices.input.at(prompt);
    const bool anthropic = model.vendor == "anthropic";
    const auto given = [&](const std::optional<TieredRate> &rate, std::int64_t otherwise) {
        return rate ? rate->at(prompt) : otherwise;
    };
    CacheRates rates;
    rates.read = given(prices.cacheRead, anthropic ? input / 10 : input);
    rates.write = given(prices.cacheWrite, anthropic ? input * 5 / 4 : input);
    rates.writeLong = given(prices.cacheWriteLong, anthropic ? input * 2 : rates.write);
    return rates;
}

std::int64_t positive(std::int64_t tokens) {
    return std::max<std::int64_t>(tokens, 0);
}

// Names already looked up, per thread (the collector prices from several at once) and per
// table and tool; a few distinct models make up nearly every request.
struct NameHash {
    using is_transparent = void;
    size_t operator()(std::string_view text) const { return std::hash<std::string_view>()(text); }
};
struct ResolvedNames {
    std::uint64_t table = 0;
    std::array<std::unordered_map<std::string, const ModelPrices *, NameHash, std::equal_to<>>,
               providerCount>
        models;
};
thread_local ResolvedNames resolvedNames;

} // namespace

PriceTable::PriceTable() : m_data(std::make_shared<PriceData>()), m_serial(nextSerial++) {}

std::string PriceTable::shippedPath() {
    std::error_code error;
    const std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", error);
    return ((error ? std::filesystem::path(".") : self.parent_path()) / "prices.json").string();
}

const PriceTable &PriceTable::shipped() {
    static const PriceTable table = [] {
        try {
            return parse(readWholeFile(shippedPath()));
        } catch (const ToolError &) {
            // Missing or damaged: every request is unpriced, which the reports say.
            return PriceTable();
        }
    }();
    return table;
}

PriceTable PriceTable::parse(std::string_view json) {
    PriceTable table;
    table.m_data = std::make_shared<PriceData>(parsePriceData(json, table.m_version));
    return table;
}

const ModelPrices *PriceTable::resolve(Provider provider, std::string_view logged) const {
    const ModelName model = splitModelName(logged);
    if (model.name.empty())
        return nullptr;
    // The maker a prefix names, then those whose patterns claim the name, then the tool's own.
    std::vector<const VendorPrices *> candidates;
    const auto consider = [&](const VendorPrices &vendor) {
        if (std::find(candidates.begin(), candidates.end(), &vendor) == candidates.end())
            candidates.push_back(&vendor);
    };
    for (const std::string &hint : model.hints)
        for (const VendorPrices &vendor : m_data->vendors)
            if (hint == vendor.id || (vendor.providerMatch && vendor.providerMatch->matches(hint)))
                consider(vendor);
    for (const VendorPrices &vendor : m_data->vendors)
        if (vendor.modelMatch && vendor.modelMatch->matches(model.name))
            consider(vendor);
    for (const VendorPrices &vendor : m_data->vendors)
        if (vendor.id == defaultVendor(provider))
            consider(vendor);

    const std::string dashed = withDashedDate(model.name);
    for (const VendorPrices *vendor : candidates)
        for (const std::string &name : {model.name, dashed})
            for (const ModelPrices &entry : vendor->models)
                if (entry.match.matches(name))
                    return &entry;
    return nullptr;
}

const ModelPrices *PriceTable::find(Provider provider, std::string_view model) const {
    ResolvedNames &cache = resolvedNames;
    if (cache.table != m_serial) {
        cache.table = m_serial;
        for (auto &models : cache.models)
            models.clear();
    }
    auto &models = cache.models[providerIndex(provider)];
    const auto found = models.find(model);
    if (found != models.end())
        return found->second;
    const ModelPrices *resolved = resolve(provider, model);
    if (models.size() < 4096)
        models.emplace(std::string(model), resolved);
    return resolved;
}

std::optional<std::string> PriceTable::entryFor(Provider provider, std::string_view model) const {
    const ModelPrices *entry = find(provider, model);
    if (!entry)
        return std::nullopt;
    return entry->vendor + "/" + entry->id;
}

RequestCost PriceTable::price(Provider provider, std::string_view model, const TokenSplit &split,
                              DayNumber day) const {
    const ModelPrices *entry = find(provider, model);
    if (!entry)
        return {};
    const DatedPrices &prices = entry->on(day);
    if (prices.unpriced)
        return {};
    const std::int64_t input = positive(split.input), cacheRead = positive(split.cacheRead),
                       cacheWrite = positive(split.cacheWrite);
    const std::int64_t writeLong = std::min(positive(split.cacheWriteLong), cacheWrite);
    // The tier is the request's own: its whole prompt, cache included.
    const std::int64_t prompt = saturatingAdd(saturatingAdd(input, cacheRead), cacheWrite);
    const CacheRates cache = cacheRates(*entry, prices, prompt);
    const std::int64_t output = prices.output.at(prompt);

    // Picodollars; a long request at a high rate passes 2^63 of them.
    __int128 cost = static_cast<__int128>(input) * prices.input.at(prompt);
    cost += static_cast<__int128>(positive(split.output)) * output;
    cost += static_cast<__int128>(positive(split.reasoning)) * output;
    cost += static_cast<__int128>(cacheRead) * cache.read;
    cost += static_cast<__int128>(cacheWrite - writeLong) * cache.write;
    cost += static_cast<__int128>(writeLong) * cache.writeLong;
    const __int128 nanodollars = (cost + 500) / 1000;
    constexpr __int128 most = std::numeric_limits<std::int64_t>::max();
    return {static_cast<std::int64_t>(std::min(nanodollars, most)), true};
}
