#include "model/settings.h"

#include <QtTest>
#include <cstring>

class TestSettings : public QObject
{
    Q_OBJECT

private slots:
    void defaultRecordHasTheDeviceDefaults();
    void checksumSumsBytesPlusTheirIndex();
    void callsignOfSixCharactersIsNotTerminated();
    void deviceBytesRoundTrip();
    void shortDeviceBytesKeepDefaults();
    void encodesMaxAngle_data();
    void encodesMaxAngle();
    void decodesMaxAngle_data();
    void decodesMaxAngle();
    void angleSurvivesEncodeDecode();
};

void TestSettings::defaultRecordHasTheDeviceDefaults()
{
    const OKUKIPOSettings settings;
    const QByteArray bytes = settings.deviceBytes();
    QCOMPARE(bytes.size(), 99);
    QCOMPARE(bytes.left(30).toHex(' '),
             QByteArray("10 02 00 00 00 05 06 00 00 14 14 14 14 64 00 96 00 c8 00 c8 00 f4 01 96 00 64 00 64 00 00"));
    QCOMPARE(bytes.mid(38, 6), QByteArray("KIPO\0\0", 6));
    QCOMPARE(quint8(bytes.at(44)), quint8(0x92));
    QCOMPARE(bytes.mid(45, 4).toHex(), QByteArray("0a010100"));
    QCOMPARE(bytes.mid(49, 16), QByteArray(16, '\x01'));
    QCOMPARE(bytes.mid(65, 16).toHex(), QByteArray("01010000000205050505050000000001"));
    QCOMPARE(bytes.mid(81, 14).toHex(), QByteArray("00f0d8f0d8f0d8f0d80203040500"));
    QVERIFY(settings.hasValidChecksum());
    QVERIFY(!settings.valid);
    QCOMPARE(settings.modulationFrequencyMask & settings.flags, 0x10); // "1 kbps"
}

void TestSettings::checksumSumsBytesPlusTheirIndex()
{
    OKUKIPOSettings settings;
    std::memset(reinterpret_cast<char *>(&settings), 0xFF, OKUKIPOSettings::checksumOffset);
    // sum of (255 + i) for i = 0..96 = 97 * 255 + 4656 = 29391
    QCOMPARE(settings.computeChecksum(), quint16(29391));
    QVERIFY(!settings.hasValidChecksum());
    settings.updateChecksum();
    QCOMPARE(settings.deviceBytes().mid(97, 2).toHex(), QByteArray("cf72"));
    QVERIFY(settings.hasValidChecksum());
    // Changing any byte of the device image breaks it.
    settings.RFChannel = 7;
    QVERIFY(!settings.hasValidChecksum());
}

void TestSettings::callsignOfSixCharactersIsNotTerminated()
{
    OKUKIPOSettings settings;
    std::memcpy(settings.callsign, "ABCDEF", 6);
    const QByteArray bytes = settings.deviceBytes();
    QCOMPARE(bytes.mid(38, 6), QByteArray("ABCDEF"));
    QCOMPARE(quint8(bytes.at(44)), quint8(settings.flags));
}

void TestSettings::deviceBytesRoundTrip()
{
    OKUKIPOSettings settings;
    settings.lineMaxAngle[2] = OKUKIPOSettings::encodeMaxAngle(30);
    settings.remotePIN = 4321;
    settings.flags2 = OKUKIPOSettings::remotePad | OKUKIPOSettings::txGPSGate;
    settings.updateChecksum();
    settings.valid = true;
    const OKUKIPOSettings copy = OKUKIPOSettings::fromDeviceBytes(settings.deviceBytes());
    QCOMPARE(copy.deviceBytes(), settings.deviceBytes());
    QVERIFY(!copy.valid);
    QCOMPARE(quint16(copy.remotePIN), quint16(4321)); // a copy: packed fields may be misaligned
    QCOMPARE(settings.deviceBytes().mid(95, 2).toHex(), QByteArray("e110"));
}

void TestSettings::shortDeviceBytesKeepDefaults()
{
    const OKUKIPOSettings copy = OKUKIPOSettings::fromDeviceBytes(QByteArray::fromHex("1102"));
    QCOMPARE(quint16(copy.firmwareVersion), quint16(0x0211));
    QCOMPARE(copy.deviceBytes().mid(2), OKUKIPOSettings().deviceBytes().mid(2));
}

void TestSettings::encodesMaxAngle_data()
{
    QTest::addColumn<float>("degrees");
    QTest::addColumn<int>("stored");
    QTest::newRow("180 no limit") << 180.0f << -10000;
    QTest::newRow("90") << 90.0f << 0;
    QTest::newRow("0") << 0.0f << 10000;
    QTest::newRow("60") << 60.0f << 5000;
    QTest::newRow("120 rounds half up") << 120.0f << -5000;
    QTest::newRow("45") << 45.0f << 7071;
    QTest::newRow("135") << 135.0f << -7071;
}

void TestSettings::encodesMaxAngle()
{
    QFETCH(float, degrees);
    QFETCH(int, stored);
    QCOMPARE(int(OKUKIPOSettings::encodeMaxAngle(degrees)), stored);
}

void TestSettings::decodesMaxAngle_data()
{
    QTest::addColumn<int>("stored");
    QTest::addColumn<int>("degrees");
    QTest::newRow("-10000 is 180") << -10000 << 180;
    QTest::newRow("0 is 90") << 0 << 90;
    QTest::newRow("10000 is 0") << 10000 << 0;
    QTest::newRow("7071 is 45") << 7071 << 45;
    QTest::newRow("out of range low stays 180") << -32768 << 180;
    QTest::newRow("out of range high stays 0") << 32767 << 0;
}

void TestSettings::decodesMaxAngle()
{
    QFETCH(int, stored);
    QFETCH(int, degrees);
    QCOMPARE(OKUKIPOSettings::decodeMaxAngle(qint16(stored)), degrees);
}

void TestSettings::angleSurvivesEncodeDecode()
{
    for (int degrees = 0; degrees <= 180; ++degrees)
        QCOMPARE(OKUKIPOSettings::decodeMaxAngle(OKUKIPOSettings::encodeMaxAngle(float(degrees))), degrees);
}

QTEST_GUILESS_MAIN(TestSettings)
#include "test_settings.moc"
