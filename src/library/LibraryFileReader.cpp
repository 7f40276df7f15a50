// The quick reader of the library file: one pass over the bytes straight into entries, with no
// JSON document in between. It reads the form this program writes (and any spacing of it); on
// anything else, unknown keys and every error included, it answers nothing and decode() asks
// the general reader, which alone words errors, so both give the same entries and sentences.
#include "LibraryFile.h"

#include <QByteArrayView>

#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstring>

namespace {

enum Key : unsigned {
    idKey = 1U << 0,
    nameKey = 1U << 1,
    executableKey = 1U << 2,
    prefixKey = 1U << 3,
    wineKey = 1U << 4,
    wineServerKey = 1U << 5,
    argumentsKey = 1U << 6,
    environmentKey = 1U << 7,
    addedAtKey = 1U << 8,
    allKeys = (1U << 9) - 1,
};

Key keyOf(QByteArrayView name)
{
    struct Known
    {
        QByteArrayView name;
        Key key;
    };
    static constexpr Known known[]
        = {{"id", idKey}, {"name", nameKey}, {"executablePath", executableKey},
            {"prefixPath", prefixKey}, {"winePath", wineKey}, {"wineServerPath", wineServerKey},
            {"arguments", argumentsKey}, {"environment", environmentKey}, {"addedAt", addedAtKey}};
    for (const Known &candidate : known) {
        if (candidate.name == name)
            return candidate.key;
    }
    return Key(0);
}

int hexDigit(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

void appendUtf8(QByteArray &out, char32_t code)
{
    if (code < 0x80) {
        out += char(code);
    } else if (code < 0x800) {
        out += char(0xc0 | (code >> 6));
        out += char(0x80 | (code & 0x3f));
    } else if (code < 0x10000) {
        out += char(0xe0 | (code >> 12));
        out += char(0x80 | ((code >> 6) & 0x3f));
        out += char(0x80 | (code & 0x3f));
    } else {
        out += char(0xf0 | (code >> 18));
        out += char(0x80 | ((code >> 12) & 0x3f));
        out += char(0x80 | ((code >> 6) & 0x3f));
        out += char(0x80 | (code & 0x3f));
    }
}

class Reader
{
public:
    explicit Reader(const QByteArray &json)
        : m_at(json.constData())
        , m_end(json.constData() + json.size())
    {
    }

    std::optional<QList<GameEntry>> entries()
    {
        QList<GameEntry> out;
        if (!take('['))
            return std::nullopt;
        // Every key is read, so each entry starts as a copy: a new entry's fresh id and clock
        // reading cost more than the rest of its reading.
        const GameEntry blank;
        if (!take(']')) {
            do {
                GameEntry entry = blank;
                if (!readEntry(entry))
                    return std::nullopt;
                out.append(std::move(entry));
            } while (take(','));
            if (!take(']'))
                return std::nullopt;
        }
        skipSpace();
        if (m_at != m_end)
            return std::nullopt;
        return out;
    }

private:
    const char *m_at;
    const char *m_end;

    // A value written the same as the entry before's is that entry's value, shared: most
    // entries run the same Wine with the same arguments and variables, and a large library
    // then holds each of those once.
    template <typename T> struct Last
    {
        QByteArrayView written;
        T value;
    };
    Last<QString> m_last[5];
    Last<QStringList> m_lastArguments;
    Last<QMap<QString, QString>> m_lastEnvironment;

    template <typename T> bool readShared(Last<T> &last, T &out, bool (Reader::*read)(T &))
    {
        skipSpace();
        const qsizetype size = last.written.size();
        // A JSON string, array or object ends where its bytes say, so the same bytes are the
        // same whole value.
        if (size > 0 && m_end - m_at >= size && std::memcmp(m_at, last.written.data(), size) == 0) {
            m_at += size;
            out = last.value;
            return true;
        }
        const char *start = m_at;
        if (!(this->*read)(out))
            return false;
        last = {QByteArrayView(start, m_at - start), out};
        return true;
    }

    void skipSpace()
    {
        while (m_at < m_end && (*m_at == ' ' || *m_at == '\n' || *m_at == '\r' || *m_at == '\t'))
            ++m_at;
    }

    bool take(char c)
    {
        skipSpace();
        if (m_at == m_end || *m_at != c)
            return false;
        ++m_at;
        return true;
    }

    bool readEntry(GameEntry &entry)
    {
        if (!take('{'))
            return false;
        unsigned seen = 0;
        do {
            const Key key = readKey();
            // Unknown and repeated keys are the general reader's to settle.
            if (key == 0 || (seen & key) != 0)
                return false;
            seen |= key;
            if (!readValue(key, entry))
                return false;
        } while (take(','));
        return seen == allKeys && take('}');
    }

    // The key and its colon; 0 for any other key.
    Key readKey()
    {
        const auto raw = readRaw();
        if (!raw || !take(':'))
            return Key(0);
        if (!raw->escaped)
            return keyOf(raw->text);
        QString name;
        return unescape(raw->text, name) ? keyOf(name.toUtf8()) : Key(0);
    }

    bool readValue(Key key, GameEntry &entry)
    {
        switch (key) {
        case idKey: {
            QString text;
            if (!readString(text) || !isUuidText(text))
                return false;
            entry.id = QUuid::fromString(text);
            return true;
        }
        case nameKey:
            return readShared(m_last[0], entry.name, &Reader::readString);
        case executableKey:
            return readShared(m_last[1], entry.executablePath, &Reader::readString);
        case prefixKey:
            return readShared(m_last[2], entry.prefixPath, &Reader::readString);
        case wineKey:
            return readShared(m_last[3], entry.winePath, &Reader::readString);
        case wineServerKey:
            return readShared(m_last[4], entry.wineServerPath, &Reader::readString);
        case argumentsKey:
            return readShared(m_lastArguments, entry.arguments, &Reader::readArguments);
        case environmentKey:
            return readShared(m_lastEnvironment, entry.environment, &Reader::readEnvironment);
        case addedAtKey:
            return readNumber(entry.addedAt);
        default:
            return false;
        }
    }

    bool readArguments(QStringList &arguments)
    {
        if (!take('['))
            return false;
        if (take(']'))
            return true;
        do {
            QString argument;
            if (!readString(argument))
                return false;
            arguments.append(std::move(argument));
        } while (take(','));
        return take(']');
    }

    bool readEnvironment(QMap<QString, QString> &environment)
    {
        if (!take('{'))
            return false;
        if (take('}'))
            return true;
        do {
            QString name;
            QString value;
            if (!readString(name) || !take(':') || !readString(value) || environment.contains(name))
                return false;
            environment.insert(name, value);
        } while (take(','));
        return take('}');
    }

    // Plain numbers only; what the general reader might see differently (an integer beyond
    // 64 bits, a value beyond a double's range) goes to it.
    bool readNumber(double &value)
    {
        skipSpace();
        const char *start = m_at;
        const auto digits = [this] {
            const char *first = m_at;
            while (m_at < m_end && *m_at >= '0' && *m_at <= '9')
                ++m_at;
            return m_at - first;
        };
        if (m_at < m_end && *m_at == '-')
            ++m_at;
        const char *integerStart = m_at;
        const auto integerDigits = digits();
        if (integerDigits == 0 || (integerDigits > 1 && *integerStart == '0'))
            return false;
        bool isInteger = true;
        if (m_at < m_end && *m_at == '.') {
            ++m_at;
            if (digits() == 0)
                return false;
            isInteger = false;
        }
        if (m_at < m_end && (*m_at == 'e' || *m_at == 'E')) {
            ++m_at;
            if (m_at < m_end && (*m_at == '+' || *m_at == '-'))
                ++m_at;
            if (digits() == 0)
                return false;
            isInteger = false;
        }
        if (isInteger) {
            std::int64_t integer = 0;
            const auto result = std::from_chars(start, m_at, integer);
            if (result.ec != std::errc() || result.ptr != m_at)
                return false;
            value = double(integer);
            return true;
        }
        const auto result = std::from_chars(start, m_at, value);
        return result.ec == std::errc() && result.ptr == m_at && std::isfinite(value);
    }

    // The raw text between the quotes, or nothing when it isn't a plain string: the end is at
    // the closing quote, and whether it holds escapes or bytes beyond ASCII is noted.
    struct RawString
    {
        QByteArrayView text;
        bool escaped = false;
        bool ascii = true;
    };

    std::optional<RawString> readRaw()
    {
        if (!take('"'))
            return std::nullopt;
        RawString raw;
        const char *start = m_at;
        while (m_at < m_end && *m_at != '"') {
            const auto c = static_cast<unsigned char>(*m_at);
            if (c < 0x20)
                return std::nullopt;
            raw.ascii = raw.ascii && c < 0x80;
            if (c == '\\') {
                raw.escaped = true;
                if (++m_at == m_end)
                    return std::nullopt;
            }
            ++m_at;
        }
        if (m_at == m_end)
            return std::nullopt;
        raw.text = QByteArrayView(start, m_at - start);
        ++m_at;
        return raw;
    }

    bool readString(QString &out)
    {
        const auto raw = readRaw();
        if (!raw)
            return false;
        if (!raw->escaped) {
            if (raw->ascii) {
                out = QString::fromLatin1(raw->text);
                return true;
            }
            if (!raw->text.isValidUtf8())
                return false;
            out = QString::fromUtf8(raw->text);
            return true;
        }
        if (raw->ascii)
            return unescapeAscii(raw->text, out);
        return unescape(raw->text, out);
    }

    // Paths are ASCII with every "/" escaped: written straight into the string, no UTF-8 step.
    // Escaped text is never longer in UTF-16 units than in bytes.
    static bool unescapeAscii(QByteArrayView text, QString &out)
    {
        out.resize(text.size());
        QChar *to = out.data();
        for (const char *at = text.begin(); at < text.end();) {
            const char c = *at++;
            if (c != '\\') {
                *to++ = QLatin1Char(c);
                continue;
            }
            const char escape = *at++;
            if (escape == 'u') {
                char32_t code = 0;
                if (!readHex(at, text.end(), code) || code == 0)
                    return false; // a NUL: the general reader decides where one may be
                if (QChar::isSurrogate(code))
                    return unescape(text, out); // pairs and their faults: the general way
                *to++ = QChar(char16_t(code));
                continue;
            }
            const char plain = unescaped(escape);
            if (plain == 0)
                return false;
            *to++ = QLatin1Char(plain);
        }
        out.truncate(to - out.constData());
        return true;
    }

    // What a one-letter escape stands for, or 0 for none.
    static char unescaped(char escape)
    {
        switch (escape) {
        case '"':
        case '\\':
        case '/':
            return escape;
        case 'b':
            return '\b';
        case 'f':
            return '\f';
        case 'n':
            return '\n';
        case 'r':
            return '\r';
        case 't':
            return '\t';
        default:
            return 0;
        }
    }

    static bool readHex(const char *&at, const char *end, char32_t &code)
    {
        if (end - at < 4)
            return false;
        for (int i = 0; i < 4; ++i) {
            const int digit = hexDigit(*at++);
            if (digit < 0)
                return false;
            code = code * 16 + char32_t(digit);
        }
        return true;
    }

    // Any escaped text, through UTF-8, which is checked whole at the end.
    static bool unescape(QByteArrayView text, QString &out)
    {
        QByteArray bytes;
        bytes.reserve(text.size());
        for (const char *at = text.begin(); at < text.end();) {
            const char *run = at;
            while (at < text.end() && *at != '\\')
                ++at;
            bytes.append(run, at - run);
            if (at == text.end())
                break;
            ++at;
            const char escape = *at++;
            if (escape != 'u') {
                const char plain = unescaped(escape);
                if (plain == 0)
                    return false;
                bytes += plain;
                continue;
            }
            char32_t code = 0;
            if (!readHex(at, text.end(), code) || code == 0)
                return false;
            if (code >= 0xdc00 && code <= 0xdfff)
                return false; // half a pair: the general reader refuses the file
            if (code >= 0xd800 && code <= 0xdbff) {
                char32_t low = 0;
                if (text.end() - at < 2 || at[0] != '\\' || at[1] != 'u')
                    return false;
                at += 2;
                if (!readHex(at, text.end(), low) || low < 0xdc00 || low > 0xdfff)
                    return false;
                code = 0x10000 + ((code - 0xd800) << 10) + (low - 0xdc00);
            }
            appendUtf8(bytes, code);
        }
        if (!QByteArrayView(bytes).isValidUtf8())
            return false;
        out = QString::fromUtf8(bytes);
        return true;
    }
};

} // namespace

std::optional<QList<GameEntry>> LibraryFile::decodeQuickly(const QByteArray &json)
{
    return Reader(json).entries();
}
