#include "LibraryFile.h"

#include "platform/RegularFile.h"

#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSaveFile>

#include <cerrno>
#include <charconv>
#include <cmath>

using namespace Qt::StringLiterals;

namespace {

// The five text fields, in the order the file lists them after "id".
constexpr std::pair<const char *, QString GameEntry::*> textFields[] = {
    {"name", &GameEntry::name},
    {"executablePath", &GameEntry::executablePath},
    {"prefixPath", &GameEntry::prefixPath},
    {"winePath", &GameEntry::winePath},
    {"wineServerPath", &GameEntry::wineServerPath},
};

// The letter of a two-character escape, or 0 for none.
char escapeLetter(char c)
{
    switch (c) {
    case '"':
        return '"';
    case '\\':
        return '\\';
    case '/':
        return '/';
    case '\b':
        return 'b';
    case '\f':
        return 'f';
    case '\n':
        return 'n';
    case '\r':
        return 'r';
    case '\t':
        return 't';
    default:
        return 0;
    }
}

// Straight from UTF-16, with room made once per string: a large library is written in one go.
void appendString(QByteArray &out, QStringView text)
{
    // At most six bytes ("\u001f") per unit, and three for any unit beyond ASCII.
    const qsizetype start = out.size();
    out.resize(start + 2 + 6 * text.size());
    char *to = out.data() + start;
    *to++ = '"';
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t c = text[i].unicode();
        if (c >= 0x80) {
            if (QChar::isSurrogate(c)) {
                if (QChar::isHighSurrogate(c) && i + 1 < text.size()
                    && text[i + 1].isLowSurrogate()) {
                    const char32_t code = QChar::surrogateToUcs4(c, text[++i].unicode());
                    *to++ = char(0xf0 | (code >> 18));
                    *to++ = char(0x80 | ((code >> 12) & 0x3f));
                    *to++ = char(0x80 | ((code >> 6) & 0x3f));
                    *to++ = char(0x80 | (code & 0x3f));
                } else {
                    *to++ = '?'; // half a pair, as Qt's UTF-8 writes it
                }
                continue;
            }
            if (c < 0x800) {
                *to++ = char(0xc0 | (c >> 6));
            } else {
                *to++ = char(0xe0 | (c >> 12));
                *to++ = char(0x80 | ((c >> 6) & 0x3f));
            }
            *to++ = char(0x80 | (c & 0x3f));
            continue;
        }
        const char escape = escapeLetter(char(c));
        if (escape != 0) {
            *to++ = '\\';
            *to++ = escape;
        } else if (c < 0x20) {
            std::snprintf(to, 7, "\\u%04x", unsigned(c));
            to += 6;
        } else {
            *to++ = char(c);
        }
    }
    *to++ = '"';
    out.truncate(to - out.constData());
}

void appendNumber(QByteArray &out, double value)
{
    if (!std::isfinite(value))
        value = 0;
    // The shortest text that reads back as the same double.
    char buffer[64];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
    out.append(buffer, result.ptr - buffer);
}

void appendKey(QByteArray &out, const char *key)
{
    out += '"';
    out += key;
    out += "\":";
}

void appendValue(QByteArray &out, const QJsonValue &value)
{
    if (value.isString()) {
        appendString(out, value.toString());
        return;
    }
    // Qt writes numbers, literals and nested values as compact JSON; a lone value only inside
    // an array.
    out += QJsonDocument(QJsonArray {value}).toJson(QJsonDocument::Compact).chopped(1).mid(1);
}

