#include "ui/GitHubMark.h"

#include <algorithm>
#include <array>

namespace {

enum class Step { move, curve, line, close };

// One command of the outline in design units (x right, y down). A curve names its end point
// first, then its two control points.
struct Command {
    Step step;
    QPointF end{};
    QPointF control1{};
    QPointF control2{};
};

// Starts at the top centre and runs anticlockwise on screen: down the left side, round the
// tail and the cat's head, and back up the right side.
constexpr std::array<Command, 27> outline{{
    {Step::move, {8.0, 0.2}},
    {Step::curve, {0.6, 7.6}, {3.9, 0.2}, {0.6, 3.5}},
    {Step::curve, {5.6, 14.6}, {0.6, 10.9}, {2.7, 13.7}},
    {Step::curve, {6.2, 14.3}, {6.0, 14.7}, {6.2, 14.5}},
    {Step::line, {6.2, 12.9}},
    {Step::curve, {3.7, 12.1}, {4.3, 13.2}, {3.8, 12.4}},
    {Step::curve, {2.9, 11.0}, {3.6, 11.9}, {3.2, 11.2}},
    {Step::curve, {2.9, 10.5}, {2.7, 10.9}, {2.3, 10.5}},
    {Step::curve, {4.0, 11.3}, {3.5, 10.5}, {3.9, 11.1}},
    {Step::curve, {6.2, 11.9}, {4.7, 12.4}, {5.8, 12.1}},
    {Step::curve, {6.7, 10.9}, {6.3, 11.4}, {6.5, 11.1}},
    {Step::curve, {3.3, 7.3}, {5.0, 10.7}, {3.3, 10.1}},
    {Step::curve, {4.1, 5.3}, {3.3, 6.5}, {3.6, 5.8}},
    {Step::curve, {4.1, 3.3}, {4.0, 5.1}, {3.7, 4.3}},
    {Step::curve, {6.2, 4.1}, {4.1, 3.3}, {4.8, 3.1}},
    {Step::curve, {8.0, 3.8}, {6.8, 3.9}, {7.4, 3.8}},
    {Step::curve, {9.9, 4.1}, {8.6, 3.8}, {9.3, 3.9}},
    {Step::curve, {11.9, 3.3}, {11.3, 3.1}, {11.9, 3.3}},
    {Step::curve, {12.0, 5.3}, {12.3, 4.3}, {12.1, 5.1}},
    {Step::curve, {12.7, 7.3}, {12.4, 5.8}, {12.7, 6.5}},
    {Step::curve, {9.4, 10.9}, {12.7, 10.1}, {11.0, 10.7}},
    {Step::curve, {9.9, 12.3}, {9.6, 11.2}, {9.9, 11.6}},
    {Step::line, {9.8, 14.3}},
    {Step::curve, {10.4, 14.7}, {9.8, 14.5}, {10.0, 14.7}},
    {Step::curve, {15.4, 7.6}, {13.4, 13.7}, {15.4, 10.8}},
    {Step::curve, {8.0, 0.2}, {15.4, 3.5}, {12.1, 0.2}},
    {Step::close},
}};

} // namespace

QPainterPath gitHubMarkPath(const QRectF &rect) {
    const qreal scale = std::min(rect.width(), rect.height()) * 0.0625;
    const QPointF origin(rect.center().x() - 8 * scale, rect.center().y() - 8 * scale);
    const auto map = [&](QPointF design) { return origin + design * scale; };

    QPainterPath path;
    for (const Command &command : outline) {
        switch (command.step) {
        case Step::move:
            path.moveTo(map(command.end));
            break;
        case Step::curve:
            path.cubicTo(map(command.control1), map(command.control2), map(command.end));
            break;
        case Step::line:
            path.lineTo(map(command.end));
            break;
        case Step::close:
            path.closeSubpath();
            break;
        }
    }
    return path;
}
