#pragma once

#include <QDateTime>
#include <QString>

#include <optional>

// A token count in at most a few characters: 999, 1.5K, 2.3M, 1.2B. The unit is chosen
// before rounding, so 999,950 reads 1000.0K. Negative counts never take a unit.
QString compactTokenString(qint64 value);

// A token count in at most four characters for the tray icon: 999, 4.3M, 12B, 999K, one
// decimal only below ten of a unit. Negative counts read "<0".
QString shortTokenString(qint64 value);

// Seconds as "HH:MM:SS"; hours are not wrapped at 24 and negative input counts as zero.
QString durationString(qint64 seconds);

// "热图" followed by today's compact figure when there is one.
QString menuTitleFor(qint64 todayTokens);

// The compact figure, or "暂无数据" for zero.
QString summaryFor(qint64 tokens);

// Seconds until the next scheduled sync: the schedule fires every `interval` seconds (at
// least 1) counted from `anchor`; the result lies between 1 and the interval.
qint64 secondsUntilNextSync(const QDateTime &now, double anchorSecondsSinceEpoch, qint64 interval);

// "下次同步：HH:MM:SS" for the countdown above.
QString nextSyncText(qint64 remainingSeconds);
