#include "X11Windows.h"

#include <QGuiApplication>

#include <xcb/xcb.h>

#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

namespace {

template <typename T>
using Reply = std::unique_ptr<T, decltype(&std::free)>;

xcb_atom_t atom(xcb_connection_t* c, const char* name)
{
    Reply<xcb_intern_atom_reply_t> reply(xcb_intern_atom_reply(c, xcb_intern_atom(c, 1, static_cast<uint16_t>(strlen(name)), name), nullptr),
                                         &std::free);
    return reply ? reply->atom : static_cast<xcb_atom_t>(XCB_ATOM_NONE);
}

std::vector<uint32_t> cardinals(xcb_connection_t* c, xcb_window_t window, xcb_atom_t property, xcb_atom_t type)
{
    if (property == XCB_ATOM_NONE)
        return {};
    Reply<xcb_get_property_reply_t> reply(
        xcb_get_property_reply(c, xcb_get_property(c, 0, window, property, type, 0, 4096), nullptr), &std::free);
    if (!reply || reply->format != 32)
        return {};
    const auto* values = static_cast<const uint32_t*>(xcb_get_property_value(reply.get()));
    return {values, values + xcb_get_property_value_length(reply.get()) / 4};
}

} // namespace

QList<QRect> x11WindowRects()
{
    auto* x11 = qApp->nativeInterface<QNativeInterface::QX11Application>();
    if (!x11)
        return {};
    xcb_connection_t* c = x11->connection();
    const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(c)).data->root;
    const xcb_atom_t stacking = atom(c, "_NET_CLIENT_LIST_STACKING");
    const xcb_atom_t frameExtents = atom(c, "_NET_FRAME_EXTENTS");
    const xcb_atom_t gtkExtents = atom(c, "_GTK_FRAME_EXTENTS");
    const xcb_atom_t windowType = atom(c, "_NET_WM_WINDOW_TYPE");
    const xcb_atom_t typeDesktop = atom(c, "_NET_WM_WINDOW_TYPE_DESKTOP");
    const xcb_atom_t typeDock = atom(c, "_NET_WM_WINDOW_TYPE_DOCK");

    std::vector<uint32_t> clients = cardinals(c, root, stacking, XCB_ATOM_WINDOW);
    if (clients.empty()) {
        // No window manager list: fall back to the root's mapped children.
        Reply<xcb_query_tree_reply_t> tree(xcb_query_tree_reply(c, xcb_query_tree(c, root), nullptr), &std::free);
        if (tree) {
            const xcb_window_t* children = xcb_query_tree_children(tree.get());
            clients.assign(children, children + xcb_query_tree_children_length(tree.get()));
        }
    }
    QList<QRect> rects;
    for (auto it = clients.rbegin(); it != clients.rend(); ++it) { // top of the stack first
        const xcb_window_t window = *it;
        Reply<xcb_get_window_attributes_reply_t> attributes(
            xcb_get_window_attributes_reply(c, xcb_get_window_attributes(c, window), nullptr), &std::free);
        if (!attributes || attributes->map_state != XCB_MAP_STATE_VIEWABLE || attributes->override_redirect)
            continue;
        const std::vector<uint32_t> types = cardinals(c, window, windowType, XCB_ATOM_ATOM);
        if (!types.empty() && (types.front() == typeDesktop || types.front() == typeDock))
            continue;
        Reply<xcb_get_geometry_reply_t> geometry(xcb_get_geometry_reply(c, xcb_get_geometry(c, window), nullptr), &std::free);
        Reply<xcb_translate_coordinates_reply_t> origin(
            xcb_translate_coordinates_reply(c, xcb_translate_coordinates(c, window, root, 0, 0), nullptr), &std::free);
        if (!geometry || !origin)
            continue;
        QRect rect(origin->dst_x, origin->dst_y, geometry->width, geometry->height);
        // Server-side frame (left, right, top, bottom) belongs to the window.
        if (const std::vector<uint32_t> f = cardinals(c, window, frameExtents, XCB_ATOM_CARDINAL); f.size() == 4)
            rect.adjust(-static_cast<int>(f[0]), -static_cast<int>(f[2]), static_cast<int>(f[1]), static_cast<int>(f[3]));
        // Client-side shadow margins do not.
        if (const std::vector<uint32_t> g = cardinals(c, window, gtkExtents, XCB_ATOM_CARDINAL); g.size() == 4)
            rect.adjust(static_cast<int>(g[0]), static_cast<int>(g[2]), -static_cast<int>(g[1]), -static_cast<int>(g[3]));
        if (rect.width() > 1 && rect.height() > 1)
            rects.append(rect);
    }
    return rects;
}
