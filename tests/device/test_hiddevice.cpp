#include "device/hiddevice.h"
#include "model/trace.h"
#include "scriptedtransport.h"

#include <QtTest>

class TestHIDDevice : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<ScriptedTransport> scripted;
    QStringList traced;

    static HIDDeviceInfo interface(const char *path, quint16 vendor, quint16 product, quint16 version)
    {
        return {QString::fromLatin1(path), vendor, product, version};
    }

private slots:
    void initTestCase()
    {
        okukipo::setTraceHandler([this](const QString &line) { traced << line; });
    }

    void cleanupTestCase()
    {
        okukipo::setTraceHandler({});
        HIDTransport::setCurrent(nullptr);
    }

    void init()
    {
        scripted = std::make_unique<ScriptedTransport>();
        HIDTransport::setCurrent(scripted.get());
        traced.clear();
    }

    void findsNothingWithoutAFlightComputer()
    {
        scripted->devices = {interface("/keyboard", 0x046D, 0x0004, 0x0221)};
        QVERIFY(HIDDevice::findDevices(OKUFirmwareProductId, OKUFirmwareSeries, OKUSeriesMask).isEmpty());
        QVERIFY(HIDDevice::findDevices(OKUBootloaderProductId, OKUBootloaderSeries, 0).isEmpty());
    }

    void versionMaskSelectsTheFirmwareSeries()
    {
        scripted->devices = {interface("/old", OKUVendorId, OKUFirmwareProductId, 0x0215),
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
        QCOMPARE(scripted->opens, 1);
        QCOMPARE(scripted->inputBufferCount, 200);
        device.close();
        QVERIFY(!device.isOpen());
    }

    void aLockedDeviceCannotBeOpened()
    {
        scripted->failOpen = true;
        HIDDevice device;
        QVERIFY(!device.open());
        QVERIFY(!device.isOpen());
        QCOMPARE(traced, QStringList({"Cant get USB file handle. The file is locked.", "Invalid read handle.",
                                      "Invalid write handle."}));
    }

    void readWithoutAReportTimesOut()
    {
        HIDDevice device;
        QVERIFY(device.open());
        HIDReport report{};
        QVERIFY(!device.readReport(report, 1));
        QCOMPARE(traced, QStringList({"failed to rx"}));
    }

    void closedDeviceMovesNothing()
    {
        HIDDevice device;
        HIDReport report{};
        QVERIFY(!device.writeReport(report, 1));
        QVERIFY(!device.readReport(report, 1));
        QVERIFY(scripted->written.isEmpty());
        QVERIFY(traced.isEmpty());
    }

    void flushDiscardsQueuedReports()
    {
        HIDDevice device;
        QVERIFY(device.open());
        scripted->pending.push_back(ScriptedTransport::report(0x02));
        device.flushInput();
        HIDReport report{};
        QVERIFY(!device.readReport(report, 1));
    }

    void theHidapiBackendIsTheDefault()
    {
        HIDTransport::setCurrent(nullptr);
        HIDTransport *defaultTransport = HIDTransport::current();
        QVERIFY(defaultTransport);
        QVERIFY(defaultTransport != scripted.get());
        // No flight computer is attached to a build machine.
        QVERIFY(HIDDevice::findDevices(OKUFirmwareProductId, OKUFirmwareSeries, 0).isEmpty());
        QVERIFY(!defaultTransport->open(QStringLiteral("/dev/no-such-hidraw")));
        HIDTransport::setCurrent(scripted.get());
        QCOMPARE(HIDTransport::current(), scripted.get());
    }
};

QTEST_GUILESS_MAIN(TestHIDDevice)
#include "test_hiddevice.moc"
