#include "settings/DailyBudget.h"

#include <QLocale>
#include <QStringList>

QString DailyBudget::stored() const {
    return (unit == Unit::tokens ? QStringLiteral("tokens ") : QStringLiteral("nanodollars ")) +
           QString::number(amount);
}

std::optional<DailyBudget> DailyBudget::fromStored(const QString &text) {
    const QStringList parts = text.trimmed().split(QLatin1Char(' '), Qt::SkipEmptyParts);
    if (parts.size() != 2)
        return std::nullopt;
    bool ok = false;
    const qint64 amount = parts[1].toLongLong(&ok);
    if (!ok || amount <= 0)
        return std::nullopt;
    if (parts[0] == u"tokens")
        return DailyBudget{Unit::tokens, amount};
    if (parts[0] == u"nanodollars")
        return DailyBudget{Unit::dollars, amount};
    return std::nullopt;
}

QString DailyBudget::label() const {
    const QLocale c = QLocale::c();
    if (unit == Unit::dollars) {
        const qint64 cents = (amount + 5'000'000) / 10'000'000;
        return cents % 100 == 0 ? QStringLiteral("$%1").arg(cents / 100)
                                : QStringLiteral("$%1").arg(c.toString(cents / 100.0, 'f', 2));
    }
    for (const auto &[size, suffix] :
         {std::pair{1'000'000'000LL, "B"}, std::pair{1'000'000LL, "M"}, std::pair{1'000LL, "K"}})
        if (amount >= size && amount % (size / 10) == 0)
            return (amount % size == 0 ? QString::number(amount / size)
                                       : c.toString(amount / double(size), 'f', 1)) +
                   QLatin1String(suffix) + QStringLiteral(" tokens");
    return QString::number(amount) + QStringLiteral(" tokens");
}
