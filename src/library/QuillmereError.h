#pragma once

#include "platform/Expected.h"

#include <QString>

// The library's and the launcher's failures, each with one sentence for the user.
struct QuillmereError
{
    enum class Kind {
        missingFile,
        invalidPrefix,
        invalidEnvironment,
        alreadyInitialized,
        occupiedPrefix,
        processFailed,
        // Failures of the operating system (a folder that can't be made, a program that can't
        // start), passed on with the system's own description.
        system,
    };

    Kind kind;
    QString detail; // the path, the variable name or the complete message

    static QuillmereError missingFile(const QString &path) { return {Kind::missingFile, path}; }
    static QuillmereError invalidPrefix(const QString &path) { return {Kind::invalidPrefix, path}; }
    static QuillmereError invalidEnvironment(const QString &name)
    {
        return {Kind::invalidEnvironment, name};
    }
    static QuillmereError alreadyInitialized(const QString &path)
    {
        return {Kind::alreadyInitialized, path};
    }
    static QuillmereError occupiedPrefix(const QString &path)
    {
        return {Kind::occupiedPrefix, path};
    }
    static QuillmereError processFailed(const QString &message)
    {
        return {Kind::processFailed, message};
    }
    static QuillmereError system(const QString &message) { return {Kind::system, message}; }

    QString description() const;

    bool operator==(const QuillmereError &) const = default;
};

template <class T> using Result = Expected<T, QuillmereError>;
