#include "WindowsIcon.h"

#include "platform/FileStamp.h"
#include "platform/RegularFile.h"

#include <QCryptographicHash>
#include <QFile>
#include <QList>

#include <algorithm>
#include <cerrno>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Raise when what is read changes, so cached icons are read again.
constexpr int readerVersion = 1;

constexpr quint32 groupIconType = 14;
constexpr quint32 iconType = 3;
constexpr quint32 subdirectoryFlag = 0x80000000U;
// The loader's own limit.
constexpr quint64 maximumSections = 96;
// Real directories hold a handful of entries; a few hundred icons is already a lot.
constexpr quint64 maximumDirectoryEntries = 1024;
constexpr quint64 maximumGroupEntries = 256;
constexpr quint64 maximumOptionalHeader = 4096;

quint32 u16(const QByteArray &bytes, qsizetype at)
{
    const auto *p = reinterpret_cast<const uchar *>(bytes.constData()) + at;
    return quint32(p[0]) | quint32(p[1]) << 8;
}

quint32 u32(const QByteArray &bytes, qsizetype at)
{
    return u16(bytes, at) | u16(bytes, at + 2) << 16;
}

// Ranges of the executable, each checked against its end and all of them against one budget.
class Reader
{
public:
    explicit Reader(const QByteArray &bytes)
        : m_bytes(bytes)
        , m_size(quint64(bytes.size()))
    {
    }
    Reader(int fd, quint64 size)
        : m_fd(fd)
        , m_size(size)
    {
    }

    std::optional<QByteArray> read(quint64 offset, quint64 length)
    {
        if (offset > m_size || length > m_size - offset || length > m_budget)
            return std::nullopt;
        m_budget -= length;
        if (m_fd < 0)
            return m_bytes.mid(qsizetype(offset), qsizetype(length));
        QByteArray bytes(qsizetype(length), Qt::Uninitialized);
        quint64 done = 0;
        while (done < length) {
            const ssize_t got
                = ::pread(m_fd, bytes.data() + done, length - done, off_t(offset + done));
            if (got < 0 && errno == EINTR)
                continue;
            if (got <= 0)
                return std::nullopt; // an error, or the file shrank
            done += quint64(got);
        }
        return bytes;
    }

private:
    QByteArray m_bytes;
    int m_fd = -1;
    quint64 m_size;
    quint64 m_budget = WindowsIcon::readBudget;
};

struct Entry
{
    quint32 name; // an ID unless its high bit is set
    quint32 target; // a subdirectory when its high bit is set, else a data entry
    bool isDirectory() const { return target & subdirectoryFlag; }
    bool hasID(quint32 id) const { return !(name & subdirectoryFlag) && (name & 0xffff) == id; }
};

struct Candidate
{
    int width;
    int bits;
    quint32 id;
};

class Parser
{
public:
    explicit Parser(Reader &reader)
        : m_reader(reader)
    {
    }

    std::optional<WindowsIcon::Image> icon(int size)
    {
        if (!readHeaders())
            return std::nullopt;
        const std::optional<QList<Entry>> types = directory(0);
        if (!types)
            return std::nullopt;
        std::optional<QList<Entry>> groups;
        std::optional<QList<Entry>> icons;
        for (const Entry &type : *types) {
            if (type.hasID(groupIconType) && type.isDirectory() && !groups)
                groups = directory(type.target & ~subdirectoryFlag);
            else if (type.hasID(iconType) && type.isDirectory() && !icons)
                icons = directory(type.target & ~subdirectoryFlag);
        }
        if (!groups || !icons)
            return std::nullopt;
        // The first group the shell would show, in whichever language comes first.
        std::optional<QByteArray> group;
        for (const Entry &entry : std::as_const(*groups)) {
            if (entry.isDirectory()) {
                group = firstData(entry);
                break;
            }
        }
        if (!group)
            return std::nullopt;
        for (const Candidate &candidate : ranked(*group, size)) {
            const auto found = std::find_if(icons->cbegin(), icons->cend(),
                [&](const Entry &entry) { return entry.hasID(candidate.id); });
            if (found == icons->cend() || !found->isDirectory())
                continue;
            const std::optional<QByteArray> bytes = firstData(*found);
            std::optional<WindowsIcon::Image> image
                = bytes ? WindowsIcon::fromResource(*bytes) : std::nullopt;
            if (image)
                return image;
        }
        return std::nullopt;
    }

private:
    // DOS header, PE header, optional header and section table, down to the resources.
    bool readHeaders()
    {
        const std::optional<QByteArray> dos = m_reader.read(0, 64);
        if (!dos || !dos->startsWith("MZ"))
            return false;
        const quint64 peAt = u32(*dos, 0x3c);
        const std::optional<QByteArray> pe = m_reader.read(peAt, 24);
        if (!pe || !pe->startsWith(QByteArrayView("PE\0\0", 4)))
            return false;
        const quint64 sectionCount = u16(*pe, 6);
        const quint64 optionalSize = u16(*pe, 20);
        if (sectionCount > maximumSections || optionalSize > maximumOptionalHeader)
            return false;
        const std::optional<QByteArray> optional = m_reader.read(peAt + 24, optionalSize);
        if (!optional || optionalSize < 2)
            return false;
        // The data directories follow the fields whose width differs between PE32 and PE32+.
        const quint32 magic = u16(*optional, 0);
        const quint64 directoriesAt = magic == 0x10b ? 96 : (magic == 0x20b ? 112 : 0);
        constexpr int resourceDirectory = 2;
        if (directoriesAt == 0 || optionalSize < directoriesAt + 8 * (resourceDirectory + 1)
            || u32(*optional, qsizetype(directoriesAt - 4)) <= resourceDirectory)
            return false;
        m_resources = u32(*optional, qsizetype(directoriesAt + 8 * resourceDirectory));
        if (m_resources == 0)
            return false;
        const std::optional<QByteArray> sections
            = m_reader.read(peAt + 24 + optionalSize, sectionCount * 40);
        if (!sections)
            return false;
        m_sections = *sections;
        return true;
    }

