// The icon reader on any bytes: it never crashes, what it gives is a PNG or a one-image .ico
// within the limits it promises, and decoding that stays small.
#include "platform/WindowsIcon.h"

#include <QImage>

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const QByteArray bytes = QByteArray::fromRawData(
        reinterpret_cast<const char *>(data), static_cast<qsizetype>(size));
    for (const int wanted : {16, 48, 256}) {
        const std::optional<WindowsIcon::Image> icon = WindowsIcon::fromBytes(bytes, wanted);
        if (!icon)
            continue;
        const bool png = icon->format == "PNG" && icon->bytes.startsWith("\x89PNG\r\n\x1a\n");
        const bool ico = icon->format == "ICO"
            && icon->bytes.startsWith(QByteArrayView("\0\0\1\0\1\0", 6))
            && icon->bytes.size() > 22 + 40;
        if ((!png && !ico) || icon->bytes.size() > WindowsIcon::maximumImageBytes + 22
            || icon->width < 1 || icon->width > WindowsIcon::maximumPngSide)
            std::abort();
        const QImage image = QImage::fromData(icon->bytes, icon->format.constData());
        if (image.width() > WindowsIcon::maximumPngSide
            || image.height() > WindowsIcon::maximumPngSide)
            std::abort();
    }
    return 0;
}
