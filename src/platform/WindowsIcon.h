#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

// The icon of a Windows program, read from its executable's resources the way the Windows shell
// finds it: the first icon group, in the size that suits the view. Executables come from
// anywhere, so every offset and size in one is checked against the file and bounded: a damaged
// or hostile file has no icon, after a few kilobytes of reading at most.
namespace WindowsIcon {

struct Image
{
    QByteArray bytes; // a PNG, or a bitmap wrapped into a one-image .ico
    QByteArray format; // "PNG" or "ICO", for QImage::fromData
    int width = 0; // as the image declares it
};

// An icon ready for a desktop icon theme: a PNG of `side` pixels square.
struct ThemeImage
{
    QByteArray png;
    int side = 0;
};

// No icon is larger: a 256-pixel bitmap with its mask takes about 270 KB.
constexpr qint64 maximumImageBytes = 1024 * 1024;
// A PNG may not declare more pixels than this a side, so decoding one stays small.
constexpr int maximumPngSide = 1024;
// All the reading one file may take: headers, directories and the images tried.
constexpr qint64 readBudget = 4 * 1024 * 1024;

// The image of the first icon group that fits `size` pixels best: the smallest that is at least
// that large (scaling down keeps detail), else the largest; among equal sizes, the one with
// more colours. An image that can't be used gives way to the next best.
std::optional<Image> fromBytes(const QByteArray &executable, int size);
// The same from a regular file, of which only the parts needed are read.
std::optional<Image> fromFile(const QString &path, int size);

// One icon image of the resources as an image readers take: a PNG as it is, a bitmap in a
// one-image .ico whose transparency is in its alpha channel. None for what is not a valid icon
// image or declares more than it holds.
std::optional<Image> fromResource(const QByteArray &resource);

// Names the version of the file at `path`, for a cache of its icon: it changes when the file
// is replaced, rewritten or touched. Empty when there is no file.
QString versionKey(const QString &path);

} // namespace WindowsIcon