    // Maps an address of the loaded image to the file: only what the file itself holds.
    std::optional<QByteArray> readAddress(quint64 address, quint64 length)
    {
        for (qsizetype at = 0; at + 40 <= m_sections.size(); at += 40) {
            const quint64 virtualSize = u32(m_sections, at + 8);
            const quint64 start = u32(m_sections, at + 12);
            const quint64 rawSize = u32(m_sections, at + 16);
            const quint64 extent = virtualSize ? std::min(virtualSize, rawSize) : rawSize;
            if (address < start || address - start >= extent)
                continue;
            if (length > extent - (address - start))
                return std::nullopt;
            return m_reader.read(u32(m_sections, at + 20) + (address - start), length);
        }
        return std::nullopt;
    }

    // A directory's entries at `offset` from the start of the resources, the first ones of an
    // oversized one.
    std::optional<QList<Entry>> directory(quint64 offset)
    {
        const std::optional<QByteArray> header = readAddress(m_resources + offset, 16);
        if (!header)
            return std::nullopt;
        const quint64 count
            = std::min<quint64>(u16(*header, 12) + u16(*header, 14), maximumDirectoryEntries);
        const std::optional<QByteArray> table = readAddress(m_resources + offset + 16, count * 8);
        if (!table)
            return std::nullopt;
        QList<Entry> entries;
        entries.reserve(qsizetype(count));
        for (qsizetype at = 0; at < table->size(); at += 8)
            entries.append({u32(*table, at), u32(*table, at + 4)});
        return entries;
    }

    // The data of the first language of a named resource.
    std::optional<QByteArray> firstData(const Entry &named)
    {
        const std::optional<QList<Entry>> languages = directory(named.target & ~subdirectoryFlag);
        if (!languages || languages->isEmpty() || languages->first().isDirectory())
            return std::nullopt;
        const std::optional<QByteArray> data
            = readAddress(m_resources + languages->first().target, 16);
        if (!data)
            return std::nullopt;
        const quint64 size = u32(*data, 4);
        if (size == 0 || size > quint64(WindowsIcon::maximumImageBytes))
            return std::nullopt;
        return readAddress(u32(*data, 0), size);
    }

    static QList<Candidate> ranked(const QByteArray &group, int size);

    Reader &m_reader;
    quint64 m_resources = 0;
    QByteArray m_sections;
};

// The group's icons in the order they are tried.
QList<Candidate> Parser::ranked(const QByteArray &group, int size)
{
    if (group.size() < 6 || u16(group, 0) != 0 || u16(group, 2) != 1)
        return {};
    const qsizetype count = std::min<qsizetype>(
        {u16(group, 4), (group.size() - 6) / 14, qsizetype(maximumGroupEntries)});
    QList<Candidate> candidates;
    for (qsizetype i = 0; i < count; ++i) {
        const qsizetype at = 6 + 14 * i;
        const int width = group.at(at) ? uchar(group.at(at)) : 256;
        const int colours = uchar(group.at(at + 2));
        int bits = int(u16(group, at + 6));
        if (bits == 0)
            bits = colours == 0 ? 8 : (colours <= 2 ? 1 : (colours <= 16 ? 4 : 8));
        candidates.append({width, bits, u16(group, at + 12)});
    }
    const auto fit = [size](const Candidate &c) {
        return c.width >= size ? std::pair(0, c.width - size) : std::pair(1, size - c.width);
    };
    std::stable_sort(
        candidates.begin(), candidates.end(), [&fit](const Candidate &a, const Candidate &b) {
            return std::pair(fit(a), -a.bits) < std::pair(fit(b), -b.bits);
        });
    return candidates;
}

} // namespace

namespace WindowsIcon {

std::optional<Image> fromBytes(const QByteArray &executable, int size)
{
    Reader reader(executable);
    return Parser(reader).icon(std::max(size, 1));
}

std::optional<Image> fromFile(const QString &path, int size)
{
    // Devices and pipes are never opened; only a regular file holds a program.
    if (FileKind::of(path).kind != FileKind::Kind::regular)
        return std::nullopt;
    // Not blocking, in case a pipe took the file's place since it was examined.
    const int fd
        = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0)
        return std::nullopt;
    struct Closer
    {
        int fd;
        ~Closer() { ::close(fd); }
    } closer {fd};
    struct stat info
    {
    };
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode))
        return std::nullopt;
    Reader reader(fd, quint64(info.st_size));
    return Parser(reader).icon(std::max(size, 1));
}

QString versionKey(const QString &path)
{
    const FileStamp stamp = FileStamp::of(path);
    if (!stamp.exists())
        return {};
    QCryptographicHash hash(QCryptographicHash::Sha256);
    hash.addData(path.toUtf8());
    for (const qint64 value : {qint64(readerVersion), stamp.device, stamp.inode, stamp.size,
             stamp.modifiedNs, stamp.changedNs})
        hash.addData(QByteArray::number(value).append('/'));
    return QString::fromLatin1(hash.result().toHex().left(32));
}

} // namespace WindowsIcon
