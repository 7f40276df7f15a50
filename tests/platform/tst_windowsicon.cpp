#include "platform/WindowsIcon.h"

#include <QBuffer>
#include <QFile>
#include <QImage>
#include <QSet>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;

namespace {

void set(QByteArray &bytes, int at, quint32 value, int width = 4)
{
    for (int i = 0; i < width; ++i)
        bytes[at + i] = char(value >> (8 * i) & 0xff);
}

QByteArray patched(QByteArray bytes, int at, quint32 value, int width = 4)
{
    set(bytes, at, value, width);
    return bytes;
}

QByteArray fileBytes(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// A 16-pixel true-colour bitmap as icons hold it: header, colours, and the mask, each filled
// with one byte.
QByteArray bitmap(int bits, char colour, char mask)
{
    QByteArray bytes
        = QByteArray(40, '\0') + QByteArray(16 * 16 * bits / 8, colour) + QByteArray(16 * 4, mask);
    for (const auto &[at, value] : {std::pair(0, 40), {4, 16}, {8, 32}, {12, 1}, {14, bits}})
        set(bytes, at, quint32(value), 2);
    return bytes;
}

QByteArray png()
{
    QImage image(16, 16, QImage::Format_ARGB32);
    image.fill(Qt::darkCyan);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return bytes;
}

// Where the fields a row damages are in what executable() writes.
constexpr int peOffsetField = 0x3c;
constexpr int resourceRVA = 0x58 + 112 + 16;
constexpr int sectionFileOffset = 0x58 + 240 + 20;
constexpr int resources = 0x200;
constexpr int rootCounts = resources + 0x0c;
constexpr int groupTypeTarget = resources + 0x1c;
constexpr int iconSize = resources + 0x84;
constexpr int image = resources + 0xa0;

// A PE32+ (or PE32) executable with one section of resources: a group naming one icon, each
// in one language.
QByteArray executable(const QByteArray &icon, bool pe32 = false)
{
    const int optionalSize = pe32 ? 224 : 240;
    const int directories = 0x58 + (pe32 ? 96 : 112);
    const int section = 0x58 + optionalSize;
    const quint32 length = quint32(0xa0 + icon.size() + 20);
    QByteArray bytes(resources + int(length), '\0');
    bytes.replace(0, 2, "MZ");
    set(bytes, peOffsetField, 0x40);
    bytes.replace(0x40, 4, QByteArray("PE\0\0", 4));
    set(bytes, 0x46, 1); // one section
    set(bytes, 0x54, quint32(optionalSize));
    set(bytes, 0x58, pe32 ? 0x10b : 0x20b);
    set(bytes, directories - 4, 16);
    set(bytes, directories + 16, 0x1000);
    set(bytes, directories + 20, length);
    bytes.replace(section, 5, ".rsrc");
    for (const auto &[at, value] :
        {std::pair(8, length), {12, 0x1000U}, {16, length}, {20, quint32(resources)}})
        set(bytes, section + at, value);
    // Directories with their one entry each (ID, target), then the two data entries.
    const quint32 dir = 0x80000000;
    const QList<std::tuple<int, quint32, quint32>> tree = {{0x00, 3, dir | 0x20},
        {0x20, 1, dir | 0x50}, {0x38, 1, dir | 0x68}, {0x50, 0x409, 0x80}, {0x68, 0x409, 0x90}};
    for (const auto &[at, id, target] : tree) {
        set(bytes, resources + at + 12, 1 << 16);
        set(bytes, resources + at + 16, id);
        set(bytes, resources + at + 20, target);
    }
    set(bytes, rootCounts, 2 << 16);
    set(bytes, resources + 0x18, 14);
    set(bytes, groupTypeTarget, dir | 0x38);
    set(bytes, resources + 0x80, 0x10a0);
    set(bytes, iconSize, quint32(icon.size()));
    set(bytes, resources + 0x90, quint32(0x10a0 + icon.size()));
    set(bytes, resources + 0x94, 20);
    bytes.replace(image, icon.size(), icon);
    // The group: reserved, type 1, one entry (16 by 16, planes 1, 32 bits, its size, ID 1).
    const int group = image + int(icon.size());
    for (const auto &[at, value] : {std::pair(0, 0x10000U), {4, 0x10100001U}, {8, 0x10000U},
             {12, 32U}, {14, quint32(icon.size())}})
        set(bytes, group + at, value);
    set(bytes, group + 18, 1, 2);
    return bytes;
}

} // namespace

class TestWindowsIcon : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // The icon in the size asked for, from real programs and from a small built one; damaged
    // files have none, and neither crash nor hang the reader.
    void readsTheIcon_data()
    {
        QTest::addColumn<QByteArray>("bytes"); // null: the program is not on this machine
        QTest::addColumn<int>("size");
        QTest::addColumn<int>("width"); // of the decoded image; 0: no icon
        QTest::addColumn<QByteArray>("format");
        QTest::addColumn<int>("colours"); // at least this many
        QTest::addColumn<int>("alpha"); // of the top left pixel
        const QByteArray program = fileBytes(QStringLiteral(ICON_PROGRAM));
        QTest::newRow("256 colours for 16") << program << 16 << 16 << "ICO"_ba << 2 << 0;
        QTest::newRow("true colour over 16 colours") << program << 32 << 32 << "ICO"_ba << 17 << 0;
        QTest::newRow("24 bits for 40") << program << 40 << 48 << "ICO"_ba << 17 << 0;
        QTest::newRow("PNG for 64") << program << 64 << 256 << "PNG"_ba << 17 << 0;
        QTest::newRow("largest for 512") << program << 512 << 256 << "PNG"_ba << 17 << 0;
        QTest::newRow("Wine's notepad")
            << fileBytes(u"/usr/lib/x86_64-linux-gnu/wine/x86_64-windows/notepad.exe"_s) << 32 << 32
            << "ICO"_ba << 17 << 0;

        const QByteArray icon = bitmap(32, '\x7f', 0);
        const QByteArray built = executable(icon);
        QTest::newRow("bitmap in PE32+") << built << 32 << 16 << "ICO"_ba << 1 << 0x7f;
        QTest::newRow("PNG in PE32") << executable(png(), true) << 32 << 16 << "PNG"_ba << 1 << 255;
        // The mask makes what is transparent where there is no alpha channel, or an empty one.
        QTest::newRow("24 bits with a mask")
            << executable(bitmap(24, '\x7f', '\xff')) << 32 << 16 << "ICO"_ba << 1 << 0;
        QTest::newRow("32 bits without alpha")
            << executable(bitmap(32, 0, 0)) << 32 << 16 << "ICO"_ba << 1 << 255;
        QTest::newRow("group claiming more icons than it holds")
            << patched(built, image + int(icon.size()) + 4, 0xffff, 2) << 32 << 16 << "ICO"_ba << 1
            << 0x7f;
        const QList<std::pair<const char *, QByteArray>> damaged = {
            {"empty", {}},
            {"truncated in the headers", built.left(0x100)},
            {"truncated in the icon", built.left(image + 600)},
            {"not an executable", patched(built, 0, 0x4d5a4d5a)},
            {"PE header past the end", patched(built, peOffsetField, 0xfffffff0)},
            {"no resources", patched(built, resourceRVA, 0)},
            {"resources outside every section", patched(built, resourceRVA, 0x9000)},
            {"section past the end", patched(built, sectionFileOffset, 0xfffff000)},
            {"resource loop", patched(built, groupTypeTarget, 0x80000000)},
            {"huge directory", patched(built, rootCounts, 0xffffffff)},
            {"zero-sized icon", patched(built, iconSize, 0)},
            {"icon larger than its section", patched(built, iconSize, 0x7fffffff)},
            {"group naming a missing icon", patched(built, image + int(icon.size()) + 18, 2, 2)},
            {"bitmap wider than it holds", patched(built, image + 4, 64)},
            {"PNG claiming a huge size", patched(executable(png()), image + 16, 0x1000)},
        };
        for (const auto &[name, bytes] : damaged)
            QTest::newRow(name) << (bytes.isNull() ? ""_ba : bytes) << 32 << 0 << ""_ba << 0 << 0;
    }

