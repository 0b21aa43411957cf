#pragma once

#include <cstddef>
#include <string_view>

// Finds a short fixed string in a block of log text. Most of a log is not usage lines, so this
// search is the scan's inner loop: it tests two bytes of the needle at many positions at once
// (16 with SSE2, 32 with AVX2 where the processor has it) and compares the whole needle only
// where both match. The two bytes are the needle's least common ones in JSON text, so that
// ordinary words rarely pass the test.
class NeedleSearch {
public:
    // How many positions one step tests; `widest` is the best the processor offers.
    enum class Lanes { one, sse2, avx2, widest };

    // `needle` must outlive the search.
    explicit NeedleSearch(std::string_view needle);

    // The first occurrence of the needle in [begin, end), or nullptr; an empty needle is found at
    // `begin`.
    const char *find(const char *begin, const char *end, Lanes lanes = Lanes::widest) const;

    // Whether this processor can run the given width.
    static bool supports(Lanes lanes);

private:
    // The first position p + k, for a set bit k of `mask`, where the whole needle is.
    const char *confirm(const char *p, unsigned mask) const;
    const char *findOne(const char *begin, const char *end) const;
    const char *findSse2(const char *begin, const char *end) const;
    const char *findAvx2(const char *begin, const char *end) const;

    std::string_view m_needle;
    // Offsets in the needle of the two bytes tested first.
    std::size_t m_first = 0, m_second = 0;
};
