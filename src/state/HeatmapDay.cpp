#include "state/HeatmapDay.h"

int HeatmapDay::level() const {
    if (tokens == 0)
        return 0;
    if (tokens >= 1 && tokens <= 999'999)
        return 1;
    if (tokens >= 1'000'000 && tokens <= 9'999'999)
        return 2;
    if (tokens >= 10'000'000 && tokens <= 99'999'999)
        return 3;
    return 4;
}
