#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

// `tessel report week --by tool,model --daily --json`: where today's tokens went, by tool and
// by model, and what they and the whole week would cost at the providers' API prices (an
// estimate: a subscription costs the same whatever the tokens). Every member read is
// required and checked; members not read are ignored, so the tool may add more.

// Tokens and their API-equivalent cost.
struct TokenCost {
    qint64 tokens = 0;
    qint64 costNanodollars = 0;
    // Of the tokens, those of models the tool has no price for: the cost is then at least the
    // figure shown.
    qint64 unpricedTokens = 0;

    bool costIsLowerBound() const { return unpricedTokens > 0; }
    // None of the tokens could be priced.
    bool unpriced() const { return unpricedTokens > 0 && costNanodollars == 0; }
    friend bool operator==(const TokenCost &, const TokenCost &) = default;
};

struct BreakdownEntry {
    // A tool's name ("Claude Code"), a model's ("claude-sonnet-4-5") or "unknown".
    QString label;
    TokenCost figures;
    // False for the usage whose logs name no model (the tool's "name" is null).
    bool named = true;
    friend bool operator==(const BreakdownEntry &, const BreakdownEntry &) = default;
};

struct BreakdownReport {
    // The last day of the report, "yyyy-MM-dd": today, as the tool counts days.
    QString today;
    TokenCost todayTotal;
    // Largest first, as the tool orders them; empty on a day without tokens.
    QList<BreakdownEntry> todayByTool;
    QList<BreakdownEntry> todayByModel;
    // The week up to today.
    TokenCost week;
    // The models the week's cost leaves out, and whether usage without a model name is left
    // out too.
    QStringList unpricedModels;
    bool unpricedUnknownModel = false;

    friend bool operator==(const BreakdownReport &, const BreakdownReport &) = default;

    // Throws ReportFormatError naming the member that is missing or wrong.
    static BreakdownReport decode(const QByteArray &json);
};
