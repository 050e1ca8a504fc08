#pragma once

#include "device/hidtransport.h"

#include <QVector>
#include <atomic>
#include <memory>

// USB identity of the flight computer.
constexpr quint16 OKUVendorId = 0x03DB;
constexpr quint16 OKUFirmwareProductId = 0x0004;
constexpr quint16 OKUBootloaderProductId = 0x0003;
constexpr quint16 OKUFirmwareSeries = 0x0220;
constexpr quint16 OKUBootloaderSeries = 0x0200;
constexpr quint16 OKUSeriesMask = 0xFFF0;

// "2.21" for 0x0221: the high byte in hex, a point, the low byte as two hex digits.
QString versionText(quint16 versionNumber);
// "2.2x" for 0x0220: the series a version mask of 0xFFF0 accepts.
QString seriesText(quint16 series);

// One flight computer interface found by its USB identity, moving whole
// reports through the current HID transport.  Knows nothing of packets.
// Used by one thread at a time (the worker's, under its operations mutex);
// isOpen() and versionNumber() may be asked from any thread.
class HIDDevice
{
public:
    HIDDevice() = default;
    virtual ~HIDDevice();
    HIDDevice(const HIDDevice &) = delete;
    HIDDevice &operator=(const HIDDevice &) = delete;

    // Interfaces of the flight computer with this product ID whose
    // (version & mask) equals (version & mask); a mask of 0 accepts any.
    static QVector<HIDDeviceInfo> findDevices(quint16 productId, quint16 version, quint16 mask);
    // The same choice among interfaces found before, so that a caller that
    // needs two choices enumerates the bus once.
    static QVector<HIDDeviceInfo> matching(const QVector<HIDDeviceInfo> &found, quint16 productId, quint16 version,
                                           quint16 mask);

    // Closes the device and takes on the identity of a found interface.
    void select(const HIDDeviceInfo &found);
    const HIDDeviceInfo &info() const { return identity; }
    // The version number of the interface last selected.
    quint16 versionNumber() const { return selectedVersion; }

    bool open();
    void close();
    bool isOpen() const { return opened; }

    bool writeReport(const HIDReport &report, int timeoutMs);
    bool readReport(HIDReport &report, int timeoutMs);
    void flushInput();

private:
    HIDDeviceInfo identity;
    std::unique_ptr<HIDConnection> connection;
    std::atomic<bool> opened{false};
    std::atomic<quint16> selectedVersion{0};
};
