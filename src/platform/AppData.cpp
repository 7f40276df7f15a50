#include "AppData.h"

#include <QDir>
#include <QStandardPaths>

using namespace Qt::StringLiterals;

QString AppData::defaultFolder()
{
    // GenericDataLocation is the application-support folder on macOS and the XDG data folder on
    // Linux, without the organisation and application names Qt would otherwise append.
    const QString base = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
    return QDir(base).filePath(u"Quillmere"_s);
}
