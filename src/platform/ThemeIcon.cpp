#include "platform/ThemeIcon.h"

#include <QBuffer>
#include <QImage>

#include <array>

std::optional<WindowsIcon::ThemeImage> WindowsIcon::forTheme(const QString &executablePath)
{
    // Sizes every desktop's hicolor theme has folders for.
    static constexpr std::array sides {256, 128, 64, 48, 32, 24, 16};
    const std::optional<Image> icon = fromFile(executablePath, sides.front());
    QImage image = icon ? QImage::fromData(icon->bytes, icon->format.constData()) : QImage();
    if (image.isNull())
        return std::nullopt;
    const int fills = std::min(image.width(), image.height());
    const auto side
        = std::find_if(sides.begin(), sides.end(), [fills](int s) { return s <= fills; });
    const int target = side == sides.end() ? sides.back() : *side;
    image = image.scaled(target, target, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    ThemeImage out {{}, target};
    QBuffer buffer(&out.png);
    if (!buffer.open(QIODevice::WriteOnly) || !image.save(&buffer, "PNG"))
        return std::nullopt;
    return out;
}
