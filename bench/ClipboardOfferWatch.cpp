// How soon a program offers an image on the clipboard after Ctrl+C, as another program
// sees it: runs `xdotool key ctrl+c` (into whichever window has the focus), waits for the
// X server to announce a new clipboard owner (XFixes), then asks the owner for its TARGETS
// and, if it offers image/png, for the PNG itself. Prints, in milliseconds from starting
// xdotool: the new owner, the TARGETS answer holding image/png, and the PNG data (the
// paste a program would make). Used by bench/clipboard_copy.sh.
//   bench_clipboard_offer [--no-paste] [--out FILE]
// Exit 1 when no image was offered within 10 s.
#include <xcb/xcb.h>
#include <xcb/xfixes.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;

xcb_atom_t atom(xcb_connection_t* c, const char* name)
{
    xcb_intern_atom_reply_t* reply = xcb_intern_atom_reply(c, xcb_intern_atom(c, 0, uint16_t(std::strlen(name)), name), nullptr);
    const xcb_atom_t a = reply ? reply->atom : xcb_atom_t(XCB_ATOM_NONE);
    std::free(reply);
    return a;
}

// The next event of the given response type, or null after the deadline.
xcb_generic_event_t* waitFor(xcb_connection_t* c, uint8_t type, Clock::time_point deadline)
{
    for (;;) {
        while (xcb_generic_event_t* event = xcb_poll_for_event(c)) {
            if ((event->response_type & 0x7f) == type)
                return event;
            std::free(event);
        }
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
        if (left <= 0)
            return nullptr;
        pollfd fd{xcb_get_file_descriptor(c), POLLIN, 0};
        poll(&fd, 1, int(left));
    }
}

// Asks the owner to convert CLIPBOARD to `target` into a property of `window`; the bytes, or
// none when refused or late. INCR transfers (large data) are read to the end.
bool convert(xcb_connection_t* c, xcb_window_t window, xcb_atom_t clipboard, xcb_atom_t target, xcb_atom_t property,
             xcb_atom_t incr, Clock::time_point deadline, std::vector<uint8_t>* out)
{
    xcb_convert_selection(c, window, clipboard, target, property, XCB_CURRENT_TIME);
    xcb_flush(c);
    xcb_generic_event_t* event = waitFor(c, XCB_SELECTION_NOTIFY, deadline);
    if (!event)
        return false;
    const auto* notify = reinterpret_cast<xcb_selection_notify_event_t*>(event);
    const bool refused = notify->property == XCB_ATOM_NONE;
    std::free(event);
    if (refused)
        return false;
    xcb_get_property_reply_t* reply =
        xcb_get_property_reply(c, xcb_get_property(c, 1, window, property, XCB_GET_PROPERTY_TYPE_ANY, 0, 1u << 28), nullptr);
    if (!reply)
        return false;
    const bool isIncr = reply->type == incr;
    if (!isIncr) {
        const auto* bytes = static_cast<const uint8_t*>(xcb_get_property_value(reply));
        out->assign(bytes, bytes + xcb_get_property_value_length(reply));
        std::free(reply);
        return true;
    }
    std::free(reply);
    // Each chunk arrives as a new value of the property; an empty one ends the transfer.
    out->clear();
    for (;;) {
        xcb_generic_event_t* changed = waitFor(c, XCB_PROPERTY_NOTIFY, deadline);
        if (!changed)
            return false;
        const auto* note = reinterpret_cast<xcb_property_notify_event_t*>(changed);
        const bool newValue = note->atom == property && note->state == XCB_PROPERTY_NEW_VALUE;
        std::free(changed);
        if (!newValue)
            continue;
        xcb_get_property_reply_t* chunk =
            xcb_get_property_reply(c, xcb_get_property(c, 1, window, property, XCB_GET_PROPERTY_TYPE_ANY, 0, 1u << 28), nullptr);
        if (!chunk)
            return false;
        const int length = xcb_get_property_value_length(chunk);
        const auto* bytes = static_cast<const uint8_t*>(xcb_get_property_value(chunk));
        out->insert(out->end(), bytes, bytes + length);
        std::free(chunk);
        xcb_flush(c);
        if (length == 0)
            return true;
    }
}

