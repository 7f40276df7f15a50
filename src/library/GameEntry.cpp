#include "GameEntry.h"
#include "platform/TextLines.h"

#include <QDateTime>

using namespace Qt::StringLiterals;

namespace {
// 2001-01-01 00:00:00 UTC in seconds since the Unix epoch.
constexpr qint64 referenceDateOffset = 978307200;

bool isAsciiLetter(QChar c)
{
    return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z');
}

bool isAsciiDigit(QChar c)
{
    return c >= u'0' && c <= u'9';
}
} // namespace

double GameEntry::currentTimestamp()
{
    return static_cast<double>(QDateTime::currentMSecsSinceEpoch()) / 1000.0
        - static_cast<double>(referenceDateOffset);
}

bool GameEntry::validEnvironmentKey(const QString &key)
{
    if (key.isEmpty())
        return false;
    const QChar first = key.front();
    if (first != u'_' && !isAsciiLetter(first))
        return false;
    for (const QChar c : key) {
        if (c != u'_' && !isAsciiLetter(c) && !isAsciiDigit(c))
            return false;
    }
    return true;
}

QString GameEntry::environmentEditorText() const
{
    QStringList lines;
    // QMap iterates in ascending key order.
    for (auto it = environment.cbegin(); it != environment.cend(); ++it)
        lines.append(it.key() + u'=' + it.value());
    return lines.join(u'\n');
}

void GameEntry::setEnvironmentEditorText(const QString &text)
{
    QMap<QString, QString> parsed;
    for (const QString &rawLine : splitLines(text)) {
        const QString line = rawLine.trimmed();
        if (line.isEmpty() || line.startsWith(u'#'))
            continue;
        const qsizetype equals = line.indexOf(u'=');
        if (equals < 0)
            continue;
        QString key = line.left(equals);
        // Only spaces and tabs are trimmed from the name.
        while (!key.isEmpty() && (key.front() == u' ' || key.front() == u'\t'))
            key.remove(0, 1);
        while (!key.isEmpty() && (key.back() == u' ' || key.back() == u'\t'))
            key.chop(1);
        if (!validEnvironmentKey(key))
            continue;
        parsed.insert(key, line.mid(equals + 1));
    }
    environment = parsed;
}

qsizetype GameEntry::argumentWithNul() const
{
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        if (arguments.at(i).contains(QChar::Null))
            return i;
    }
    return -1;
}

std::optional<QString> GameEntry::variableWithNul() const
{
    for (auto it = environment.cbegin(); it != environment.cend(); ++it) {
        if (it.key().contains(QChar::Null) || it.value().contains(QChar::Null))
            return it.key();
    }
    return std::nullopt;
}

QString GameEntry::idString() const
{
    return uuidText(id);
}

QString uuidText(const QUuid &id)
{
    return id.toString(QUuid::WithoutBraces).toUpper();
}

bool isUuidText(QStringView text)
{
    if (text.size() != 36)
        return false;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t c = text[i].unicode();
        const bool dash = i == 8 || i == 13 || i == 18 || i == 23;
        const bool hex
            = (c >= u'0' && c <= u'9') || (c >= u'a' && c <= u'f') || (c >= u'A' && c <= u'F');
        if (dash ? c != u'-' : !hex)
            return false;
    }
    return true;
}
