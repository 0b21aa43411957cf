#pragma once

#include <QtGlobal>

#include <limits>

// Token sums stop at the 64-bit limits instead of overflowing: a corrupt or hostile document
// with huge counts shows the largest figure rather than a wrapped negative one.
inline qint64 saturatingAdd(qint64 a, qint64 b) {
    qint64 sum;
    if (!__builtin_add_overflow(a, b, &sum))
        return sum;
    return b > 0 ? std::numeric_limits<qint64>::max() : std::numeric_limits<qint64>::min();
}