double msSince(Clock::time_point start)
{
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

} // namespace

int main(int argc, char** argv)
{
    bool paste = true;
    const char* outFile = nullptr;
    for (int i = 1; i < argc; ++i) {
        if (!std::strcmp(argv[i], "--no-paste"))
            paste = false;
        else if (!std::strcmp(argv[i], "--out") && i + 1 < argc)
            outFile = argv[++i];
    }
    xcb_connection_t* c = xcb_connect(nullptr, nullptr);
    if (xcb_connection_has_error(c)) {
        std::fputs("bench_clipboard_offer: cannot open the display\n", stderr);
        return 2;
    }
    xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(c)).data;
    const xcb_window_t window = xcb_generate_id(c);
    const uint32_t mask = XCB_EVENT_MASK_PROPERTY_CHANGE;
    xcb_create_window(c, XCB_COPY_FROM_PARENT, window, screen->root, 0, 0, 1, 1, 0, XCB_WINDOW_CLASS_INPUT_ONLY,
                      screen->root_visual, XCB_CW_EVENT_MASK, &mask);
    std::free(xcb_xfixes_query_version_reply(c, xcb_xfixes_query_version(c, 5, 0), nullptr));
    const xcb_query_extension_reply_t* xfixes = xcb_get_extension_data(c, &xcb_xfixes_id);
    if (!xfixes || !xfixes->present) {
        std::fputs("bench_clipboard_offer: the X server has no XFixes\n", stderr);
        return 2;
    }
    const xcb_atom_t clipboard = atom(c, "CLIPBOARD");
    const xcb_atom_t targets = atom(c, "TARGETS");
    const xcb_atom_t png = atom(c, "image/png");
    const xcb_atom_t incr = atom(c, "INCR");
    const xcb_atom_t property = atom(c, "PELORIN_BENCH_PASTE");
    xcb_xfixes_select_selection_input(c, window, clipboard, XCB_XFIXES_SELECTION_EVENT_MASK_SET_SELECTION_OWNER);
    xcb_flush(c);

    const Clock::time_point start = Clock::now();
    const Clock::time_point deadline = start + std::chrono::seconds(10);
    pid_t xdotool = 0;
    char* keyArgs[] = {const_cast<char*>("xdotool"), const_cast<char*>("key"), const_cast<char*>("ctrl+c"), nullptr};
    if (posix_spawnp(&xdotool, "xdotool", nullptr, nullptr, keyArgs, environ) != 0) {
        std::fputs("bench_clipboard_offer: needs xdotool\n", stderr);
        return 2;
    }
    xcb_generic_event_t* owned = waitFor(c, xfixes->first_event + XCB_XFIXES_SELECTION_NOTIFY, deadline);
    const double ownerMs = msSince(start);
    std::free(owned);
    double targetsMs = -1;
    double pasteMs = -1;
    size_t pngBytes = 0;
    // The owner may not answer at once (or announce itself before it has the data): ask until
    // image/png is among its targets.
    while (owned && Clock::now() < deadline && targetsMs < 0) {
        std::vector<uint8_t> list;
        if (convert(c, window, clipboard, targets, property, incr, deadline, &list)) {
            const auto* atoms = reinterpret_cast<const xcb_atom_t*>(list.data());
            for (size_t i = 0; i < list.size() / sizeof(xcb_atom_t); ++i)
                if (atoms[i] == png)
                    targetsMs = msSince(start);
        }
    }
    if (paste && targetsMs >= 0) {
        std::vector<uint8_t> data;
        if (convert(c, window, clipboard, png, property, incr, deadline, &data)) {
            pasteMs = msSince(start);
            pngBytes = data.size();
            if (outFile) {
                if (FILE* f = std::fopen(outFile, "wb")) {
                    std::fwrite(data.data(), 1, data.size(), f);
                    std::fclose(f);
                }
            }
        }
    }
    int status = 0;
    waitpid(xdotool, &status, 0);
    std::printf("owner_ms %.1f offers_png_ms %.1f pasted_png_ms %.1f png_bytes %zu\n", owned ? ownerMs : -1.0, targetsMs,
                pasteMs, pngBytes);
    xcb_disconnect(c);
    return targetsMs >= 0 ? 0 : 1;
}
