#pragma once

#include "platform/Expected.h"

#include <QString>

// The setup's failures, each with one sentence for the user.
struct RuntimeSetupError
{
    enum class Kind {
        download,
        integrity,
        archive,
        install,
        // The operating system's own failure (a folder that can't be made, a file that can't
        // be read or moved), passed on with its description.
        system,
        // The user or the window stopped the step; callers usually say nothing.
        cancelled,
    };

    Kind kind;
    QString detail;

    static RuntimeSetupError download(const QString &detail) { return {Kind::download, detail}; }
    static RuntimeSetupError integrity(const QString &fileName)
    {
        return {Kind::integrity, fileName};
    }
    static RuntimeSetupError archive(const QString &detail) { return {Kind::archive, detail}; }
    static RuntimeSetupError install(const QString &message) { return {Kind::install, message}; }
    static RuntimeSetupError system(const QString &message) { return {Kind::system, message}; }
    static RuntimeSetupError cancelled()
    {
        return {Kind::cancelled, QStringLiteral("The download was cancelled.")};
    }

    bool isCancelled() const { return kind == Kind::cancelled; }
    QString description() const;

    bool operator==(const RuntimeSetupError &) const = default;
};

template <class T> using SetupResult = Expected<T, RuntimeSetupError>;
