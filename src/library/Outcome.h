#pragma once

#include <QString>

#include <utility>

// What an operation did, as the one sentence its user is told: nothing to say, a notice, or an
// error. The window shows it in an alert; the command line prints it and sets its exit status.
struct Outcome
{
    enum class Kind { quiet, notice, error };
    Kind kind = Kind::quiet;
    QString message;

    static Outcome notice(QString message) { return {Kind::notice, std::move(message)}; }
    static Outcome error(QString message) { return {Kind::error, std::move(message)}; }
    bool failed() const { return kind == Kind::error; }

    bool operator==(const Outcome &) const = default;
};
