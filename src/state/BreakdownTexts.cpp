#include "state/BreakdownTexts.h"

#include "state/DisplayFormatting.h"

#include <QLocale>

QString dollarText(qint64 nanodollars, bool lowerBound) {
    const QString prefix = lowerBound ? QStringLiteral("≥ ") : QString();
    nanodollars = std::max<qint64>(nanodollars, 0);
    const qint64 cents = nanodollars / 10'000'000 + (nanodollars % 10'000'000 >= 5'000'000);
    if (cents == 0 && nanodollars > 0)
        return prefix + QStringLiteral("<$0.01");
    QLocale c = QLocale::c();
    c.setNumberOptions(QLocale::DefaultNumberOptions);
    return prefix + QStringLiteral("$%1.%2")
                        .arg(c.toString(cents / 100))
                        .arg(cents % 100, 2, 10, QLatin1Char('0'));
}

QString costText(const TokenCost &figures) {
    if (figures.unpriced())
        return QStringLiteral("未定价");
    return dollarText(figures.costNanodollars, figures.costIsLowerBound());
}

namespace {

void addEntries(QList<BreakdownLine> &lines, const QString &heading,
                const QList<BreakdownEntry> &entries) {
    lines.append({BreakdownLine::Kind::heading, heading});
    for (const BreakdownEntry &entry : entries)
        lines.append({BreakdownLine::Kind::figure,
                      QStringLiteral("%1：%2 · %3")
                          .arg(entry.named ? entry.label : QStringLiteral("未知模型"),
                               compactTokenString(entry.figures.tokens), costText(entry.figures))});
}

} // namespace

QList<BreakdownLine> breakdownLines(const BreakdownReport &report,
                                    const std::optional<QString> &problem) {
    QList<BreakdownLine> lines;
    if (problem)
        lines.append({BreakdownLine::Kind::note, QStringLiteral("⚠ 明细未能更新：") +
                                                     problem->section(QLatin1Char('\n'), 0, 0)});
    if (report.todayByTool.isEmpty() && report.todayByModel.isEmpty()) {
        lines.append({BreakdownLine::Kind::figure, QStringLiteral("今日暂无数据")});
    } else {
        addEntries(lines, QStringLiteral("按工具"), report.todayByTool);
        lines.append({BreakdownLine::Kind::separator, {}});
        addEntries(lines, QStringLiteral("按模型"), report.todayByModel);
    }
    lines.append({BreakdownLine::Kind::separator, {}});
    lines.append({BreakdownLine::Kind::figure,
                  QStringLiteral("本周合计：%1 · %2")
                      .arg(compactTokenString(report.week.tokens), costText(report.week))});
    QStringList unpriced = report.unpricedModels;
    if (report.unpricedUnknownModel)
        unpriced << QStringLiteral("未知模型");
    if (!unpriced.isEmpty())
        lines.append({BreakdownLine::Kind::note,
                      QStringLiteral("未定价：") + unpriced.join(QStringLiteral("、"))});
    lines.append({BreakdownLine::Kind::note, QStringLiteral("按 API 价格估算")});
    return lines;
}
