#include "providers/UsageRecord.h"

std::uint64_t messageKey(Provider provider, std::string_view id, std::string_view second) {
    std::uint64_t hash = 14695981039346656037ull;
    const auto mix = [&hash](std::string_view text) {
        for (const unsigned char c : text) {
            hash ^= c;
            hash *= 1099511628211ull;
        }
        hash ^= 0xff; // separator, so ("ab","c") and ("a","bc") differ
        hash *= 1099511628211ull;
    };
    mix(providerId(provider));
    mix(id);
    mix(second);
    // splitmix64 finaliser: spreads FNV's weak low bits over the whole word.
    hash ^= hash >> 30;
    hash *= 0xbf58476d1ce4e5b9ull;
    hash ^= hash >> 27;
    hash *= 0x94d049bb133111ebull;
    hash ^= hash >> 31;
    return hash == 0 ? 1 : hash;
}
