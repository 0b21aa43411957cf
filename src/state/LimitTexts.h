#pragma once

#include "cli/LimitsFormat.h"

#include <QDateTime>
#include <QList>
#include <QString>

#include <optional>

// The tray's texts for usage limits, read against the utility's own clock: a window whose
// reset time has passed since the tool looked reads as reset, never with its old figure.

// "5 小时", "7 天", "90 分钟".
QString limitWindowName(qint64 minutes);
// "2 小时 10 分", "3 天 4 小时", "10 分", "不到 1 分".
QString remainingText(qint64 seconds);

// The window's status at `now`: a passed reset turns any figure into `reset`.
LimitWindow::Status limitStatusAt(const LimitWindow &window, const QDateTime &now);

// One line of the tray menu: "Codex 5 小时：42%，2 小时 10 分后重置", "…：已用完，… 后重置",
// "…：已重置，暂无新数据"; a figure Claude Code cached says how old it is. A bucket's window
// is named by its bucket: "Codex · GPT-5-Codex 5 小时：3%，…".
QString limitLine(const LimitWindow &window, const QDateTime &now);
// A notification's title, the window and its share first so it reads on one line:
// "Codex 5 小时 81%", "Claude Code 7 天 100%" for a window used up.
QString limitAlertTitle(const LimitWindow &window, const QDateTime &now);
// "按当前速度，约 1 小时 25 分后（13:45）用完", only when the pace runs out before the reset.
std::optional<QString> paceLine(const LimitWindow &window, const QDateTime &now);
// The line of the most used window that still holds a figure, for the tooltip.
std::optional<QString> highestLimitLine(const QList<LimitWindow> &windows, const QDateTime &now);
// The account's windows and the buckets' in the order the tray shows them: each provider's
// buckets right after its own windows, the rest at the end, each list's order kept.
QList<LimitWindow> limitsInMenuOrder(const QList<LimitWindow> &account,
                                     const QList<LimitWindow> &buckets);
