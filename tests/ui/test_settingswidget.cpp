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

// What the editor rebuilds from its boxes away from the defaults, codes it
// does not know, and bytes it only carries.
OKUKIPOSettings unusualRecord()
{
    OKUKIPOSettings s;
    s.firmwareVersion = 530, s.pressureOffset = -17, s.deviceByte3 = 7, s.deviceByte4 = 9;
    for (int i = 0; i < 4; ++i)
        s.lineMode[i] = quint8(i + 1), s.lineTime[i] = quint16(i * 3333), s.lineAltitude[i] = quint16(80 + i * 21818);
    std::memcpy(s.callsign, "AB1CDE", 6);
    s.preApogeeWriteMultiple = 100;
    s.flags = 0x6D; // transmitter on, both pressure ignores, "2 kbps", automatic shutdown
    for (int i = 0; i < 16; ++i)
        s.writeRate[i] = quint8(i % 10 + 1);
    s.lineMode[3] = 9, s.writeRate[4] = 0; // codes the form does not know
    s.flags2 = 0x3E, s.remotePIN = 65535;
    s.updateChecksum();
    return s;
}

} // namespace

class TestSettingsWidget : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<SettingsWidget> m_widget;

    template <class T> T *child(const char *name) const { return m_widget->findChild<T *>(QLatin1String(name)); }

private slots:
    void initTestCase() { okukipo::setTraceTarget(okukipo::TraceTarget::Discard); }
    void init() { m_widget = std::make_unique<SettingsWidget>(); }

    void roundTripKeepsEveryByte()
    {
        for (const OKUKIPOSettings &record : {unusualRecord(), OKUKIPOSettings()}) {
            m_widget->setSettings(record);
            QCOMPARE(m_widget->getSettings().deviceBytes().toHex(' '), record.deviceBytes().toHex(' '));
        }
        m_widget->setSettings(unusualRecord());
        QCOMPARE(child<QComboBox>("lineDMode")->currentIndex(), -1);
    }

    void editedFieldsReachTheRecord()
    {
        m_widget->setSettings(unusualRecord());
        QCOMPARE(child<QDoubleSpinBox>("lineBTime")->value(), 333.3);
        QCOMPARE(child<QSpinBox>("lineBAltitude")->value(), 21898);
        child<QComboBox>("modulationFrequency")->setCurrentIndex(0);
        child<QCheckBox>("txOn")->setChecked(false);
        child<QCheckBox>("remotePad")->setChecked(false);
        child<QLineEdit>("HAMCallsign")->setText("K1");
        child<QLineEdit>("remotePIN")->setText("0815");
        const OKUKIPOSettings read = m_widget->getSettings();
        QCOMPARE(int(read.flags), 0x6D & ~0x30 & ~0x01);
        QCOMPARE(int(read.flags2), 0x3E & ~0x04);
        QCOMPARE(QByteArray(read.callsign, 6), QByteArray("K1\0\0\0\0", 6));
        QCOMPARE(quint16(read.remotePIN), quint16(815));
        QVERIFY(read.hasValidChecksum());
        // A PIN that is no 16-bit number is refused, and the stored one kept.
        for (const char *text : {"12a4", "-5", "70000"}) {
            child<QLineEdit>("remotePIN")->setText(text);
            QCOMPARE(m_widget->inputProblem(), QStringLiteral("The remote PIN must be a whole number from 0 to 65535."));
            QVERIFY(!child<QLabel>("remotePINProblem")->isHidden());
            QCOMPARE(quint16(m_widget->getSettings().remotePIN), quint16(65535));
        }
    }

    // A box clamps what it shows; what the user left alone goes back as
    // stored, and an edit writes what the user set.
    void storedValuesAreKeptAndEditsWritten_data()
    {
        QTest::addColumn<QString>("field");
        QTest::addColumn<int>("offset"); // of its low byte in the record
        QTest::addColumn<int>("width");
        QTest::addColumn<int>("stored");
        QTest::addColumn<double>("edited");
        QTest::addColumn<int>("written");
        QTest::newRow("lineTime") << "lineATime" << 13 << 2 << 12000 << 0.7 << 7;
        QTest::newRow("lineOnTime") << "lineAOnTime" << 9 << 1 << 0 << 2.3 << 23;
        QTest::newRow("lineDelay") << "lineADelay" << 29 << 2 << 5 << 6553.5 << 65535;
        // Metres also in imperial units.
        QTest::newRow("lineAltitude") << "lineAAltitude" << 21 << 2 << 50 << 1234.0 << 1234;
        QTest::newRow("minComputerVoltage") << "minComputerVoltage" << 37 << 1 << 30 << 8.4 << 84;
        QTest::newRow("padWriteMultiple") << "padWriteMultiple" << 45 << 1 << 200 << 7.0 << 7;
        QTest::newRow("lineStage") << "lineAStage" << 90 << 1 << 6 << 3.0 << 3;
    }

    void storedValuesAreKeptAndEditsWritten()
    {
        QFETCH(QString, field);
        QFETCH(int, offset);
        QFETCH(int, width);
        QFETCH(int, stored);
        QFETCH(double, edited);
        QFETCH(int, written);
        QByteArray bytes = OKUKIPOSettings().deviceBytes();
        const auto put = [&bytes, offset, width](int value) {
            bytes[offset] = char(value);
            if (width == 2)
                bytes[offset + 1] = char(value >> 8);
        };
        put(stored);
        m_widget->setMetric(false);
        m_widget->setSettings(OKUKIPOSettings::fromDeviceBytes(bytes));
        QCOMPARE(m_widget->getSettings().deviceBytes().left(97), bytes.left(97));
        m_widget->findChild<QWidget *>(field)->setProperty("value", edited);
        put(written);
        QCOMPARE(m_widget->getSettings().deviceBytes().left(97), bytes.left(97));
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
