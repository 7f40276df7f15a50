#include "CliOutput.h"

#include "library/LibraryModel.h"

#include <QJsonArray>
#include <QJsonDocument>

using namespace Qt::StringLiterals;

namespace CliOutput {

void write(std::FILE *stream, const QByteArray &bytes)
{
    std::fwrite(bytes.constData(), 1, static_cast<size_t>(bytes.size()), stream);
    std::fflush(stream);
}

// Names, paths and catalogue texts are data: a terminal must never receive an escape sequence
// from them. Control characters show as \e, \r, \xNN; line breaks and tabs stay only where a
// message is meant to span lines.
QString printable(const QString &text, bool keepLineBreaks)
{
    QString out;
    out.reserve(text.size());
    for (const QChar c : text) {
        const char16_t code = c.unicode();
        // Bidirectional overrides, embeddings, isolates and marks, and the Unicode line and
        // paragraph separators, would let a name show as something else ("exe.jpg").
        const bool reorders = (code >= 0x202a && code <= 0x202e)
            || (code >= 0x2066 && code <= 0x2069) || code == 0x200e || code == 0x200f
            || code == 0x061c || code == 0x2028 || code == 0x2029;
        const bool control = code < 0x20 || (code >= 0x7f && code <= 0x9f) || reorders;
        if (!control || (keepLineBreaks && (code == u'\n' || code == u'\t')))
            out += c;
        else if (code == 0x1b)
            out += u"\\e"_s;
        else if (code == u'\n')
            out += u"\\n"_s;
        else if (code == u'\r')
            out += u"\\r"_s;
        else if (code == u'\t')
            out += u"\\t"_s;
        else if (reorders)
            out += u"\\u"_s + QString::number(code, 16);
        else
            out += u"\\x"_s + QString::number(code, 16).rightJustified(2, u'0');
    }
    return out;
}

// A message for people, possibly of several lines.
void printLine(const QString &text)
{
    write(stdout, printable(text, true).toUtf8() + '\n');
}

void printError(const QString &text)
{
    write(stderr, printable(text, true).toUtf8() + '\n');
}

// One line of a listing: whatever the data holds, it stays one line.
void printRow(const QString &text)
{
    write(stdout, printable(text, false).toUtf8() + '\n');
}

// JSON escapes what it must itself; scripts get the exact texts.
void printJson(const QByteArray &json)
{
    write(stdout, json);
    write(stdout, "\n");
}

int usageFailure(const QString &problem)
{
    printError(problem);
    printError(u"Run “quillmere help” for the list of commands."_s);
    return usageError;
}

QByteArray jsonString(const QString &text)
{
    return QJsonDocument(QJsonArray {text}).toJson(QJsonDocument::Compact).mid(1).chopped(1);
}

// The model's load error, if any, goes to standard error before anything else.
bool reportLoadError(const LibraryModel &model)
{
    if (model.errorMessage().isEmpty())
        return false;
    printError(model.errorMessage());
    return true;
}

} // namespace CliOutput
