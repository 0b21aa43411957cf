/* Synthetic input for the end-to-end tests under KWin on Wayland, through its fake-input
 * protocol (KWin offers it to any client when started with KWIN_WAYLAND_NO_PERMISSION_CHECKS=1).
 * Runs its commands in order and returns once the compositor has taken them all:
 *   kwin_fake_input move X Y       the pointer to (X, Y) in the compositor's coordinates
 *   kwin_fake_input click          a left click where the pointer is
 *   kwin_fake_input key NAME       a key pressed and released: Escape, Menu, Tab, Return, Space
 *   kwin_fake_input hold           stays connected until ended
 * for example `kwin_fake_input move 640 400 click key Escape`. Each connection is an input
 * device of its own, and the seat has a pointer and a keyboard only while one is connected:
 * clients drop theirs when the last goes and take a moment to make them anew when the next
 * comes, and input sent meanwhile is lost. A `hold` started first keeps them, as a real mouse
 * and keyboard would. */
#include "fake-input-client-protocol.h"

#include <linux/input-event-codes.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <wayland-client.h>

enum { released = 0, pressed = 1, protocolVersion = 4 };

static struct org_kde_kwin_fake_input *fakeInput;

static void global(void *data, struct wl_registry *registry, uint32_t name, const char *interface,
                   uint32_t version) {
    (void)data;
    if (strcmp(interface, org_kde_kwin_fake_input_interface.name) == 0 &&
        version >= protocolVersion)
        fakeInput =
            wl_registry_bind(registry, name, &org_kde_kwin_fake_input_interface, protocolVersion);
}

static void globalRemove(void *data, struct wl_registry *registry, uint32_t name) {
    (void)data;
    (void)registry;
    (void)name;
}

static const struct wl_registry_listener registryListener = {global, globalRemove};

static int keyCode(const char *name) {
    static const struct {
        const char *name;
        int code;
    } keys[] = {{"Escape", KEY_ESC},
                {"Menu", KEY_COMPOSE},
                {"Tab", KEY_TAB},
                {"Return", KEY_ENTER},
                {"Space", KEY_SPACE}};
    for (size_t i = 0; i < sizeof keys / sizeof keys[0]; ++i) {
        if (strcmp(keys[i].name, name) == 0)
            return keys[i].code;
    }
    return -1;
}

static int usage(void) {
    fprintf(stderr, "usage: kwin_fake_input (move X Y | click | key NAME)... | hold\n");
    return 2;
}

int main(int argc, char **argv) {
    struct wl_display *display = wl_display_connect(NULL);
    if (!display) {
        fprintf(stderr, "kwin_fake_input: no Wayland display\n");
        return 1;
    }
    struct wl_registry *registry = wl_display_get_registry(display);
    wl_registry_add_listener(registry, &registryListener, NULL);
    wl_display_roundtrip(display);
    if (!fakeInput) {
        fprintf(stderr, "kwin_fake_input: the compositor offers no fake input (version %d)\n",
                protocolVersion);
        return 1;
    }
    org_kde_kwin_fake_input_authenticate(fakeInput, "tesselmenu tests", "end-to-end tests");
    for (int i = 1; i < argc; ++i) {
        if (strcmp(argv[i], "move") == 0 && i + 2 < argc) {
            org_kde_kwin_fake_input_pointer_motion_absolute(fakeInput,
                                                            wl_fixed_from_int(atoi(argv[i + 1])),
                                                            wl_fixed_from_int(atoi(argv[i + 2])));
            i += 2;
        } else if (strcmp(argv[i], "click") == 0) {
            org_kde_kwin_fake_input_button(fakeInput, BTN_LEFT, pressed);
            org_kde_kwin_fake_input_button(fakeInput, BTN_LEFT, released);
        } else if (strcmp(argv[i], "key") == 0 && i + 1 < argc && keyCode(argv[i + 1]) >= 0) {
            const int code = keyCode(argv[++i]);
            org_kde_kwin_fake_input_keyboard_key(fakeInput, (uint32_t)code, pressed);
            org_kde_kwin_fake_input_keyboard_key(fakeInput, (uint32_t)code, released);
        } else if (strcmp(argv[i], "hold") == 0) {
            while (wl_display_dispatch(display) >= 0)
                continue;
            return 0;
        } else {
            return usage();
        }
        /* Each step reaches the compositor before the next. */
        if (wl_display_roundtrip(display) < 0) {
            fprintf(stderr, "kwin_fake_input: the compositor closed the connection\n");
            return 1;
        }
    }
    org_kde_kwin_fake_input_destroy(fakeInput);
    wl_registry_destroy(registry);
    wl_display_disconnect(display);
    return 0;
}
