#include "app/messagelog.h"

#include <QString>
#include <cstdio>
#include <cstdlib>

namespace {

const char *prefixFor(QtMsgType type)
{
    switch (type) {
    case QtDebugMsg:
        return "Debug";
    case QtWarningMsg:
        return "Warning";
    case QtCriticalMsg:
        return "Critical";
    case QtFatalMsg:
        return "Fatal";
    case QtInfoMsg:
        break;
    }
    return nullptr;
}

void writeLogMessage(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    const QByteArray line = formatLogMessage(type, context, message);
    if (!line.isEmpty()) {
        std::fwrite(line.constData(), 1, size_t(line.size()), stderr);
        std::fflush(stderr);
    }
    if (type == QtFatalMsg)
        std::abort();
}

} // namespace

QByteArray formatLogMessage(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    const char *prefix = prefixFor(type);
    if (!prefix)
        return {};
    // Release builds carry no file or function in the context.
    const char *file = context.file ? context.file : "";
    const char *function = context.function ? context.function : "";
    return QByteArray(prefix) + ": " + message.toLocal8Bit() + " (" + file + ':'
        + QByteArray::number(context.line) + ", " + function + ")\n";
}

void installMessageLog()
{
    qInstallMessageHandler(writeLogMessage);
}
