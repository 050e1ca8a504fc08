#include "device/hidapitransport.h"
#include "device/hiddevice.h"
#include "scriptedtransport.h"

#include <QtTest>

class TestHIDDevice : public QObject
{
    Q_OBJECT

private slots:
    void versionMaskSelectsTheFirmwareSeries()
    {
        ScriptedSession session;
        session.transport.devices = {{"/old", OKUVendorId, OKUFirmwareProductId, 0x0215},
                                     {"/new", OKUVendorId, OKUFirmwareProductId, 0x022F},
                                     {"/mouse", 0x046D, OKUFirmwareProductId, 0x0221},
                                     {"/boot", OKUVendorId, OKUBootloaderProductId, 0x0200}};
        const auto series = HIDDevice::findDevices(OKUFirmwareProductId, 0x0220, 0xFFF0);
        QCOMPARE(series.size(), 1);
        QCOMPARE(series.first().path, QStringLiteral("/new"));
        QCOMPARE(HIDDevice::findDevices(OKUFirmwareProductId, 0x0220, 0).size(), 2);
        QCOMPARE(versionText(0x020A), QStringLiteral("2.0a"));
    }

    void opensOnceAndMovesNothingClosed()
    {
        ScriptedSession session;
        HIDDevice device;
        HIDReport report{};
        QVERIFY(!device.writeReport(report, 1));
        QVERIFY(device.open());
        QVERIFY(device.open());
        QCOMPARE(session.transport.opens, 1);
        QCOMPARE(session.transport.inputBufferCount, 200);
        QVERIFY(!device.readReport(report, 1));
        QCOMPARE(session.traced, QStringList({"failed to rx"}));
        device.close();
        session.transport.failOpen = true;
        QVERIFY(!device.open());
        QCOMPARE(session.traced.mid(1), QStringList({"Cant get USB file handle. The file is locked.",
                                                     "Invalid read handle.", "Invalid write handle."}));
    }

    // hidapi takes the report ID as the first byte written and leaves it
    // out of what it reads for a device without numbered reports.
    void hidapiFraming()
    {
        HIDReport report;
        for (int i = 0; i < HIDReportSize; ++i)
            report[size_t(i)] = quint8(i + 7);
        const hidapiframing::OutputBuffer written = hidapiframing::outputBuffer(report);
        QCOMPARE(int(written.size()), 65);
        QCOMPARE(written[0], quint8(0));
        QCOMPARE(written[1], quint8(8));
        QCOMPARE(written[64], quint8(71));

        const unsigned char read[64] = {0x21, 0x01, 0x02};
        const HIDReport full = hidapiframing::inputReport(read, 64);
        QCOMPARE(full[0], quint8(0));
        QCOMPARE(full[1], quint8(0x21));
        QCOMPARE(full[3], quint8(0x02));
        const HIDReport cut = hidapiframing::inputReport(read, 2);
        QCOMPARE(cut[2], quint8(0x01));
        QCOMPARE(cut[3], quint8(0));
    }

    void theHidapiBackendIsTheDefault()
    {
        HIDTransport *hidapi = HIDTransport::current();
        QVERIFY(qobject_cast<HIDAPITransport *>(hidapi));
        QVERIFY(!hidapi->open(QStringLiteral("/dev/no-such-hidraw")));
        // Only a hidraw node that is there yet closed to the user is explained.
        QCOMPARE(hidapi->openFailureAdvice(QStringLiteral("/dev/no-such-hidraw")), QString());
    }
};

QTEST_GUILESS_MAIN(TestHIDDevice)
#include "test_hiddevice.moc"