void appendEntry(QByteArray &out, const GameEntry &entry, LibraryFile::Keys keys)
{
    out += '{';
    appendKey(out, "id");
    appendString(out, entry.idString());
    for (const auto &[key, field] : textFields) {
        out += ',';
        appendKey(out, key);
        appendString(out, entry.*field);
    }
    out += ',';
    appendKey(out, "arguments");
    out += '[';
    for (qsizetype i = 0; i < entry.arguments.size(); ++i) {
        if (i > 0)
            out += ',';
        appendString(out, entry.arguments.at(i));
    }
    out += "],";
    appendKey(out, "environment");
    out += '{';
    bool first = true;
    for (auto it = entry.environment.cbegin(); it != entry.environment.cend(); ++it) {
        if (!first)
            out += ',';
        first = false;
        appendString(out, it.key());
        out += ':';
        appendString(out, it.value());
    }
    out += "},";
    appendKey(out, "addedAt");
    appendNumber(out, entry.addedAt);
    if (keys == LibraryFile::Keys::withUnknown) {
        for (auto it = entry.unknownKeys.begin(); it != entry.unknownKeys.end(); ++it) {
            out += ',';
            appendString(out, it.key());
            out += ':';
            appendValue(out, it.value());
        }
    }
    out += '}';
}

constexpr const char *documentedKeys[] = {"id", "name", "executablePath", "prefixPath", "winePath",
    "wineServerPath", "arguments", "environment", "addedAt"};

QString where(qsizetype index)
{
    return u"Entry %1 of the library"_s.arg(index + 1);
}

// Whether every key and string inside is well-formed text. JSON lets a file write half of a
// surrogate pair ("\uDDDD"), which no name or path can hold and no save could write back as it
// was read, so such a file is refused rather than changed by the next save.
bool isWellFormedText(const QJsonValue &value)
{
    if (value.isString())
        return value.toString().isValidUtf16();
    if (value.isArray()) {
        const QJsonArray array = value.toArray();
        return std::all_of(array.begin(), array.end(),
            [](const QJsonValueConstRef &item) { return isWellFormedText(item); });
    }
    if (value.isObject()) {
        const QJsonObject object = value.toObject();
        for (auto it = object.begin(); it != object.end(); ++it) {
            if (!it.key().isValidUtf16() || !isWellFormedText(it.value()))
                return false;
        }
    }
    return true;
}

Expected<GameEntry, QString> decodeEntry(const QJsonValue &value, qsizetype index)
{
    if (!isWellFormedText(value))
        return unexpected(where(index) + u" holds text that isn't valid Unicode."_s);
    if (!value.isObject())
        return unexpected(where(index) + u" isn't a JSON object."_s);
    const QJsonObject object = value.toObject();

    for (const char *key : documentedKeys) {
        if (!object.contains(QLatin1StringView(key)))
            return unexpected(
                where(index) + u" has no “"_s + QLatin1StringView(key) + u"” value."_s);
    }
    auto wrongType = [index](const char *key, const char *form) {
        return unexpected(where(index) + u" has “"_s + QLatin1StringView(key) + u"” that isn't "_s
            + QLatin1StringView(form) + u'.');
    };

    GameEntry entry;
    const QJsonValue id = object.value(u"id"_s);
    if (!id.isString())
        return wrongType("id", "a string");
    if (!isUuidText(id.toString()))
        return unexpected(where(index) + u" has an “id” that isn't a valid UUID."_s);
    entry.id = QUuid::fromString(id.toString());

    for (const auto &[key, field] : textFields) {
        const QJsonValue text = object.value(QLatin1StringView(key));
        if (!text.isString())
            return wrongType(key, "a string");
        entry.*field = text.toString();
    }

    const QJsonValue arguments = object.value(u"arguments"_s);
    if (!arguments.isArray())
        return wrongType("arguments", "an array of strings");
    for (const QJsonValue argument : arguments.toArray()) {
        if (!argument.isString())
            return wrongType("arguments", "an array of strings");
        entry.arguments.append(argument.toString());
    }

    const QJsonValue environment = object.value(u"environment"_s);
    if (!environment.isObject())
        return wrongType("environment", "an object of strings");
    const QJsonObject variables = environment.toObject();
    for (auto it = variables.begin(); it != variables.end(); ++it) {
        if (!it.value().isString())
            return wrongType("environment", "an object of strings");
        entry.environment.insert(it.key(), it.value().toString());
    }

    // Such an entry could never run as written, and no save may write it.
    const auto cut = [index](const char *key) {
        return unexpected(where(index) + u" has “"_s + QLatin1StringView(key)
            + u"” with a NUL character, which no program can receive."_s);
    };
    if (entry.argumentWithNul() >= 0)
        return cut("arguments");
    if (entry.variableWithNul())
        return cut("environment");

    const QJsonValue addedAt = object.value(u"addedAt"_s);
    if (!addedAt.isDouble())
        return wrongType("addedAt", "a number");
    entry.addedAt = addedAt.toDouble();

    entry.unknownKeys = object;
    for (const char *key : documentedKeys)
        entry.unknownKeys.remove(QLatin1StringView(key));
    return entry;
}

} // namespace

