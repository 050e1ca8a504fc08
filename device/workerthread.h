#pragma once

#include "device/okukipointerface.h"

#include <QThread>

// The device operations worker on a thread of its own, as every user of it
// runs it.  Destruction ends a running download or emulation early, stops
// the thread and deletes the worker on it (its poll timer can only be
// stopped there), which closes the device handles.
class OKUKIPOWorkerThread
{
public:
    explicit OKUKIPOWorkerThread(QObject *consoleTarget);
    ~OKUKIPOWorkerThread();
    OKUKIPOWorkerThread(const OKUKIPOWorkerThread &) = delete;
    OKUKIPOWorkerThread &operator=(const OKUKIPOWorkerThread &) = delete;

    OKUKIPOInterface *worker() const { return operations; }

private:
    QThread thread;
    OKUKIPOInterface *operations;
};
