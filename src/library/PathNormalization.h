#pragma once

#include <QString>

// A path as the user typed or dropped it, made absolute and standard: a leading "~" becomes the
// home folder, relative paths are taken from the current folder, "." and ".." components and a
// trailing slash go. An empty path stays empty.
QString normalizedPath(const QString &path);
