#include "RuntimeSetupError.h"

using namespace Qt::StringLiterals;

QString RuntimeSetupError::description() const
{
    switch (kind) {
    case Kind::download:
        return u"Quillmere couldn't download the required file.\n\n"_s + detail;
    case Kind::integrity:
        return u"The downloaded file failed its SHA-256 check and was discarded:\n"_s + detail;
    case Kind::archive:
        return u"Quillmere couldn't unpack the Wine runtime.\n\n"_s + detail;
    case Kind::install:
    case Kind::system:
    case Kind::cancelled:
        return detail;
    }
    return detail;
}
