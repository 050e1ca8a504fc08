#pragma once

#include <QString>

// The long, absolute form of a path given on the command line: absolute and
// canonical, or empty when the file does not exist.
QString expandLongPath(const QString &path);