    void readsTheIcon()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(int, size);
        QFETCH(int, width);
        QFETCH(QByteArray, format);
        QFETCH(int, colours);
        QFETCH(int, alpha);
        if (bytes.isNull())
            QSKIP("The program is not on this machine.");
        QTemporaryDir dir;
        const QString path = dir.filePath(u"Program.exe"_s);
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size());
        file.close();

        const std::optional<WindowsIcon::Image> icon = WindowsIcon::fromFile(path, size);
        const std::optional<WindowsIcon::Image> inMemory = WindowsIcon::fromBytes(bytes, size);
        QCOMPARE(inMemory.has_value(), icon.has_value());
        if (width == 0) {
            QVERIFY(!icon);
            return;
        }
        QVERIFY(icon);
        QCOMPARE(icon->bytes, inMemory->bytes);
        QCOMPARE(icon->format, format);
        const QImage decoded = QImage::fromData(icon->bytes, icon->format.constData());
        QCOMPARE(decoded.width(), width);
        QCOMPARE(icon->width, width);
        QSet<QRgb> seen;
        for (int y = 0; y < decoded.height(); ++y) {
            for (int x = 0; x < decoded.width(); ++x)
                seen.insert(decoded.pixel(x, y));
        }
        QVERIFY2(seen.size() >= colours, qPrintable(QString::number(seen.size())));
        QCOMPARE(qAlpha(decoded.pixel(0, 0)), alpha);
    }

    // A cached icon is found again by the key of the file's version, which changes when the
    // file is touched.
    void versionKeyFollowsTheFile()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(u"Game.exe"_s);
        QVERIFY(WindowsIcon::versionKey(path).isEmpty());
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write("MZ first") == 8 && file.flush());
        const QString first = WindowsIcon::versionKey(path);
        QCOMPARE(WindowsIcon::versionKey(path), first);
        QVERIFY(file.setFileTime(file.fileTime(QFileDevice::FileModificationTime).addSecs(-60),
            QFileDevice::FileModificationTime));
        file.close();
        QVERIFY(WindowsIcon::versionKey(path) != first);
    }
};

QTEST_GUILESS_MAIN(TestWindowsIcon)
#include "tst_windowsicon.moc"
