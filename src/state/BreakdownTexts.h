#pragma once

#include "cli/BreakdownFormat.h"

#include <QList>
#include <QString>

#include <optional>

// The texts of the tray menu's "今日明细": today's tokens by tool, then by model, each with
// its API-equivalent cost, the week's total cost, and the note that every amount is an
// estimate at API prices.

// "$3.40", "≥ $3.40" when some tokens had no price, "<$0.01" for less than a cent that is not
// nothing.
QString dollarText(qint64 nanodollars, bool lowerBound = false);
// "$3.40", "≥ $3.40", or "未定价" when none of the tokens had a price.
QString costText(const TokenCost &figures);

struct BreakdownLine {
    enum class Kind {
        heading,   // "按工具", "按模型"
        figure,    // "Claude Code：1.2M · $3.40"
        note,      // what the amounts are, which models have no price
        separator, //
    };
    Kind kind = Kind::figure;
    QString text;

    friend bool operator==(const BreakdownLine &, const BreakdownLine &) = default;
};

// The submenu's lines, top to bottom; `problem`, when the last reading failed, goes on a
// warning line at the top (the figures shown are then the last ones read).
QList<BreakdownLine> breakdownLines(const BreakdownReport &report,
                                    const std::optional<QString> &problem = std::nullopt);
