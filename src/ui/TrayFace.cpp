#include "ui/TrayFace.h"

#include "state/DisplayFormatting.h"
#include "state/MenuBarViewModel.h"

namespace {

// Tooltips are a line or two: a tool's message of many lines is folded into one and cut.
constexpr qsizetype longestErrorLine = 200;

QString oneLine(const QString &text) {
    const QString line = text.simplified();
    if (line.size() <= longestErrorLine)
        return line;
    return line.left(longestErrorLine - 1) + QChar(0x2026);
}

} // namespace

QString trayToolTip(const MenuBarViewModel &model) {
    QString tip = model.menuTitle();
    if (const std::optional<QString> error = model.lastError())
        tip += u'\n' + oneLine(*error);
    return tip;
}

TrayIconFace trayIconFace(const MenuBarViewModel &model) {
    const qint64 tokens = model.todayTokens();
    return {tokens != 0 ? shortTokenString(tokens) : QString(), model.lastError().has_value()};
}
