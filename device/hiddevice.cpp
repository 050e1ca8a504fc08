#include "device/hiddevice.h"

#include "model/trace.h"

namespace {

// Reports the system may queue for the read side before the oldest are lost.
constexpr int InputBufferCount = 200;

} // namespace

QString versionText(quint16 versionNumber)
{
    return QString::number(versionNumber >> 8, 16) + QLatin1Char('.')
        + QStringLiteral("%1").arg(versionNumber & 0xFF, 2, 16, QLatin1Char('0'));
}

QString seriesText(quint16 series)
{
    return QString::number(series >> 8, 16) + QLatin1Char('.')
        + QString::number((series >> 4) & 0xF, 16) + QLatin1Char('x');
}

HIDDevice::~HIDDevice() = default;

QVector<HIDDeviceInfo> HIDDevice::findDevices(quint16 productId, quint16 version, quint16 mask)
{
    return matching(HIDTransport::current()->enumerate(), productId, version, mask);
}

QVector<HIDDeviceInfo> HIDDevice::matching(const QVector<HIDDeviceInfo> &found, quint16 productId, quint16 version,
                                           quint16 mask)
{
    QVector<HIDDeviceInfo> chosen;
    for (const HIDDeviceInfo &candidate : found) {
        if (candidate.vendorId == OKUVendorId && candidate.productId == productId
            && (candidate.versionNumber & mask) == (version & mask))
            chosen.append(candidate);
    }
    return chosen;
}

void HIDDevice::select(const HIDDeviceInfo &found)
{
    close();
    identity = found;
    selectedVersion = found.versionNumber;
}

bool HIDDevice::open()
{
    if (isOpen())
        return true;
    connection = HIDTransport::current()->open(identity.path);
    if (!connection) {
        // One open call yields both directions, so both are unusable.
        okukipo::trace(QStringLiteral("Cant get USB file handle. The file is locked."));
        okukipo::trace(QStringLiteral("Invalid read handle."));
        okukipo::trace(QStringLiteral("Invalid write handle."));
        return false;
    }
    connection->setInputBufferCount(InputBufferCount);
    opened = true;
    return true;
}

void HIDDevice::close()
{
    opened = false;
    connection.reset();
}

bool HIDDevice::writeReport(const HIDReport &report, int timeoutMs)
{
    return isOpen() && connection->writeReport(report, timeoutMs);
}

bool HIDDevice::readReport(HIDReport &report, int timeoutMs)
{
    if (!isOpen())
        return false;
    if (connection->readReport(report, timeoutMs))
        return true;
    okukipo::trace(QStringLiteral("failed to rx"));
    return false;
}

void HIDDevice::flushInput()
{
    if (isOpen())
        connection->flushInput();
}
