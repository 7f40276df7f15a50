#include "WindowsIcon.h"

namespace {

quint32 u16(const QByteArray &bytes, qsizetype at)
{
    const auto *p = reinterpret_cast<const uchar *>(bytes.constData()) + at;
    return quint32(p[0]) | quint32(p[1]) << 8;
}

quint32 u32(const QByteArray &bytes, qsizetype at)
{
    return u16(bytes, at) | u16(bytes, at + 2) << 16;
}

quint32 bigEndian32(const QByteArray &bytes, qsizetype at)
{
    const auto *p = reinterpret_cast<const uchar *>(bytes.constData()) + at;
    return quint32(p[0]) << 24 | quint32(p[1]) << 16 | quint32(p[2]) << 8 | quint32(p[3]);
}

void put16(QByteArray &bytes, quint32 value)
{
    bytes.append(char(value & 0xff)).append(char(value >> 8 & 0xff));
}

void put32(QByteArray &bytes, quint32 value)
{
    put16(bytes, value & 0xffff);
    put16(bytes, value >> 16);
}

std::optional<WindowsIcon::Image> png(const QByteArray &bytes)
{
    if (bytes.size() < 24 || bytes.mid(12, 4) != "IHDR")
        return std::nullopt;
    const quint32 width = bigEndian32(bytes, 16);
    const quint32 height = bigEndian32(bytes, 20);
    if (width == 0 || height == 0 || width > WindowsIcon::maximumPngSide
        || height > WindowsIcon::maximumPngSide)
        return std::nullopt;
    return WindowsIcon::Image {bytes, "PNG", int(width)};
}

// Image readers take a true-colour bitmap's transparency from its alpha channel alone, but a
// 24-bit bitmap has none and an older 32-bit one leaves it empty: there the mask says what is
// transparent, as it does for the shell. Such a bitmap becomes a 32-bit one with alpha.
QByteArray maskAsAlpha(const QByteArray &bytes, qsizetype headerSize, int width, int height)
{
    const int bits = int(u16(bytes, 14));
    const qsizetype stride = ((qsizetype(width) * bits + 31) / 32) * 4;
    const qsizetype maskStride = ((width + 31) / 32) * 4;
    const auto *pixels = reinterpret_cast<const uchar *>(bytes.constData()) + headerSize;
    const uchar *mask = pixels + stride * height;
    if (bits == 32) {
        for (qsizetype at = 3; at < stride * height; at += 4) {
            if (pixels[at] != 0)
                return bytes;
        }
    }
    // The plain header, without what a longer one adds; no image size, which readers compute.
    QByteArray converted;
    put32(converted, 40);
    converted.append(bytes.mid(4, 10));
    put16(converted, 32);
    converted.append(bytes.mid(16, 4));
    put32(converted, 0);
    converted.append(bytes.mid(24, 16));
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const uchar *pixel = pixels + y * stride + x * (bits / 8);
            const bool clear = mask[y * maskStride + x / 8] & (0x80 >> (x % 8));
            converted.append(reinterpret_cast<const char *>(pixel), 3)
                .append(clear ? '\0' : '\xff');
        }
    }
    return converted.append(reinterpret_cast<const char *>(mask), maskStride * height);
}

} // namespace

namespace WindowsIcon {

// A PNG as it is; a bitmap (a DIB: header, palette, colours, then the transparency mask) in a
// one-image .ico, which is how image readers take it. Either only when what it declares is
// small and present.
std::optional<Image> fromResource(const QByteArray &bytes)
{
    if (bytes.startsWith("\x89PNG\r\n\x1a\n"))
        return png(bytes);
    if (bytes.size() < 40)
        return std::nullopt;
    const quint64 headerSize = u32(bytes, 0);
    const quint64 width = u32(bytes, 4);
    const quint64 height = u32(bytes, 8) / 2; // the colours' rows and the mask's
    const quint32 bits = u16(bytes, 14);
    const quint64 colours = u32(bytes, 32);
    if (headerSize < 40 || width == 0 || width > 256 || height == 0 || height > 256
        || u32(bytes, 16) != 0 || colours > 256
        || (bits != 1 && bits != 4 && bits != 8 && bits != 24 && bits != 32))
        return std::nullopt;
    const quint64 palette = bits <= 8 ? (colours ? colours : 1U << bits) : 0;
    const quint64 rows = ((width * bits + 31) / 32) * 4 * height;
    const quint64 mask = ((width + 31) / 32) * 4 * height;
    if (headerSize + palette * 4 + rows + mask > quint64(bytes.size()))
        return std::nullopt;
    const QByteArray bitmap
        = bits >= 24 ? maskAsAlpha(bytes, qsizetype(headerSize), int(width), int(height)) : bytes;
    QByteArray ico;
    ico.reserve(22 + bitmap.size());
    put16(ico, 0);
    put16(ico, 1); // an icon
    put16(ico, 1); // of one image
    ico.append(char(width & 0xff)).append(char(height & 0xff)); // 256 is written 0
    ico.append(char(palette < 256 ? palette : 0)).append('\0');
    put16(ico, 1);
    put16(ico, bits >= 24 ? 32 : bits);
    put32(ico, quint32(bitmap.size()));
    put32(ico, 22);
    ico.append(bitmap);
    return Image {ico, "ICO", int(width)};
}

} // namespace WindowsIcon
