// quillmere-logkeeper CAP_BYTES
//
// Fills a launch log from a pipe and keeps it at most CAP_BYTES long: the first half of the
// output, one line saying how much was left out, and the latest output. It runs as a process of
// its own so that a game's output stays bounded after the window that started it has quit, and
// never slows the game: it reads as fast as the game writes and keeps the latest part in memory,
// writing it out when the output pauses and at least twice a second while it does not.
//
// Standard input: the pipe the game's standard output and error go to.
// Standard output: the log file, empty, opened for writing by the caller (not in append mode).
// Descriptor 3 (optional): a socket on which each byte asks "is everything written so far in the
// file?"; the keeper reads what the pipe holds, writes it out and answers with one byte.
//
// Plain C++ without Qt: it is small and starts fast beside every game.

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <string>
#include <sys/mman.h>
#include <unistd.h>
#include <vector>

namespace {

constexpr int input = STDIN_FILENO;
constexpr int output = STDOUT_FILENO;
constexpr int control = 3;
constexpr std::int64_t minimumCap = 4096;
constexpr std::int64_t defaultCap = std::int64_t(16) << 20;
// The note that replaces what was cut never takes more than this.
constexpr std::int64_t noteRoom = 256;
constexpr auto writeInterval = std::chrono::milliseconds(500);
constexpr int pauseMs = 50;
// How much one turn of the loop reads before it looks at the other descriptor again.
constexpr std::size_t turnLimit = std::size_t(1) << 20;

// A game that never pauses still gets its answer.
constexpr std::size_t syncLimit = std::size_t(64) << 20;

using Clock = std::chrono::steady_clock;

void writeAt(const char *data, std::int64_t size, std::int64_t offset)
{
    // A full disk or a failing write loses log text, never the game's output pipe: keep going.
    while (size > 0) {
        const ssize_t written = ::pwrite(output, data, static_cast<std::size_t>(size), offset);
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0)
            return;
        data += written;
        size -= written;
        offset += written;
    }
}

std::string sizeLabel(std::int64_t bytes)
{
    if (bytes % (std::int64_t(1) << 20) == 0)
        return std::to_string(bytes >> 20) + " MiB";
    if (bytes % 1024 == 0)
        return std::to_string(bytes >> 10) + " KiB";
    return std::to_string(bytes) + " bytes";
}

class BoundedLog
{
public:
    explicit BoundedLog(std::int64_t cap)
        : m_cap(cap)
        , m_head(cap / 2)
        , m_tailRoom(cap - cap / 2 - noteRoom)
        , m_capLabel(sizeLabel(cap))
    {
    }

    void append(const char *data, std::int64_t size)
    {
        if (!m_cut) {
            // Up to the cap the file takes the output as it comes; a piece that crosses it
            // fills the file first, so that its first half is complete.
            const std::int64_t fits = std::min(size, m_cap - m_received);
            writeAt(data, fits, m_received);
            m_received += fits;
            data += fits;
            size -= fits;
            if (size == 0 || !startCutting())
                return;
        }
        keep(data, size);
        m_received += size;
        m_dirty = true;
    }

    bool dirty() const { return m_dirty; }

