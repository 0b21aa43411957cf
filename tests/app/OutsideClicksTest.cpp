#include "app/X11OutsideClicks.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QWidget>

#include <xcb/xcb.h>

#include <gtest/gtest.h>

#include <array>
#include <cstdlib>
#include <functional>
#include <memory>
#include <string_view>
#include <vector>

namespace {

template <typename Reply> using Owned = std::unique_ptr<Reply, decltype(&free)>;

xcb_connection_t *connection() {
    return qGuiApp->nativeInterface<QNativeInterface::QX11Application>()->connection();
}

// Where the cover's mapped windows are, found among the root's children by their name.
std::vector<QRect> coverStrips() {
    xcb_connection_t *c = connection();
    const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(c)).data->root;
    const Owned<xcb_query_tree_reply_t> tree(
        xcb_query_tree_reply(c, xcb_query_tree(c, root), nullptr), &free);
    std::vector<QRect> strips;
    const xcb_window_t *children = xcb_query_tree_children(tree.get());
    for (int index = 0; index < xcb_query_tree_children_length(tree.get()); ++index) {
        const xcb_window_t window = children[index];
        const Owned<xcb_get_window_attributes_reply_t> attributes(
            xcb_get_window_attributes_reply(c, xcb_get_window_attributes(c, window), nullptr),
            &free);
        const Owned<xcb_get_property_reply_t> name(
            xcb_get_property_reply(
                c, xcb_get_property(c, 0, window, XCB_ATOM_WM_NAME, XCB_ATOM_STRING, 0, 64),
                nullptr),
            &free);
        if (!attributes || attributes->map_state != XCB_MAP_STATE_VIEWABLE || !name ||
            std::string_view(static_cast<const char *>(xcb_get_property_value(name.get())),
                             size_t(xcb_get_property_value_length(name.get()))) !=
                "TesselMenu outside the panel")
            continue;
        const Owned<xcb_get_geometry_reply_t> geometry(
            xcb_get_geometry_reply(c, xcb_get_geometry(c, window), nullptr), &free);
        strips.emplace_back(geometry->x, geometry->y, geometry->width, geometry->height);
    }
    return strips;
}

bool within5s(const std::function<bool()> &done) {
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < 5000) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        if (done())
            return true;
    }
    return false;
}

// The cover is up and leaves `window` free for its clicks.
bool coversAllBut(const QRect &window) {
    const std::vector<QRect> strips = coverStrips();
    if (strips.empty())
        return false;
    for (const QRect &strip : strips)
        if (strip.intersects(window))
            return false;
    return true;
}

} // namespace

// A window manager carries out a resize the panel asked for (taller, its bottom edge kept
// above the tray) after Qt has already told the panel: the cover must move off the panel's
// new top rows, or a click on its header counts as a click outside.
TEST(OutsideClicksTest, TheCoverFollowsTheWindowWhereTheServerPutsIt) {
    QWidget panel(nullptr, Qt::Tool | Qt::FramelessWindowHint);
    panel.setGeometry(400, 300, 200, 300);
    panel.show();
    ASSERT_TRUE(within5s([&] { return panel.testAttribute(Qt::WA_Mapped); }));
    const std::unique_ptr<X11OutsideClicks> cover = X11OutsideClicks::create();
    ASSERT_TRUE(cover);
    cover->surround(panel);
    ASSERT_TRUE(within5s([&] { return coversAllBut(QRect(400, 300, 200, 300)); }));

    const std::array<uint32_t, 4> taller{400, 200, 200, 400};
    xcb_configure_window(connection(), xcb_window_t(panel.winId()),
                         XCB_CONFIG_WINDOW_X | XCB_CONFIG_WINDOW_Y | XCB_CONFIG_WINDOW_WIDTH |
                             XCB_CONFIG_WINDOW_HEIGHT,
                         taller.data());
    xcb_flush(connection());
    EXPECT_TRUE(within5s([&] { return coversAllBut(QRect(400, 200, 200, 400)); }));

    cover->withdraw();
    EXPECT_TRUE(within5s([] { return coverStrips().empty(); }));
}

int main(int argc, char **argv) {
    qputenv("QT_QPA_PLATFORM", "xcb");
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
