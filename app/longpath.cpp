#include "app/longpath.h"

#include <QFileInfo>

QString expandLongPath(const QString &path)
{
    if (path.isEmpty())
        return {};
    // canonicalFilePath() is empty for a path that does not exist.
    return QFileInfo(path).canonicalFilePath();
}
