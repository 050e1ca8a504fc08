#include "model/trace.h"

#include <QMutex>
#include <QMutexLocker>
#include <cstdio>

namespace okukipo {
namespace {

struct TraceSink {
    QMutex mutex;
    TraceTarget target = TraceTarget::StandardOutput;
    std::function<void(const QString &)> handler;
};

TraceSink &sink()
{
    static TraceSink instance;
    return instance;
}

} // namespace

void setTraceTarget(TraceTarget target)
{
    QMutexLocker lock(&sink().mutex);
    sink().target = target;
}

void setTraceHandler(std::function<void(const QString &line)> handler)
{
    QMutexLocker lock(&sink().mutex);
    sink().handler = std::move(handler);
}

void trace(const QString &line)
{
    QMutexLocker lock(&sink().mutex);
    if (sink().handler) {
        sink().handler(line);
        return;
    }
    if (sink().target == TraceTarget::Discard)
        return;
    FILE *stream = sink().target == TraceTarget::StandardOutput ? stdout : stderr;
    const QByteArray bytes = line.toLocal8Bit();
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stream);
    std::fputc('\n', stream);
    std::fflush(stream);
}

} // namespace okukipo
