#include "PointerImage.h"

#include <QGuiApplication>
#include <QPainter>

#include <xcb/xcb.h>
#include <xcb/xfixes.h>

#include <cstdio>
#include <cstdlib>
#include <memory>

void drawPointer(QImage& desktopPicture, QPoint desktopOrigin)
{
    auto* x11 = qApp->nativeInterface<QNativeInterface::QX11Application>();
    if (!x11)
        return;
    xcb_connection_t* c = x11->connection();
    // The extension answers nothing until its version has been asked.
    std::unique_ptr<xcb_xfixes_query_version_reply_t, decltype(&std::free)> version(
        xcb_xfixes_query_version_reply(c, xcb_xfixes_query_version(c, XCB_XFIXES_MAJOR_VERSION, XCB_XFIXES_MINOR_VERSION), nullptr),
        &std::free);
    std::unique_ptr<xcb_xfixes_get_cursor_image_reply_t, decltype(&std::free)> cursor(
        version ? xcb_xfixes_get_cursor_image_reply(c, xcb_xfixes_get_cursor_image(c), nullptr) : nullptr, &std::free);
    if (!cursor || cursor->width == 0 || cursor->height == 0) {
        std::fputs("pelorin-screencapture: the X server does not tell the pointer's picture (XFixes); it is left out\n", stderr);
        return;
    }
    // XFixes hands the pointer as premultiplied ARGB words, Qt's own layout for this format.
    const QImage pointer(reinterpret_cast<const uchar*>(xcb_xfixes_get_cursor_image_cursor_image(cursor.get())), cursor->width,
                         cursor->height, cursor->width * 4, QImage::Format_ARGB32_Premultiplied);
    const qreal scale = desktopPicture.devicePixelRatio();
    // The root's coordinates are device pixels; the picture starts at the desktop's origin.
    const QPoint at = QPoint(cursor->x - cursor->xhot, cursor->y - cursor->yhot) - (QPointF(desktopOrigin) * scale).toPoint();
    QImage target = desktopPicture;
    target.setDevicePixelRatio(1);
    {
        QPainter painter(&target);
        painter.drawImage(at, pointer);
    }
    target.setDevicePixelRatio(scale);
    desktopPicture = target;
}
