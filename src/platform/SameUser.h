#pragma once

#include <QString>
#include <QtGlobal>

#include <optional>

// What only the user who runs Quillmere may reach: a folder nobody else can enter, and the
// user at the other end of a local connection. User ids are injectable so tests can play
// another user without being one.
namespace SameUser {

using UserID = quint64;

UserID current();

// Why `folder` is not one only `user` can enter, as the end of a sentence ("is a link"), or
// empty when it is: a real folder, not a link, owned by `user`, closed to group and others.
QString folderProblem(const QString &folder, UserID user);

// The runtime folder when it is an absolute path that passes folderProblem, else
// "quillmere-UID" in the temporary folder, which makePrivateFolder makes and checks.
QString privateFolder(const QString &runtimeFolder, const QString &temporaryFolder, UserID user);
// Makes `folder` closed to others when it is missing, then checks it; see folderProblem.
QString makePrivateFolder(const QString &folder, UserID user);

// Whether something other than a local socket is at `path` (a link counts as other).
bool holdsNonSocket(const QString &path);

// The user at the other end of a connected local socket; none when the system does not say.
std::optional<UserID> peer(qintptr socketDescriptor);
// Only a peer known to be `user` is trusted.
bool trusts(std::optional<UserID> peer, UserID user);

} // namespace SameUser
