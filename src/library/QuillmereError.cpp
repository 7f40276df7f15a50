#include "QuillmereError.h"

using namespace Qt::StringLiterals;

QString QuillmereError::description() const
{
    switch (kind) {
    case Kind::missingFile:
        return u"Can't find this file or folder:\n"_s + detail;
    case Kind::invalidPrefix:
        return u"This doesn't look like an initialized Wine prefix:\n"_s + detail;
    case Kind::invalidEnvironment:
        return u"The environment variable name ‘"_s + detail
            + u"’ is invalid. Use letters, numbers, and underscores."_s;
    case Kind::alreadyInitialized:
        return u"That prefix already contains a Wine registry, so Quillmere left it unchanged:\n"_s
            + detail;
    case Kind::occupiedPrefix:
        return u"Choose an empty folder for the new Wine prefix. Quillmere left this folder unchanged:\n"_s
            + detail;
    case Kind::processFailed:
    case Kind::system:
        return detail;
    }
    return detail;
}
