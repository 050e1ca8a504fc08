#include "device/workerthread.h"

OKUKIPOWorkerThread::OKUKIPOWorkerThread(QObject *consoleTarget)
    : operations(new OKUKIPOInterface(consoleTarget))
{
    operations->moveToThread(&thread);
    QObject::connect(&thread, &QThread::finished, operations, &QObject::deleteLater);
    thread.start();
}

OKUKIPOWorkerThread::~OKUKIPOWorkerThread()
{
    thread.quit();
    thread.wait();
}