QByteArray LibraryFile::encode(const QList<GameEntry> &entries, Keys keys)
{
    QByteArray out;
    out += '[';
    for (qsizetype i = 0; i < entries.size(); ++i) {
        if (i > 0)
            out += ',';
        appendEntry(out, entries.at(i), keys);
    }
    out += ']';
    return out;
}

QByteArray LibraryFile::encodeEntry(const GameEntry &entry, Keys keys)
{
    QByteArray out;
    appendEntry(out, entry, keys);
    return out;
}

Expected<QList<GameEntry>, QString> LibraryFile::decode(const QByteArray &json)
{
    if (auto entries = decodeQuickly(json))
        return std::move(*entries);
    return decodeGenerally(json);
}

Expected<QList<GameEntry>, QString> LibraryFile::decodeGenerally(const QByteArray &json)
{
    QJsonParseError parseError;
    const QJsonDocument document = QJsonDocument::fromJson(json, &parseError);
    if (parseError.error != QJsonParseError::NoError) {
        return unexpected(u"The file isn't valid JSON (%1 at byte %2)."_s.arg(
            parseError.errorString(), QString::number(parseError.offset)));
    }
    if (!document.isArray())
        return unexpected(u"The file doesn't hold a list of library entries."_s);

    QList<GameEntry> entries;
    const QJsonArray array = document.array();
    for (qsizetype i = 0; i < array.size(); ++i) {
        auto entry = decodeEntry(array.at(i), i);
        if (!entry)
            return unexpected(entry.error());
        entries.append(std::move(*entry));
    }
    return entries;
}

Expected<void, QString> LibraryFile::write(const QString &path, const QByteArray &bytes)
{
    const QString role = u"the library file"_s;
    const auto target = RegularFile::replacementTarget(path);
    if (!target)
        return unexpected(target.error().refusal(role, path));
    // The system's reason for a failure is lost once Qt has reported it, and with a buffer in
    // between a failed write could even be committed: each write goes straight to the file.
    QSaveFile file(*target);
    const auto failure = [&](bool writing) {
        const int error = errno;
        if (error == ENOSPC || error == EDQUOT) {
            return u"There isn't enough free space on the disk that holds “%1”."_s.arg(
                QFileInfo(*target).absolutePath());
        }
        // Qt words a write that wrote nothing as an unknown error.
        return writing && error != 0 ? qt_error_string(error) : file.errorString();
    };
    errno = 0;
    if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered))
        return unexpected(failure(false));
    if (file.write(bytes) != bytes.size()) {
        const QString reason = failure(true);
        file.cancelWriting();
        return unexpected(reason);
    }
    // Right before the rename: whatever let this save through, only a regular file is ever
    // replaced, never a device, a pipe or a folder that took its place.
    if (auto replaceable = RegularFile::checkReplaceable(*target); !replaceable) {
        file.cancelWriting();
        return unexpected(replaceable.error().refusal(role, *target));
    }
    errno = 0;
    if (!file.commit())
        return unexpected(failure(false));
    return {};
}