    // Writes the kept latest output after the first half and the note between them.
    void writeOut()
    {
        if (!m_dirty)
            return;
        const std::string note = "\n[Quillmere left out "
            + std::to_string(m_received - m_head - m_tailSize)
            + " bytes of output here to keep this log under " + m_capLabel + ".]\n";
        std::int64_t at = m_head;
        writeAt(note.data(), static_cast<std::int64_t>(note.size()), at);
        at += static_cast<std::int64_t>(note.size());
        const std::int64_t firstPart = std::min(m_tailSize, m_tailRoom - m_tailStart);
        writeAt(m_tail + m_tailStart, firstPart, at);
        writeAt(m_tail, m_tailSize - firstPart, at + firstPart);
        while (::ftruncate(output, at + m_tailSize) < 0 && errno == EINTR) { }
        m_dirty = false;
    }

private:
    // From here on the output after the first half lives in memory; what the file holds past the
    // first half becomes the start of it.
    bool startCutting()
    {
        void *memory = ::mmap(nullptr, static_cast<std::size_t>(m_tailRoom), PROT_READ | PROT_WRITE,
            MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        if (memory == MAP_FAILED)
            return false;
        m_tail = static_cast<char *>(memory);
        m_cut = true;
        const std::int64_t kept = std::min(m_received - m_head, m_tailRoom);
        std::int64_t read = 0;
        while (read < kept) {
            const ssize_t got = ::pread(output, m_tail + read,
                static_cast<std::size_t>(kept - read), m_received - kept + read);
            if (got < 0 && errno == EINTR)
                continue;
            if (got <= 0)
                break;
            read += got;
        }
        m_tailSize = read;
        return true;
    }

    // Adds to the latest output, forgetting its oldest bytes beyond the room it has.
    void keep(const char *data, std::int64_t size)
    {
        if (size >= m_tailRoom) {
            std::memcpy(m_tail, data + size - m_tailRoom, static_cast<std::size_t>(m_tailRoom));
            m_tailStart = 0;
            m_tailSize = m_tailRoom;
            return;
        }
        std::int64_t end = (m_tailStart + m_tailSize) % m_tailRoom;
        const std::int64_t firstPart = std::min(size, m_tailRoom - end);
        std::memcpy(m_tail + end, data, static_cast<std::size_t>(firstPart));
        std::memcpy(m_tail, data + firstPart, static_cast<std::size_t>(size - firstPart));
        if (m_tailSize + size > m_tailRoom) {
            m_tailStart = (m_tailStart + m_tailSize + size - m_tailRoom) % m_tailRoom;
            m_tailSize = m_tailRoom;
        } else {
            m_tailSize += size;
        }
    }

    const std::int64_t m_cap;
    const std::int64_t m_head;
    const std::int64_t m_tailRoom;
    const std::string m_capLabel;
    std::int64_t m_received = 0;
    bool m_cut = false;
    bool m_dirty = false;
    char *m_tail = nullptr; // a ring of m_tailRoom bytes
    std::int64_t m_tailStart = 0;
    std::int64_t m_tailSize = 0;
};

enum class Drained { pipeEmpty, moreWaiting, ended };

// Reads what the pipe holds now, up to `limit` bytes.
Drained drain(BoundedLog &log, std::vector<char> &buffer, std::size_t limit)
{
    std::size_t total = 0;
    while (total < limit) {
        const ssize_t got = ::read(input, buffer.data(), buffer.size());
        if (got > 0) {
            log.append(buffer.data(), got);
            total += static_cast<std::size_t>(got);
            continue;
        }
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0 && (errno == EAGAIN || errno == EWOULDBLOCK))
            return Drained::pipeEmpty;
        return Drained::ended;
    }
    return Drained::moreWaiting;
}

} // namespace

int main(int argc, char **argv)
{
    std::int64_t cap = defaultCap;
    if (argc > 1)
        cap = std::max(minimumCap, static_cast<std::int64_t>(std::strtoll(argv[1], nullptr, 10)));
    // The asker may be gone before the answer: that ends nothing here.
    std::signal(SIGPIPE, SIG_IGN);
    ::fcntl(input, F_SETFL, ::fcntl(input, F_GETFL) | O_NONBLOCK);
    bool controlOpen = ::fcntl(control, F_GETFD) != -1;

    BoundedLog log(cap);
    std::vector<char> buffer(std::size_t(64) << 10);
    auto lastWrite = Clock::now();
    for (;;) {
        pollfd watched[2] = {{input, POLLIN, 0}, {control, POLLIN, 0}};
        const int ready = ::poll(watched, controlOpen ? 2 : 1, log.dirty() ? pauseMs : -1);
        if (ready < 0 && errno != EINTR)
            break;
        if (ready == 0) {
            log.writeOut(); // the output paused
            lastWrite = Clock::now();
            continue;
        }
        if (ready < 0)
            continue;
        if (watched[0].revents != 0 && drain(log, buffer, turnLimit) == Drained::ended)
            break;
        if (controlOpen && watched[1].revents != 0) {
            char asks[64];
            const ssize_t got = ::read(control, asks, sizeof asks);
            if (got <= 0) {
                controlOpen = false;
            } else {
                // What the asker's children wrote before it asked is in the pipe by now.
                const bool ended = drain(log, buffer, syncLimit) == Drained::ended;
                log.writeOut();
                lastWrite = Clock::now();
                const char answer = 'k';
                while (::write(control, &answer, 1) < 0 && errno == EINTR) { }
                if (ended)
                    break;
            }
        }
        if (log.dirty() && Clock::now() - lastWrite >= writeInterval) {
            log.writeOut();
            lastWrite = Clock::now();
        }
    }
    log.writeOut();
    return 0;
}
