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
    // A running download or emulation would otherwise hold up the wait below.
    operations->setDownloadCancel(true);
    operations->stopEmulation();
    thread.quit();
    thread.wait();
}
