#include "X11Windows.h"

#include <QGuiApplication>

#include <xcb/shm.h>
#include <xcb/xcb.h>

#include <sys/ipc.h>
#include <sys/shm.h>

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

QImage x11GrabRootShared(const QRect& area)
{
    auto* x11 = qApp->nativeInterface<QNativeInterface::QX11Application>();
    xcb_connection_t* c = x11 ? x11->connection() : nullptr;
    if (!c || area.isEmpty())
        return {};
    const xcb_query_extension_reply_t* extension = xcb_get_extension_data(c, &xcb_shm_id);
    if (!extension || !extension->present)
        return {};
    const xcb_setup_t* setup = xcb_get_setup(c);
    const xcb_screen_t* screen = xcb_setup_roots_iterator(setup).data;
    // Only the common layout: 24-bit colour in 32-bit little-endian words, as QImage's RGB32.
    bool wordPixels = false;
    for (auto format = xcb_setup_pixmap_formats_iterator(setup); format.rem; xcb_format_next(&format))
        if (format.data->depth == 24)
            wordPixels = format.data->bits_per_pixel == 32;
    if (screen->root_depth != 24 || !wordPixels || setup->image_byte_order != XCB_IMAGE_ORDER_LSB_FIRST
        || Q_BYTE_ORDER != Q_LITTLE_ENDIAN)
        return {};

    const qsizetype bytes = qsizetype(area.width()) * area.height() * 4;
    const int id = shmget(IPC_PRIVATE, size_t(bytes), IPC_CREAT | 0600);
    if (id < 0)
        return {};
    void* memory = shmat(id, nullptr, 0);
    QImage image;
    if (memory != reinterpret_cast<void*>(-1)) {
        const xcb_shm_seg_t segment = xcb_generate_id(c);
        Reply<xcb_generic_error_t> refused(xcb_request_check(c, xcb_shm_attach_checked(c, segment, uint32_t(id), 0)), &std::free);
        if (!refused) {
            Reply<xcb_shm_get_image_reply_t> reply(
                xcb_shm_get_image_reply(c,
                                        xcb_shm_get_image(c, screen->root, int16_t(area.x()), int16_t(area.y()), uint16_t(area.width()),
                                                          uint16_t(area.height()), ~0u, XCB_IMAGE_FORMAT_Z_PIXMAP, segment, 0),
                                        nullptr),
                &std::free);
            if (reply && reply->depth == 24)
                image = QImage(static_cast<const uchar*>(memory), area.width(), area.height(), area.width() * 4, QImage::Format_RGB32)
                            .copy();
            xcb_shm_detach(c, segment);
            xcb_flush(c);
        }
        shmdt(memory);
    }
    shmctl(id, IPC_RMID, nullptr);
    return image;
}
