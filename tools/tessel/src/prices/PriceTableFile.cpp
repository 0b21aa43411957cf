// The shipped table's file format (written by scripts/update-prices): the package's version
// and dates, then per model maker its name patterns and its models, each with its match rule
// and its prices in US dollars per million tokens, dated where they changed.
#include "base/Errors.h"
#include "prices/PriceData.h"

#include <simdjson.h>

#include <algorithm>
#include <cmath>

namespace dom = simdjson::dom;

namespace {

[[noreturn]] void fail(const std::string &where, const std::string &problem) {
    throw ToolError("the price table is damaged: " + where + " " + problem);
}

std::string_view text(dom::element value, const std::string &where) {
    std::string_view result;
    if (value.get(result))
        fail(where, "is not a text");
    return result;
}

dom::element member(dom::object object, std::string_view name, const std::string &where) {
    dom::element value;
    if (object[name].get(value))
        fail(where, "lacks \"" + std::string(name) + "\"");
    return value;
}

MatchRule matchRule(dom::element value, const std::string &where) {
    dom::object object;
    if (value.get(object) || object.size() != 1)
        fail(where, "has a match rule that is not an object of one member");
    const auto [key, inner] = *object.begin();
    using Kind = MatchRule::Kind;
    if (key == "or" || key == "and") {
        dom::array array;
        if (inner.get(array))
            fail(where, "has a match rule \"" + std::string(key) + "\" that is not a list");
        std::vector<MatchRule> parts;
        for (const dom::element part : array)
            parts.push_back(matchRule(part, where));
        return MatchRule::combined(key == "or" ? Kind::anyOf : Kind::allOf, std::move(parts));
    }
    const std::string_view pattern = text(inner, where + " " + std::string(key));
    if (key == "regex") {
        try {
            return MatchRule::expression(pattern);
        } catch (const std::regex_error &) {
            fail(where, "has an expression that cannot be used: " + std::string(pattern));
        }
    }
    for (const auto &[name, kind] :
         {std::pair{"equals", Kind::equals}, std::pair{"starts_with", Kind::startsWith},
          std::pair{"ends_with", Kind::endsWith}, std::pair{"contains", Kind::contains}})
        if (key == name)
            return MatchRule::text(kind, pattern);
    fail(where, "has an unknown match rule \"" + std::string(key) + "\"");
}

std::optional<MatchRule> optionalRule(dom::object object, std::string_view name,
                                      const std::string &where) {
    const dom::element value = member(object, name, where);
    if (value.is_null())
        return std::nullopt;
    return matchRule(value, where);
}

// Dollars per million tokens as picodollars per token.
std::int64_t rate(dom::element value, const std::string &where) {
    double dollars = 0;
    if (value.get(dollars) || !std::isfinite(dollars) || dollars < 0 || dollars > 1e6)
        fail(where, "is not a price");
    return std::llround(dollars * 1e6);
}

TieredRate tieredRate(dom::element value, const std::string &where) {
    TieredRate result;
    dom::object object;
    if (value.get(object)) {
        result.base = rate(value, where);
        return result;
    }
    result.base = rate(member(object, "base", where), where + ".base");
    dom::array tiers;
    if (member(object, "tiers", where).get(tiers))
        fail(where, "has tiers that are not a list");
    for (const dom::element tier : tiers) {
        dom::object tierObject;
        std::int64_t start = 0;
        if (tier.get(tierObject) || member(tierObject, "start", where).get(start) || start < 0)
            fail(where, "has a tier without a start");
        result.tiers.emplace_back(start, rate(member(tierObject, "price", where), where));
    }
    std::sort(result.tiers.begin(), result.tiers.end());
    return result;
}

std::optional<TieredRate> optionalRate(dom::object object, std::string_view name,
                                       const std::string &where) {
    dom::element value;
    if (object[name].get(value))
        return std::nullopt;
    return tieredRate(value, where + "." + std::string(name));
}

DatedPrices datedPrices(dom::element value, const std::string &where) {
    dom::object object;
    if (value.get(object))
        fail(where, "has prices that are not an object");
    DatedPrices prices;
    const dom::element from = member(object, "from", where);
    if (!from.is_null()) {
        const auto day = parseDay(text(from, where + ".from"));
        if (!day)
            fail(where, "has a date that is not yyyy-MM-dd");
        prices.from = *day;
    }
    bool unpriced = false;
    prices.unpriced = !object["unpriced"].get(unpriced) && unpriced;
    if (prices.unpriced)
        return prices;
    prices.input = tieredRate(member(object, "input", where), where + ".input");
    prices.output = tieredRate(member(object, "output", where), where + ".output");
    prices.cacheRead = optionalRate(object, "cache_read", where);
    prices.cacheWrite = optionalRate(object, "cache_write", where);
    prices.cacheWriteLong = optionalRate(object, "cache_write_1h", where);
    return prices;
}

} // namespace

PriceData parsePriceData(std::string_view json, std::string &version) {
    dom::parser parser;
    dom::element root;
    dom::object top;
    if (parser.parse(json.data(), json.size()).get(root) || root.get(top))
        fail("its text", "is not a JSON object");
    const std::string_view source = text(member(top, "source", "the top"), "source");
    const std::string_view packageVersion =
        text(member(top, "package_version", "the top"), "package_version");
    const std::string_view generated = text(member(top, "generated", "the top"), "generated");
    version = std::string(source) + " " + std::string(packageVersion) + ", made " +
              std::string(generated);

    PriceData data;
    dom::array vendors;
    if (member(top, "vendors", "the top").get(vendors))
        fail("vendors", "is not a list");
    for (const dom::element vendorValue : vendors) {
        dom::object vendorObject;
        if (vendorValue.get(vendorObject))
            fail("vendors", "holds something else than an object");
        VendorPrices vendor;
        vendor.id = text(member(vendorObject, "id", "a vendor"), "a vendor's id");
        vendor.modelMatch = optionalRule(vendorObject, "model_match", vendor.id);
        vendor.providerMatch = optionalRule(vendorObject, "provider_match", vendor.id);
        dom::array models;
        if (member(vendorObject, "models", vendor.id).get(models))
            fail(vendor.id, "has models that are not a list");
        for (const dom::element modelValue : models) {
            dom::object modelObject;
            if (modelValue.get(modelObject))
                fail(vendor.id, "has a model that is not an object");
            ModelPrices model;
            model.vendor = vendor.id;
            model.id = text(member(modelObject, "id", vendor.id), vendor.id + " model id");
            const std::string where = vendor.id + "/" + model.id;
            model.match = matchRule(member(modelObject, "match", where), where);
            dom::array prices;
            if (member(modelObject, "prices", where).get(prices) || prices.size() == 0)
                fail(where, "has no list of prices");
            for (const dom::element entry : prices)
                model.prices.push_back(datedPrices(entry, where));
            vendor.models.push_back(std::move(model));
        }
        data.vendors.push_back(std::move(vendor));
    }
    return data;
}

const DatedPrices &ModelPrices::on(DayNumber day) const {
    for (auto entry = prices.rbegin(); entry != prices.rend(); ++entry)
        if (!entry->from || *entry->from <= day)
            return *entry;
    return prices.front();
}
