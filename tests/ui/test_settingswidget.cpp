#include "model/trace.h"
#include "ui/settingswidget.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QLabel>
#include <QLineEdit>
#include <QSpinBox>
#include <QtTest>
#include <cstring>

namespace {

// Every field away from its default, and values at the ends of the ranges.
OKUKIPOSettings unusualRecord()
{
    OKUKIPOSettings s;
    s.firmwareVersion = 530;
    s.pressureOffset = -17;
    s.deviceByte3 = 7;
    s.deviceByte4 = 9;
    for (int i = 0; i < 4; ++i) {
        s.lineMode[i] = quint8(i + 1);
        s.lineOnTime[i] = quint8(1 + i * 84);       // 0.1 to 25.3 s
        s.lineTime[i] = quint16(i * 3333);          // up to 999.9 s
        s.lineAltitude[i] = quint16(80 + i * 21818); // up to 65534 m
        s.lineDelay[i] = quint16(i * 21845);         // up to 6553.5 s
        s.lineMaxAngle[i] = OKUKIPOSettings::encodeMaxAngle(float(i * 45));
        s.lineStage[i] = quint8(5 - i);
    }
    s.minComputerVoltage = 35;
    std::memcpy(s.callsign, "AB1CDE", 6);
    s.flags = 0x6D; // transmitter on, both pressure ignores, "2 kbps", automatic shutdown
    s.padWriteMultiple = 0;
    s.preApogeeWriteMultiple = 100;
    for (int i = 0; i < 16; ++i) {
        s.writeRate[i] = quint8(i % 10 + 1);
        s.txPriority[i] = quint8(i * 17);
    }
    s.RFChannel = 201;
    s.flags2 = 0x3E;
    s.remotePIN = 65535;
    s.updateChecksum();
    return s;
}

} // namespace

class TestSettingsWidget : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<SettingsWidget> m_widget;

    template <class T> T *child(const QString &name) const
    {
        T *found = m_widget->findChild<T *>(name);
        if (!found)
            qFatal("the editor has no %s named %s", T::staticMetaObject.className(), qPrintable(name));
        return found;
    }

    void selectMode(int line, int mode) const
    {
        auto *box = child<QComboBox>(QStringLiteral("line%1Mode").arg(QChar('A' + line)));
        box->setCurrentIndex(box->findData(mode));
    }

