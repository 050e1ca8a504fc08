#pragma once

#include "device/sim/virtualflightcomputer.h"
#include "device/workerthread.h"
#include "model/trace.h"

#include <QCoreApplication>
#include <QMutex>
#include <QMutexLocker>
#include <QStringList>
#include <functional>
#include <memory>

// Stands in for the device window: records the console lines and control switches.
class ConsoleRecorder : public QObject
{
    Q_OBJECT

public:
    QStringList lines;
    QList<bool> controls;

public slots:
    void appendConsoleNL(QString line) { lines << line; }
    void enableControls(bool enabled) { controls << enabled; }
};

// The real worker on its own thread, talking to a virtual flight computer.
class WorkerHarness
{
public:
    VirtualFlightComputer computer;
    ConsoleRecorder console;
    OKUKIPOInterface *worker;

    WorkerHarness()
    {
        HIDTransport::setCurrent(&computer);
        okukipo::setTraceHandler([this](const QString &line) {
            QMutexLocker lock(&traceMutex);
            traceLines << line;
        });
        workerThread = std::make_unique<OKUKIPOWorkerThread>(&console);
        worker = workerThread->worker();
    }

    ~WorkerHarness()
    {
        workerThread.reset();
        okukipo::setTraceHandler({});
        HIDTransport::setCurrent(nullptr);
    }

    okukipo::sim::VirtualDevice &device() { return computer.device(); }

    // Runs a slot queued, as the window does, and returns once it has ended
    // and its console lines have arrived.
    template <typename... Args>
    void call(const char *slot, Args... arguments)
    {
        QMetaObject::invokeMethod(worker, slot, Qt::QueuedConnection, arguments...);
        sync();
    }

    // Runs code on the worker's thread and waits for it.
    void onWorker(const std::function<void()> &code = [] {})
    {
        QMetaObject::invokeMethod(worker, code, Qt::BlockingQueuedConnection);
        QCoreApplication::processEvents();
    }

    void sync() { onWorker(); }

    void connectFirmware() { call("attemptConnection"); }

    QStringList traced()
    {
        QMutexLocker lock(&traceMutex);
        return traceLines;
    }

    void clearRecords()
    {
        QMutexLocker lock(&traceMutex);
        traceLines.clear();
        console.lines.clear();
        console.controls.clear();
    }

private:
    std::unique_ptr<OKUKIPOWorkerThread> workerThread;
    QMutex traceMutex;
    QStringList traceLines;
};
