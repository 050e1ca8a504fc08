#pragma once

#include <QByteArray>
#include <QFile>
#include <QString>

// The bytes of a file, or "<missing>" when it cannot be read, so that a
// missing file shows as such in a failed comparison.
inline QByteArray fileContents(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

// Writes the bytes to a file; false when that failed.
inline bool writeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(bytes) == bytes.size();
}
