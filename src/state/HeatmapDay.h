#pragma once

#include <QString>

// One cell of the usage heatmap: a calendar day ("yyyy-MM-dd") and the tokens used on it.
struct HeatmapDay {
    QString date;
    qint64 tokens;

    // The colour step 0-4: none, under a million, under ten million, under a hundred million,
    // and everything else, negative counts included.
    int level() const;

    friend bool operator==(const HeatmapDay &, const HeatmapDay &) = default;
};
