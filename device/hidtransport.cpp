#include "device/hidtransport.h"

#include "device/hidapitransport.h"

#include <QCoreApplication>
#include <atomic>

namespace {

std::atomic<HIDTransport *> installedTransport{nullptr};

HIDTransport *hidapiTransport()
{
    static HIDAPITransport *transport = [] {
        auto *created = new HIDAPITransport;
        // The monitor's notifier must live in a thread with an event loop
        // that outlasts any worker thread: the application's.
        if (QCoreApplication *application = QCoreApplication::instance()) {
            created->moveToThread(application->thread());
            QMetaObject::invokeMethod(created, "startHotplugMonitor", Qt::QueuedConnection);
        }
        return created;
    }();
    return transport;
}

} // namespace

QString HIDTransport::openFailureAdvice(const QString &) const
{
    return {};
}

HIDTransport *HIDTransport::current()
{
    if (HIDTransport *transport = installedTransport.load())
        return transport;
    return hidapiTransport();
}

void HIDTransport::setCurrent(HIDTransport *transport)
{
    installedTransport.store(transport);
}