private slots:
    void init()
    {
        okukipo::setTraceHandler([](const QString &) {});
        m_widget = std::make_unique<SettingsWidget>();
    }

    void cleanup()
    {
        m_widget.reset();
        okukipo::setTraceHandler({});
    }

    void roundTripKeepsEveryByte()
    {
        for (const OKUKIPOSettings &record : {unusualRecord(), OKUKIPOSettings()}) {
            m_widget->setSettings(record);
            const OKUKIPOSettings read = m_widget->getSettings();
            QCOMPARE(read.deviceBytes().toHex(' '), record.deviceBytes().toHex(' '));
            QVERIFY(!read.valid);
        }
    }

    void editedFieldsReachTheRecord()
    {
        m_widget->setSettings(unusualRecord());
        QCOMPARE(child<QDoubleSpinBox>("lineBTime")->value(), 333.3);
        child<QDoubleSpinBox>("minComputerVoltage")->setValue(8.4);
        child<QDoubleSpinBox>("lineATime")->setValue(0.7);
        child<QDoubleSpinBox>("lineAOnTime")->setValue(2.3);
        child<QDoubleSpinBox>("lineADelay")->setValue(6553.5);
        child<QSpinBox>("lineAAltitude")->setValue(1234);
        child<QComboBox>("modulationFrequency")->setCurrentIndex(0);
        child<QCheckBox>("txOn")->setChecked(false);
        child<QCheckBox>("remotePad")->setChecked(false);
        child<QLineEdit>("HAMCallsign")->setText("K1");
        child<QLineEdit>("remotePIN")->setText("0815");
        const OKUKIPOSettings read = m_widget->getSettings();
        QCOMPARE(read.minComputerVoltage, quint8(84));
        QCOMPARE(quint16(read.lineTime[0]), quint16(7));
        QCOMPARE(read.lineOnTime[0], quint8(23));
        QCOMPARE(quint16(read.lineDelay[0]), quint16(65535));
        QCOMPARE(quint16(read.lineAltitude[0]), quint16(1234));
        QCOMPARE(int(read.flags), 0x6D & ~0x30 & ~0x01);
        QCOMPARE(int(read.flags2), 0x3E & ~0x04);
        QCOMPARE(QByteArray(read.callsign, 6), QByteArray("K1\0\0\0\0", 6));
        QCOMPARE(quint16(read.remotePIN), quint16(815));
        QVERIFY(read.hasValidChecksum());
    }

    // A box clamps what it shows; what the user left alone goes back as
    // stored, and an edit writes what the user set.
    void storedValuesOutsideTheRangesAreKept_data()
    {
        QTest::addColumn<QString>("field");
        QTest::addColumn<int>("offset"); // of its byte in the record
        QTest::addColumn<int>("stored");
        QTest::addColumn<double>("edited");
        QTest::addColumn<int>("written");
        QTest::newRow("lineTime") << "lineATime" << 13 << 12000 << 12.5 << 125;
        QTest::newRow("lineOnTime") << "lineAOnTime" << 9 << 0 << 0.4 << 4;
        QTest::newRow("minComputerVoltage") << "minComputerVoltage" << 37 << 30 << 4.0 << 40;
        QTest::newRow("padWriteMultiple") << "padWriteMultiple" << 45 << 200 << 7.0 << 7;
        QTest::newRow("lineStage") << "lineAStage" << 90 << 6 << 3.0 << 3;
    }

    void storedValuesOutsideTheRangesAreKept()
    {
        QFETCH(QString, field);
        QFETCH(int, offset);
        QFETCH(int, stored);
        QFETCH(double, edited);
        QFETCH(int, written);
        QByteArray bytes = OKUKIPOSettings().deviceBytes();
        bytes[offset] = char(stored & 0xFF);
        if (stored > 255)
            bytes[offset + 1] = char(stored >> 8);
        const OKUKIPOSettings record = OKUKIPOSettings::fromDeviceBytes(bytes);
        m_widget->setSettings(record);
        QCOMPARE(m_widget->getSettings().deviceBytes().left(97), bytes.left(97));
        child<QWidget>(field)->setProperty("value", edited);
        bytes[offset] = char(written);
        bytes[offset + 1] = stored > 255 ? '\0' : bytes[offset + 1];
        QCOMPARE(m_widget->getSettings().deviceBytes().left(97), bytes.left(97));
    }

    void lineAltitudesAreMetresInEveryNumberSystem()
    {
        m_widget->setMetric(false);
        OKUKIPOSettings record;
        record.lineAltitude[0] = 500;
        m_widget->setSettings(record);
        QCOMPARE(child<QSpinBox>("lineAAltitude")->value(), 500);
        QCOMPARE(child<QSpinBox>("lineAAltitude")->suffix(), QStringLiteral(" m"));
        child<QSpinBox>("lineAAltitude")->setValue(1000);
        QCOMPARE(quint16(m_widget->getSettings().lineAltitude[0]), quint16(1000));
    }

    void angleLimit()
    {
        OKUKIPOSettings record;
        record.lineMode[0] = record.lineMode[1] = OKUKIPOSettings::PeakVelocity;
        record.lineMaxAngle[0] = -10000;
        record.lineMaxAngle[1] = OKUKIPOSettings::encodeMaxAngle(45);
        m_widget->setSettings(record);
        QVERIFY(!child<QCheckBox>("maxAngleAEnabled")->isChecked());
        QVERIFY(!child<QSpinBox>("lineAMaxAngle")->isEnabled());
        QVERIFY(child<QSpinBox>("lineBMaxAngle")->isEnabled());
        child<QSpinBox>("lineBMaxAngle")->setValue(90);
        QCOMPARE(qint16(m_widget->getSettings().lineMaxAngle[1]), qint16(0));
        // Cleared, the limit is off even while the box still shows an angle.
        child<QCheckBox>("maxAngleBEnabled")->setChecked(false);
        QCOMPARE(qint16(m_widget->getSettings().lineMaxAngle[1]), qint16(-10000));
    }

    void codesTheFormDoesNotKnowAreKept()
    {
        OKUKIPOSettings record;
        record.lineMode[3] = 9;
        record.writeRate[4] = 0;
        m_widget->setSettings(record);
        QCOMPARE(child<QComboBox>("lineDMode")->currentIndex(), -1);
        const OKUKIPOSettings read = m_widget->getSettings();
        QCOMPARE(read.lineMode[3], quint8(9));
        QCOMPARE(read.writeRate[4], quint8(0));
        QVERIFY(child<QLabel>("possiblePreApogeeTime")->text().endsWith(" hours"));
    }

    void pinThatIsNotANumberIsRefused_data()
    {
        QTest::addColumn<QString>("text");
        QTest::newRow("letters") << "12a4";
        QTest::newRow("negative") << "-5";
        QTest::newRow("too large for 16 bits") << "70000";
    }

    void pinThatIsNotANumberIsRefused()
    {
        QFETCH(QString, text);
        OKUKIPOSettings record;
        record.remotePIN = 4711;
        m_widget->setSettings(record);
        child<QLineEdit>("remotePIN")->setText(text);
        const QString message("The remote PIN must be a whole number from 0 to 65535.");
        QCOMPARE(m_widget->inputProblem(), message);
        QVERIFY(!child<QLabel>("remotePINProblem")->isHidden());
        QCOMPARE(quint16(m_widget->getSettings().remotePIN), quint16(4711));
    }

    void lineModeEnablesItsFields_data()
    {
        QTest::addColumn<int>("mode");
        QTest::addColumn<bool>("time");
        QTest::addColumn<bool>("altitude");
        QTest::addColumn<bool>("peak");   // stage, angle check box and (checked) angle
        QTest::addColumn<bool>("firing"); // on time and delay
        QTest::newRow("Disabled") << 0 << false << false << false << false;
        QTest::newRow("Input") << 1 << false << false << false << false;
        QTest::newRow("Time") << 2 << true << false << false << true;
        QTest::newRow("Peak velocity") << 3 << false << false << true << true;
        QTest::newRow("Climb altitude") << 4 << false << true << false << true;
        QTest::newRow("Apogee") << 5 << false << false << false << true;
        QTest::newRow("Altitude after apogee") << 6 << false << true << false << true;
    }

    void lineModeEnablesItsFields()
    {
        QFETCH(int, mode);
        OKUKIPOSettings record;
        record.lineMaxAngle[1] = OKUKIPOSettings::encodeMaxAngle(60);
        m_widget->setSettings(record);
        selectMode(1, mode == 0 ? 5 : 0);
        selectMode(1, mode);
        QTEST(child<QDoubleSpinBox>("lineBTime")->isEnabled(), "time");
        QTEST(child<QSpinBox>("lineBAltitude")->isEnabled(), "altitude");
        QTEST(child<QSpinBox>("lineBStage")->isEnabled(), "peak");
        QTEST(child<QSpinBox>("lineBMaxAngle")->isEnabled(), "peak");
        QTEST(child<QDoubleSpinBox>("lineBOnTime")->isEnabled(), "firing");
        QTEST(child<QDoubleSpinBox>("lineBDelay")->isEnabled(), "firing");
        QVERIFY(child<QDoubleSpinBox>("lineAOnTime")->isEnabled()); // line A stays "Apogee"
    }

    // Default dividers all 1: bytes per second are the sum of (payload + 2) /
    // base period, 75 + 400 + 600 + 800 + 80 + 250 + 8 + 40 + 40 + 18 + 40 +
    // 4 x 80 + 230 = 2901.  The flash holds 4128768 / 2901 = 1423.2 s per unit
    // of write multiple.
    void estimateOfTheDefaultRecord()
    {
        m_widget->setSettings(OKUKIPOSettings()); // multiples 10, 1, 1, 0
        QCOMPARE(child<QLabel>("possiblePadTime")->text(), QString("4.0 hours"));
        QCOMPARE(child<QLabel>("possiblePreApogeeTime")->text(), QString("0.4 hours"));
        QCOMPARE(child<QLabel>("possibleGroundTime")->text(), QString("Unlimited"));
        // X/Y acceleration every 100 ms instead of 10 ms: 2901 - 600 + 60 = 2361 bytes per second.
        child<QComboBox>("WriteRateACCELXY")->setCurrentIndex(9);
        QCOMPARE(child<QLabel>("possiblePreApogeeTime")->text(), QString("0.5 hours"));
        QCOMPARE(m_widget->getSettings().writeRate[2], quint8(10));
    }
};

QTEST_MAIN(TestSettingsWidget)
#include "test_settingswidget.moc"
