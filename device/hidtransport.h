#pragma once

#include <QObject>
#include <QString>
#include <QVector>
#include <array>
#include <cstdint>
#include <memory>

// Every report in both directions: byte 0 is the report ID (always 0),
// bytes 1 to 64 carry the packet.
constexpr int HIDReportSize = 65;
using HIDReport = std::array<uint8_t, HIDReportSize>;

// The USB identity of one HID interface found by enumeration.
struct HIDDeviceInfo {
    QString path;
    quint16 vendorId = 0;
    quint16 productId = 0;
    quint16 versionNumber = 0;
};

// One opened HID interface.  Used by one thread at a time.
class HIDConnection
{
public:
    virtual ~HIDConnection() = default;

    // True when the whole report was written within the time-out.
    virtual bool writeReport(const HIDReport &report, int timeoutMs) = 0;
    // True when a report arrived within the time-out.
    virtual bool readReport(HIDReport &report, int timeoutMs) = 0;
    virtual void setInputBufferCount(int count) = 0;
    // Discards every report queued for reading.
    virtual void flushInput() = 0;
};

// The one seam through which all device I/O passes.  Two implementations:
// hidapi for real devices, and the virtual flight computer (demo mode and
// tests).  Nothing above this interface knows which one it talks to.
class HIDTransport : public QObject
{
    Q_OBJECT

public:
    using QObject::QObject;

    virtual QVector<HIDDeviceInfo> enumerate() = 0;
    // Null when the interface cannot be opened.
    virtual std::unique_ptr<HIDConnection> open(const QString &path) = 0;
    // After a failed open: what the user can do about it, when known.
    virtual QString openFailureAdvice(const QString &path) const;

    // The transport used by the whole process (hidapi unless replaced).
    static HIDTransport *current();
    // Installs another transport (the virtual flight computer with --demo,
    // or a test's); the caller keeps ownership.  Null restores hidapi.
    static void setCurrent(HIDTransport *transport);

signals:
    // A HID interface appeared or disappeared (hot-plug).
    void deviceArrived(const QString &path);
    void deviceRemoved(const QString &path);
};
