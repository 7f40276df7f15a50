// The library file reader on any bytes: it never crashes, what it accepts is saved and read
// back unchanged, unknown keys included, and its quick reader never answers differently from
// the general one.
#include "library/LibraryFile.h"

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const QByteArray bytes = QByteArray::fromRawData(
        reinterpret_cast<const char *>(data), static_cast<qsizetype>(size));
    const auto entries = LibraryFile::decode(bytes);
    const auto general = LibraryFile::decodeGenerally(bytes);
    if (const auto quick = LibraryFile::decodeQuickly(bytes);
        quick && (!general || *quick != *general))
        std::abort();
    if (!entries) {
        if (entries.error().isEmpty())
            std::abort(); // a refusal always says why
        return 0;
    }
    const auto again
        = LibraryFile::decode(LibraryFile::encode(*entries, LibraryFile::Keys::withUnknown));
    if (!again || *again != *entries)
        std::abort();
    return 0;
}
