#pragma once

#include <QRegularExpression>
#include <QString>
#include <QStringList>

// Splits text at every kind of line break: LF, CR, CR LF, VT, FF, NEL, and the Unicode line and
// paragraph separators.
inline QStringList splitLines(const QString &text, Qt::SplitBehavior behavior = Qt::KeepEmptyParts)
{
    static const QRegularExpression lineBreak(
        QStringLiteral("\\r\\n|[\\n\\r\\x{0B}\\x{0C}\\x{85}\\x{2028}\\x{2029}]"));
    return text.split(lineBreak, behavior);
}
