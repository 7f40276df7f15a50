#pragma once

#include <QString>

// A step that writes a file or folder under a temporary name holds an InUseMark on it until it
// is done. What a quit or a crash left behind carries none, so a later sweep, in this process
// or another, tells a leftover from work in progress.
class InUseMark
{
public:
    InUseMark() = default;
    // Takes the mark on `path` itself, never through a link. Not held when someone else holds
    // it or the path is gone.
    explicit InUseMark(const QString &path);
    InUseMark(InUseMark &&other) noexcept;
    InUseMark &operator=(InUseMark &&other) noexcept;
    InUseMark(const InUseMark &) = delete;
    InUseMark &operator=(const InUseMark &) = delete;
    ~InUseMark();

    bool isHeld() const { return m_descriptor >= 0; }

private:
    int m_descriptor = -1; // an advisory lock: the system drops it when its holder ends
};

namespace Leftovers {

enum class Kind { file, folder };

// `prefix` followed by a fresh upper-case UUID.
QString temporaryName(const QString &prefix);

// Removes each `kind` directly in `folder` named by temporaryName(prefix) that nobody marks as
// in use. Links are neither followed nor removed. Blocks: a large folder takes a while.
void removeUnmarked(const QString &folder, const QString &prefix, Kind kind);

} // namespace Leftovers
