#include "device/hiddevice.h"
#include "scriptedtransport.h"

#include <QSignalSpy>
#include <QtTest>

class TestHIDDevice : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<ScriptedSession> session;

    static HIDDeviceInfo interface(const char *path, quint16 vendor, quint16 product, quint16 version)
    {
        return {QString::fromLatin1(path), vendor, product, version};
    }

private slots:
    void init() { session = std::make_unique<ScriptedSession>(); }
    void cleanup() { session.reset(); }

    void findsNothingWithoutAFlightComputer()
    {
        session->transport.devices = {interface("/keyboard", 0x046D, 0x0004, 0x0221)};
        QVERIFY(HIDDevice::findDevices(OKUFirmwareProductId, OKUFirmwareSeries, OKUSeriesMask).isEmpty());
        QVERIFY(HIDDevice::findDevices(OKUBootloaderProductId, OKUBootloaderSeries, 0).isEmpty());
    }

    void versionMaskSelectsTheFirmwareSeries()
    {
        session->transport.devices = {interface("/old", OKUVendorId, OKUFirmwareProductId, 0x0215),
                             interface("/new", OKUVendorId, OKUFirmwareProductId, 0x022F),
                             interface("/boot", OKUVendorId, OKUBootloaderProductId, 0x0200)};
        const auto series = HIDDevice::findDevices(OKUFirmwareProductId, 0x0220, 0xFFF0);
        QCOMPARE(series.size(), 1);
        QCOMPARE(series.first().path, QStringLiteral("/new"));
        const auto any = HIDDevice::findDevices(OKUFirmwareProductId, 0x0220, 0);
        QCOMPARE(any.size(), 2);
        QCOMPARE(any.first().versionNumber, quint16(0x0215));
    }

    void versionTexts()
    {
        QCOMPARE(versionText(0x0221), QStringLiteral("2.21"));
        QCOMPARE(versionText(0x020A), QStringLiteral("2.0a"));
        QCOMPARE(seriesText(0x0220), QStringLiteral("2.2x"));
    }

    void openingTwiceKeepsTheFirstConnection()
    {
        HIDDevice device;
        device.select(interface("/kipo", OKUVendorId, OKUFirmwareProductId, 0x0221));
        QVERIFY(!device.isOpen());
        QVERIFY(device.open());
        QVERIFY(device.open());
        QCOMPARE(session->transport.opens, 1);
        QCOMPARE(session->transport.inputBufferCount, 200);
        device.close();
        QVERIFY(!device.isOpen());
    }

    void aLockedDeviceCannotBeOpened()
    {
        session->transport.failOpen = true;
        HIDDevice device;
        QVERIFY(!device.open());
        QVERIFY(!device.isOpen());
        QCOMPARE(session->traced, QStringList({"Cant get USB file handle. The file is locked.", "Invalid read handle.",
                                      "Invalid write handle."}));
    }

    void readWithoutAReportTimesOut()
    {
        HIDDevice device;
        QVERIFY(device.open());
        HIDReport report{};
        QVERIFY(!device.readReport(report, 1));
        QCOMPARE(session->traced, QStringList({"failed to rx"}));
    }

    void closedDeviceMovesNothing()
    {
        HIDDevice device;
        HIDReport report{};
        QVERIFY(!device.writeReport(report, 1));
        QVERIFY(!device.readReport(report, 1));
        QVERIFY(session->transport.written.isEmpty());
        QVERIFY(session->traced.isEmpty());
    }

    void flushDiscardsQueuedReports()
    {
        HIDDevice device;
        QVERIFY(device.open());
        session->transport.pending.push_back(ScriptedTransport::report(0x02));
        device.flushInput();
        HIDReport report{};
        QVERIFY(!device.readReport(report, 1));
    }

    void theHidapiBackendIsTheDefault()
    {
        HIDTransport::setCurrent(nullptr);
        HIDTransport *defaultTransport = HIDTransport::current();
        QVERIFY(defaultTransport);
        QVERIFY(defaultTransport != &session->transport);
        // No flight computer is attached to a build machine.
        QVERIFY(HIDDevice::findDevices(OKUFirmwareProductId, OKUFirmwareSeries, 0).isEmpty());
        QVERIFY(!defaultTransport->open(QStringLiteral("/dev/no-such-hidraw")));
        // Its hot-plug monitor starts in the application's event loop.
        QSignalSpy arrived(defaultTransport, &HIDTransport::deviceArrived);
        QCoreApplication::processEvents();
        QCOMPARE(arrived.count(), 0);
        HIDTransport::setCurrent(&session->transport);
        QCOMPARE(HIDTransport::current(), &session->transport);
    }
};

QTEST_GUILESS_MAIN(TestHIDDevice)
#include "test_hiddevice.moc"
