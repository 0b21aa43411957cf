#pragma once

#include <QString>

#include <optional>

// A daily budget the person sets: tokens, or an amount in US dollars as the API prices would
// charge for the day's tokens (an estimate, since a subscription costs the same whatever).
struct DailyBudget {
    enum class Unit { tokens, dollars };
    Unit unit = Unit::tokens;
    // Tokens, or nanodollars for a budget in dollars; always above zero.
    qint64 amount = 0;

    static DailyBudget tokens(qint64 count) { return {Unit::tokens, count}; }
    static DailyBudget dollars(qint64 wholeDollars) {
        return {Unit::dollars, wholeDollars * 1'000'000'000};
    }

    // The stored form, "tokens 50000000" or "nanodollars 20000000000", and back: nothing for
    // a text that is not one, or an amount of zero or less.
    QString stored() const;
    static std::optional<DailyBudget> fromStored(const QString &text);

    // "50M tokens", "$20".
    QString label() const;

    friend bool operator==(const DailyBudget &, const DailyBudget &) = default;
};
