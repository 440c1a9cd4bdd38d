#include "editor/GifWriter.h"

#include <gif_lib.h>

#include <vector>

namespace pelorin {

namespace {

int appendToBuffer(GifFileType* gif, const GifByteType* data, int length)
{
    auto* out = static_cast<QByteArray*>(gif->UserData);
    out->append(reinterpret_cast<const char*>(data), length);
    return length;
}

} // namespace

QByteArray encodeGif(const QImage& source)
{
    if (source.isNull())
        return {};
    // Qt's conversion to an indexed image builds the palette; giflib writes the file.
    const QImage indexed = source.convertToFormat(QImage::Format_Indexed8, Qt::DiffuseDither);
    if (indexed.isNull() || indexed.colorCount() == 0)
        return {};
    const QList<QRgb> table = indexed.colorTable();
    int bits = 1;
    while ((1 << bits) < table.size())
        ++bits;
    std::vector<GifColorType> colors(static_cast<size_t>(1 << bits), GifColorType{0, 0, 0});
    for (qsizetype i = 0; i < table.size(); ++i)
        colors[static_cast<size_t>(i)] = {static_cast<GifByteType>(qRed(table[i])), static_cast<GifByteType>(qGreen(table[i])),
                                          static_cast<GifByteType>(qBlue(table[i]))};

    QByteArray out;
    int error = 0;
    GifFileType* gif = EGifOpen(&out, appendToBuffer, &error);
    if (!gif)
        return {};
    ColorMapObject* map = GifMakeMapObject(1 << bits, colors.data());
    bool ok = map && EGifPutScreenDesc(gif, indexed.width(), indexed.height(), bits, 0, map) == GIF_OK
        && EGifPutImageDesc(gif, 0, 0, indexed.width(), indexed.height(), false, nullptr) == GIF_OK;
    for (int y = 0; ok && y < indexed.height(); ++y) {
        auto* row = const_cast<GifPixelType*>(indexed.constScanLine(y));
        ok = EGifPutLine(gif, row, indexed.width()) == GIF_OK;
    }
    if (map)
        GifFreeMapObject(map);
    if (EGifCloseFile(gif, &error) != GIF_OK)
        ok = false;
    return ok ? out : QByteArray();
}

} // namespace pelorin
