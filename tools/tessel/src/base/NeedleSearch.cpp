#include "base/NeedleSearch.h"

#include <array>
#include <cstring>

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#define TESSEL_X86 1
#endif

namespace {

// How common a byte is in JSON log text: quotes, spaces, punctuation and frequent English
// letters first. A byte not listed is rare.
constexpr std::string_view commonBytes = "\" :,{}etaoinsrhldcumfpgwybvkxjqz0123456789_-.";

constexpr auto commonnessOf = [] {
    std::array<unsigned char, 256> table{};
    for (std::size_t i = 0; i < commonBytes.size(); ++i)
        table[static_cast<unsigned char>(commonBytes[i])] =
            static_cast<unsigned char>(commonBytes.size() - i);
    return table;
}();

unsigned commonness(char byte) {
    return commonnessOf[static_cast<unsigned char>(byte)];
}

} // namespace

NeedleSearch::NeedleSearch(std::string_view needle) : m_needle(needle) {
    if (needle.size() < 2)
        return;
    // The rarest byte, then the rarest at another offset (the earlier one on a tie).
    const auto rarest = [&](std::size_t skip) {
        std::size_t best = skip == 0 ? 1 : 0;
        for (std::size_t i = 0; i < needle.size(); ++i)
            if (i != skip && commonness(needle[i]) < commonness(needle[best]))
                best = i;
        return best;
    };
    m_first = rarest(needle.size());
    m_second = rarest(m_first);
}

bool NeedleSearch::supports(Lanes lanes) {
    switch (lanes) {
    case Lanes::one:
    case Lanes::widest:
        return true;
#if TESSEL_X86
    case Lanes::sse2:
        return __builtin_cpu_supports("sse2");
    case Lanes::avx2:
        return __builtin_cpu_supports("avx2");
#else
    case Lanes::sse2:
    case Lanes::avx2:
        return false;
#endif
    }
    return false;
}

const char *NeedleSearch::find(const char *begin, const char *end, Lanes lanes) const {
    if (m_needle.size() < 2 || end - begin < static_cast<std::ptrdiff_t>(m_needle.size()))
        return findOne(begin, end);
    if (lanes == Lanes::widest) {
        static const Lanes best = supports(Lanes::avx2)   ? Lanes::avx2
                                  : supports(Lanes::sse2) ? Lanes::sse2
                                                          : Lanes::one;
        lanes = best;
    }
    switch (lanes) {
    case Lanes::avx2:
        return findAvx2(begin, end);
    case Lanes::sse2:
        return findSse2(begin, end);
    default:
        return findOne(begin, end);
    }
}

const char *NeedleSearch::confirm(const char *p, unsigned mask) const {
    for (; mask != 0; mask &= mask - 1) {
        const int k = __builtin_ctz(mask);
        if (std::memcmp(p + k, m_needle.data(), m_needle.size()) == 0)
            return p + k;
    }
    return nullptr;
}

const char *NeedleSearch::findOne(const char *begin, const char *end) const {
    if (m_needle.empty())
        return begin;
    return static_cast<const char *>(
        ::memmem(begin, static_cast<std::size_t>(end - begin), m_needle.data(), m_needle.size()));
}

#if TESSEL_X86

__attribute__((target("sse2"))) const char *NeedleSearch::findSse2(const char *p,
                                                                   const char *end) const {
    const __m128i first = _mm_set1_epi8(m_needle[m_first]);
    const __m128i second = _mm_set1_epi8(m_needle[m_second]);
    for (; static_cast<std::size_t>(end - p) >= m_needle.size() + 16; p += 16) {
        const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i *>(p + m_first));
        const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i *>(p + m_second));
        const auto mask = static_cast<unsigned>(
            _mm_movemask_epi8(_mm_and_si128(_mm_cmpeq_epi8(a, first), _mm_cmpeq_epi8(b, second))));
        if (mask != 0)
            if (const char *found = confirm(p, mask))
                return found;
    }
    return findOne(p, end);
}

__attribute__((target("avx2"))) const char *NeedleSearch::findAvx2(const char *p,
                                                                   const char *end) const {
    const __m256i first = _mm256_set1_epi8(m_needle[m_first]);
    const __m256i second = _mm256_set1_epi8(m_needle[m_second]);
    for (; static_cast<std::size_t>(end - p) >= m_needle.size() + 32; p += 32) {
        const __m256i a = _mm256_loadu_si256(reinterpret_cast<const __m256i *>(p + m_first));
        const __m256i b = _mm256_loadu_si256(reinterpret_cast<const __m256i *>(p + m_second));
        const auto mask = static_cast<unsigned>(_mm256_movemask_epi8(
            _mm256_and_si256(_mm256_cmpeq_epi8(a, first), _mm256_cmpeq_epi8(b, second))));
        if (mask != 0)
            if (const char *found = confirm(p, mask))
                return found;
    }
    return findOne(p, end);
}

#else

const char *NeedleSearch::findSse2(const char *begin, const char *end) const {
    return findOne(begin, end);
}

const char *NeedleSearch::findAvx2(const char *begin, const char *end) const {
    return findOne(begin, end);
}

#endif
