// Runs a command and prints how many milliseconds after its start a window the user can see
// appeared, for timing whole programs side by side from outside (bench/capture_open.sh):
//   bench_window_wait --class NAME [--size WxH] [--not-size WxH] [--colour RRGGBB] [--timeout MS] -- COMMAND...
// A window counts once a mapped top-level window (or the client inside a window manager's
// frame) has NAME as either part of its WM_CLASS, at least the given size (and not exactly the
// --not-size one), and, with
// --colour, the screen shows that colour (within a small tolerance) at the window's centre:
// the picture is painted, not only the window mapped. Prints -1 after the timeout. The
// command is started without waiting for it; it is reaped when it ends before the window.
#include <xcb/xcb.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include <sys/wait.h>
#include <unistd.h>

namespace {

template <typename T>
using Reply = std::unique_ptr<T, decltype(&std::free)>;

template <typename T>
Reply<T> reply(T* raw)
{
    return Reply<T>(raw, &std::free);
}

struct Wanted {
    std::string name;
    int width = 1;
    int height = 1;
    long colour = -1;
    int notWidth = -1; // a window of exactly this size does not count (a full-screen overlay)
    int notHeight = -1;
};

bool hasClass(xcb_connection_t* connection, xcb_window_t window, const std::string& name)
{
    auto property = reply(xcb_get_property_reply(
        connection, xcb_get_property(connection, 0, window, XCB_ATOM_WM_CLASS, XCB_ATOM_STRING, 0, 256), nullptr));
    if (!property)
        return false;
    const char* value = static_cast<const char*>(xcb_get_property_value(property.get()));
    const int length = xcb_get_property_value_length(property.get());
    for (int start = 0; start < length;) {
        const std::string part(value + start, strnlen(value + start, size_t(length - start)));
        if (part == name)
            return true;
        start += int(part.size()) + 1;
    }
    return false;
}

bool colourAt(xcb_connection_t* connection, xcb_window_t root, int x, int y, long wanted)
{
    auto image = reply(xcb_get_image_reply(connection, xcb_get_image(connection, XCB_IMAGE_FORMAT_Z_PIXMAP, root, int16_t(x),
                                                                        int16_t(y), 1, 1, ~0u),
                                           nullptr));
    if (!image || xcb_get_image_data_length(image.get()) < 3)
        return false;
    const uint8_t* pixel = xcb_get_image_data(image.get());
    const int channels[3] = {pixel[2], pixel[1], pixel[0]};
    for (int i = 0; i < 3; ++i)
        if (std::abs(channels[i] - int((wanted >> (16 - 8 * i)) & 0xff)) > 12)
            return false;
    return true;
}

// A mapped window of the wanted class among the root's children and their children (the
// window manager's frames hold the clients).
bool found(xcb_connection_t* connection, xcb_window_t root, const Wanted& wanted)
{
    auto top = reply(xcb_query_tree_reply(connection, xcb_query_tree(connection, root), nullptr));
    if (!top)
        return false;
    const xcb_window_t* frames = xcb_query_tree_children(top.get());
    for (int i = 0; i < xcb_query_tree_children_length(top.get()); ++i) {
        std::vector<xcb_window_t> candidates{frames[i]};
        if (auto inner = reply(xcb_query_tree_reply(connection, xcb_query_tree(connection, frames[i]), nullptr))) {
            const xcb_window_t* children = xcb_query_tree_children(inner.get());
            candidates.insert(candidates.end(), children, children + xcb_query_tree_children_length(inner.get()));
        }
        auto frameAttributes = reply(xcb_get_window_attributes_reply(connection, xcb_get_window_attributes(connection, frames[i]), nullptr));
        if (!frameAttributes || frameAttributes->map_state != XCB_MAP_STATE_VIEWABLE)
            continue;
        for (xcb_window_t window : candidates) {
            auto attributes = reply(xcb_get_window_attributes_reply(connection, xcb_get_window_attributes(connection, window), nullptr));
            if (!attributes || attributes->map_state != XCB_MAP_STATE_VIEWABLE || !hasClass(connection, window, wanted.name))
                continue;
            auto geometry = reply(xcb_get_geometry_reply(connection, xcb_get_geometry(connection, window), nullptr));
            if (!geometry || geometry->width < wanted.width || geometry->height < wanted.height
                || (geometry->width == wanted.notWidth && geometry->height == wanted.notHeight))
                continue;
            auto where = reply(xcb_translate_coordinates_reply(
                connection, xcb_translate_coordinates(connection, window, root, 0, 0), nullptr));
            if (!where)
                continue;
            if (wanted.colour < 0
                || colourAt(connection, root, where->dst_x + geometry->width / 2, where->dst_y + geometry->height / 2, wanted.colour))
                return true;
        }
    }
    return false;
}

} // namespace

int main(int argc, char** argv)
{
    Wanted wanted;
    int timeoutMs = 10000;
    int i = 1;
    for (; i < argc; ++i) {
        const std::string option = argv[i];
        if (option == "--")
            break;
        if (i + 1 >= argc)
            return 2;
        const char* value = argv[++i];
        if (option == "--class")
            wanted.name = value;
        else if (option == "--size")
            std::sscanf(value, "%dx%d", &wanted.width, &wanted.height);
        else if (option == "--not-size")
            std::sscanf(value, "%dx%d", &wanted.notWidth, &wanted.notHeight);
        else if (option == "--colour")
            wanted.colour = std::strtol(value, nullptr, 16);
        else if (option == "--timeout")
            timeoutMs = std::atoi(value);
        else
            return 2;
    }
    if (wanted.name.empty() || i + 1 >= argc) {
        std::fputs("usage: bench_window_wait --class NAME [--size WxH] [--not-size WxH] [--colour RRGGBB] [--timeout MS] -- COMMAND...\n", stderr);
        return 2;
    }
    xcb_connection_t* connection = xcb_connect(nullptr, nullptr);
    if (xcb_connection_has_error(connection))
        return 2;
    const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(connection)).data->root;

    const auto start = std::chrono::steady_clock::now();
    const pid_t child = fork();
    if (child == 0) {
        execvp(argv[i + 1], argv + i + 1);
        _exit(127);
    }
    double elapsed = -1;
    while (true) {
        const double ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
        if (found(connection, root, wanted)) {
            elapsed = ms;
            break;
        }
        if (ms > timeoutMs)
            break;
        waitpid(child, nullptr, WNOHANG);
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    std::printf("%.0f\n", elapsed);
    waitpid(child, nullptr, WNOHANG);
    xcb_disconnect(connection);
    return elapsed < 0 ? 1 : 0;
}
