#pragma once

#include <QDate>
#include <QDateTime>

#include <chrono>
#include <functional>

// The state object's sense of time. Tests replace `now` to stand on any day and shorten
// `second` so loops that wait whole seconds run quickly.
struct Clock {
    std::function<QDateTime()> now = [] { return QDateTime::currentDateTimeUtc(); };
    std::chrono::milliseconds second = std::chrono::seconds(1);

    // The current calendar day in the local time zone.
    QDate today() const { return now().toLocalTime().date(); }
};
