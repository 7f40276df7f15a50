#include "PathNormalization.h"

#include <QDir>

QString normalizedPath(const QString &path)
{
    if (path.isEmpty())
        return path;
    QString expanded = path;
    if (path == u"~")
        expanded = QDir::homePath();
    else if (path.startsWith(u"~/"))
        expanded = QDir::homePath() + path.mid(1);
    return QDir::cleanPath(QDir::current().absoluteFilePath(expanded));
}
