#pragma once

#include <QByteArray>
#include <QString>

#include <cstdio>

class LibraryModel;

// How the commands write: people get escaped, one-line-per-row text; scripts get exact JSON.
namespace CliOutput {

enum ExitCode { success = 0, failure = 1, usageError = 2 };

void write(std::FILE *stream, const QByteArray &bytes);
QString printable(const QString &text, bool keepLineBreaks);
void printLine(const QString &text);
void printError(const QString &text);
void printRow(const QString &text);
void printJson(const QByteArray &json);
QByteArray jsonString(const QString &text);
// Prints the problem and the pointer to "quillmere help"; returns usageError.
int usageFailure(const QString &problem);
// The model's load error, if any, goes to standard error before anything else.
bool reportLoadError(const LibraryModel &model);

// Element by element: a long list is never held a second time as one block of text.
template <typename List, typename Encode> void printJsonArray(const List &items, Encode encode)
{
    std::fputc('[', stdout);
    bool first = true;
    for (const auto &item : items) {
        const QByteArray text = encode(item);
        if (!first)
            std::fputc(',', stdout);
        first = false;
        std::fwrite(text.constData(), 1, size_t(text.size()), stdout);
    }
    write(stdout, "]\n");
}

} // namespace CliOutput
