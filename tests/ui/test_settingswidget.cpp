#include "model/trace.h"
#include "ui/recordingestimate.h"
#include "ui/settingswidget.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QLabel>
#include <QLineEdit>
#include <QSpinBox>
#include <QtTest>
#include <algorithm>
#include <cstring>

namespace {

const QStringList typeKeys{"GPSLLSOL", "ACCELZ", "ACCELXY", "GYROXYZ", "MAGXYZ", "PRESSURE", "TEMP", "BATEJECT",
                           "BATCOMP", "GPSTIME", "STATUS", "LINEA", "LINEB", "LINEC", "LINED", "ORIENTATION"};
const QStringList phaseLabels{"possiblePadTime", "possiblePreApogeeTime", "possiblePostApogeeTime",
                              "possibleGroundTime"};
const QStringList multipleBoxes{"padWriteMultiple", "preApogeeWriteMultiple", "postApogeeWriteMultiple",
                                "groundWriteMultiple"};

// Every field away from its default, and values at the ends of the ranges.
OKUKIPOSettings unusualRecord()
{
    OKUKIPOSettings s;
    s.firmwareVersion = 530;
    s.pressureOffset = -17;
    s.deviceByte3 = 7;
    s.deviceByte4 = 9;
    const quint8 modes[4] = {OKUKIPOSettings::Time, OKUKIPOSettings::PeakVelocity, OKUKIPOSettings::ClimbAltitude,
                             OKUKIPOSettings::Input};
    const quint8 onTimes[4] = {1, 15, 255, 99};
    const quint16 times[4] = {0, 1234, 10000, 7};
    const quint16 altitudes[4] = {80, 65535, 1234, 999};
    const quint16 delays[4] = {0, 5, 65535, 300};
    const qint16 angles[4] = {OKUKIPOSettings::encodeMaxAngle(180), OKUKIPOSettings::encodeMaxAngle(30),
                              OKUKIPOSettings::encodeMaxAngle(0), OKUKIPOSettings::encodeMaxAngle(135)};
    const quint8 stages[4] = {5, 4, 3, 2};
    for (int i = 0; i < 4; ++i) {
        s.lineMode[i] = modes[i];
        s.lineOnTime[i] = onTimes[i];
        s.lineTime[i] = times[i];
        s.lineAltitude[i] = altitudes[i];
        s.lineDelay[i] = delays[i];
        s.lineMaxAngle[i] = angles[i];
        s.lineStage[i] = stages[i];
    }
    s.minComputerVoltage = 35;
    std::memcpy(s.callsign, "AB1CDE", 6);
    // Transmitter on, both pressure ignores, "2 kbps", automatic shutdown; no cut-off, no flash.
    s.flags = 0x6D;
    s.padWriteMultiple = 0;
    s.preApogeeWriteMultiple = 100;
    s.postApogeeWriteMultiple = 7;
    s.groundWriteMultiple = 3;
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

QString hoursText(double seconds)
{
    return QString::number(seconds / 3600.0, 'f', 1) + " hours";
}

} // namespace

class TestSettingsWidget : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void startsWithTheFormsInitialTexts();
    void fillsTheChoiceLists();
    void writeRateItemsAreMultiplesOfTheBasePeriod();
    void fieldsHaveTheRangesTheRecordCanHold();
    void roundTripKeepsEveryByte();
    void roundTripKeepsTheDefaultRecord();
    void bytesTheFormDoesNotShowGoBackAsTheyCame();
    void tenthsAreShownAsDecimals();
    void eachCheckBoxSetsItsOwnFlag_data();
    void eachCheckBoxSetsItsOwnFlag();
    void dataRateGoesToFlagBitsFourAndFive();
    void callSignFillsSixBytes();
    void maxAngleBoxFollowsTheStoredAngle();
    void clearedAngleLimitIsStoredAsNoLimit();
    void codesTheFormDoesNotKnowAreKept();
    void pinIsReadAsDecimal();
    void pinThatIsNotANumberIsRefused_data();
    void pinThatIsNotANumberIsRefused();
    void lineModeEnablesItsFields_data();
    void lineModeEnablesItsFields();
    void angleBoxFollowsItsCheckBoxInPeakVelocityMode();
    void linesAreIndependent();
    void estimateOfTheDefaultRecord();
    void estimateFollowsWriteRatesAndMultiples();
    void estimateFunctions();
    void imperialShowsAltitudesInFeet();
    void imperialRoundTripKeepsEveryAltitude();
    void switchingUnitsKeepsTheAltitude();
    void setSettingsIsTraced();

private:
    template<class T> T *child(const QString &name) const;
    void selectMode(int line, int mode) const;

    std::unique_ptr<SettingsWidget> m_widget;
    QStringList m_trace;
};

template<class T> T *TestSettingsWidget::child(const QString &name) const
{
    T *found = m_widget->findChild<T *>(name);
    if (!found)
        qFatal("the editor has no %s named %s", T::staticMetaObject.className(), qPrintable(name));
    return found;
}

void TestSettingsWidget::selectMode(int line, int mode) const
{
    auto *box = child<QComboBox>(QStringLiteral("line%1Mode").arg(QChar('A' + line)));
    box->setCurrentIndex(box->findData(mode));
}

void TestSettingsWidget::init()
{
    m_trace.clear();
    okukipo::setTraceHandler([this](const QString &line) { m_trace << line; });
    m_widget = std::make_unique<SettingsWidget>();
}

void TestSettingsWidget::cleanup()
{
    m_widget.reset();
    okukipo::setTraceHandler({});
}

void TestSettingsWidget::startsWithTheFormsInitialTexts()
{
    QCOMPARE(child<QLineEdit>("HAMCallsign")->text(), QString("KIPO00"));
    const QString pin = child<QLineEdit>("remotePIN")->text();
    QCOMPARE(pin, QString::number(OKUKIPOSettings().remotePIN));
    QCOMPARE(pin.size(), 4);
    QVERIFY(child<QLabel>("remotePINProblem")->isHidden());
    QVERIFY(m_widget->isMetric());
    QVERIFY(m_widget->inputProblem().isEmpty());
    // Nothing is traced until a record is loaded.
    QVERIFY(m_trace.isEmpty());
}

void TestSettingsWidget::fillsTheChoiceLists()
{
    const QStringList modes{"Disabled", "Input", "Time", "Peak velocity", "Climb altitude", "Apogee",
                            "Altitude after apogee"};
    for (QChar line : QString("ABCD")) {
        auto *box = child<QComboBox>(QStringLiteral("line%1Mode").arg(line));
        QCOMPARE(box->count(), modes.size());
        for (int i = 0; i < modes.size(); ++i) {
            QCOMPARE(box->itemText(i), modes[i]);
            QCOMPARE(box->itemData(i).toInt(), i);
        }
    }
    const QStringList rates{"500 bps", "1 kbps", "2 kbps", "4 kbps"};
    auto *rate = child<QComboBox>("modulationFrequency");
    QCOMPARE(rate->count(), rates.size());
    for (int i = 0; i < rates.size(); ++i) {
        QCOMPARE(rate->itemText(i), rates[i]);
        QCOMPARE(rate->itemData(i).toInt(), i);
    }
}

void TestSettingsWidget::writeRateItemsAreMultiplesOfTheBasePeriod()
{
    const int basePeriods[16] = {200, 10, 10, 10, 100, 20, 500, 100, 100, 500, 100, 50, 50, 50, 50, 100};
    for (int type = 0; type < 16; ++type) {
        auto *box = child<QComboBox>("WriteRate" + typeKeys[type]);
        QCOMPARE(box->count(), 10);
        for (int i = 0; i < 10; ++i) {
            QCOMPARE(box->itemData(i).toInt(), i + 1);
            QCOMPARE(box->itemText(i), QStringLiteral("%1 ms").arg(basePeriods[type] * (i + 1)));
        }
        child<QSpinBox>("txPriority" + typeKeys[type]);
    }
    QCOMPARE(child<QComboBox>("WriteRateGPSLLSOL")->itemText(9), QString("2000 ms"));
}

void TestSettingsWidget::fieldsHaveTheRangesTheRecordCanHold()
{
    auto *voltage = child<QDoubleSpinBox>("minComputerVoltage");
    QCOMPARE(voltage->minimum(), 3.5);
    QCOMPARE(voltage->maximum(), 8.4);
    QCOMPARE(voltage->decimals(), 1);
    QCOMPARE(voltage->suffix(), QString(" V"));
    QCOMPARE(child<QLineEdit>("HAMCallsign")->maxLength(), 6);
    QCOMPARE(child<QSpinBox>("RFChannel")->maximum(), 255);
    for (QChar line : QString("ABCD")) {
        auto *time = child<QDoubleSpinBox>(QStringLiteral("line%1Time").arg(line));
        QCOMPARE(time->minimum(), 0.0);
        QCOMPARE(time->maximum(), 1000.0);
        QCOMPARE(time->decimals(), 1);
        QCOMPARE(time->suffix(), QString(" s"));
        auto *altitude = child<QSpinBox>(QStringLiteral("line%1Altitude").arg(line));
        QCOMPARE(altitude->minimum(), 80);
        // The record holds 16-bit metres.
        QCOMPARE(altitude->maximum(), 65535);
        QCOMPARE(altitude->suffix(), QString(" m"));
        auto *stage = child<QSpinBox>(QStringLiteral("line%1Stage").arg(line));
        QCOMPARE(stage->minimum(), 2);
        QCOMPARE(stage->maximum(), 5);
        auto *angle = child<QSpinBox>(QStringLiteral("line%1MaxAngle").arg(line));
        QCOMPARE(angle->minimum(), 0);
        QCOMPARE(angle->maximum(), 180);
        QCOMPARE(angle->suffix(), QString("°"));
        auto *onTime = child<QDoubleSpinBox>(QStringLiteral("line%1OnTime").arg(line));
        QCOMPARE(onTime->minimum(), 0.1);
        QCOMPARE(onTime->maximum(), 25.5);
        QCOMPARE(onTime->decimals(), 1);
        auto *delay = child<QDoubleSpinBox>(QStringLiteral("line%1Delay").arg(line));
        QCOMPARE(delay->minimum(), 0.0);
        QCOMPARE(delay->maximum(), 6553.5);
        QCOMPARE(delay->decimals(), 1);
        child<QCheckBox>(QStringLiteral("maxAngle%1Enabled").arg(line));
    }
    for (const QString &name : multipleBoxes) {
        QCOMPARE(child<QSpinBox>(name)->minimum(), 0);
        QCOMPARE(child<QSpinBox>(name)->maximum(), 100);
    }
}

void TestSettingsWidget::roundTripKeepsEveryByte()
{
    const OKUKIPOSettings record = unusualRecord();
    m_widget->setSettings(record);
    const OKUKIPOSettings read = m_widget->getSettings();
    QCOMPARE(read.deviceBytes().toHex(' '), record.deviceBytes().toHex(' '));
    QVERIFY(read.hasValidChecksum());
}

void TestSettingsWidget::roundTripKeepsTheDefaultRecord()
{
    const OKUKIPOSettings record;
    m_widget->setSettings(record);
    QCOMPARE(m_widget->getSettings().deviceBytes().toHex(' '), record.deviceBytes().toHex(' '));
}

// Writing edited settings must not undo the pressure calibration the device
// keeps in byte 2, nor its own bytes 3 and 4.
void TestSettingsWidget::bytesTheFormDoesNotShowGoBackAsTheyCame()
{
    OKUKIPOSettings record;
    record.firmwareVersion = 612;
    record.pressureOffset = -42;
    record.deviceByte3 = 0xA5;
    record.deviceByte4 = 0x5A;
    record.valid = true;
    record.updateChecksum();
    m_widget->setSettings(record);
    child<QSpinBox>("RFChannel")->setValue(17);
    const OKUKIPOSettings edited = m_widget->getSettings();
    QCOMPARE(quint16(edited.firmwareVersion), quint16(612));
    QCOMPARE(edited.pressureOffset, qint8(-42));
    QCOMPARE(edited.deviceByte3, quint8(0xA5));
    QCOMPARE(edited.deviceByte4, quint8(0x5A));
    QCOMPARE(edited.RFChannel, quint8(17));
    QVERIFY(edited.hasValidChecksum());
    QVERIFY(!edited.valid);
}

void TestSettingsWidget::tenthsAreShownAsDecimals()
{
    m_widget->setSettings(unusualRecord());
    QCOMPARE(child<QDoubleSpinBox>("minComputerVoltage")->value(), 3.5);
    QCOMPARE(child<QDoubleSpinBox>("lineBTime")->value(), 123.4);
    QCOMPARE(child<QDoubleSpinBox>("lineCOnTime")->value(), 25.5);
    QCOMPARE(child<QDoubleSpinBox>("lineDDelay")->value(), 30.0);
    QCOMPARE(child<QSpinBox>("lineBAltitude")->value(), 65535);

    child<QDoubleSpinBox>("minComputerVoltage")->setValue(8.4);
    child<QDoubleSpinBox>("lineATime")->setValue(0.7);
    child<QDoubleSpinBox>("lineAOnTime")->setValue(2.3);
    child<QDoubleSpinBox>("lineADelay")->setValue(6553.5);
    const OKUKIPOSettings read = m_widget->getSettings();
    QCOMPARE(read.minComputerVoltage, quint8(84));
    QCOMPARE(quint16(read.lineTime[0]), quint16(7));
    QCOMPARE(read.lineOnTime[0], quint8(23));
    QCOMPARE(quint16(read.lineDelay[0]), quint16(65535));
}

void TestSettingsWidget::eachCheckBoxSetsItsOwnFlag_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("inFlags2");
    QTest::addColumn<int>("bit");
    QTest::newRow("txOn") << "txOn" << false << 0;
    QTest::newRow("writeFlash") << "writeFlash" << false << 1;
    QTest::newRow("ignorePressurePreApogee") << "ignorePressurePreApogee" << false << 2;
    QTest::newRow("ignorePressurePostApogee") << "ignorePressurePostApogee" << false << 3;
    QTest::newRow("autoShutdown") << "autoShutdown" << false << 6;
    QTest::newRow("LVCCuttoff") << "LVCCuttoff" << false << 7;
    QTest::newRow("txGPSGate") << "txGPSGate" << true << 1;
    QTest::newRow("remotePad") << "remotePad" << true << 2;
    QTest::newRow("remoteAccent") << "remoteAccent" << true << 3;
    QTest::newRow("remoteDecent") << "remoteDecent" << true << 4;
    QTest::newRow("remoteGround") << "remoteGround" << true << 5;
}

void TestSettingsWidget::eachCheckBoxSetsItsOwnFlag()
{
    QFETCH(QString, name);
    QFETCH(bool, inFlags2);
    QFETCH(int, bit);
    OKUKIPOSettings cleared;
    cleared.flags = 0; // also "500 bps"
    cleared.flags2 = 0;
    m_widget->setSettings(cleared);
    QVERIFY(!child<QCheckBox>(name)->isChecked());
    child<QCheckBox>(name)->setChecked(true);
    const OKUKIPOSettings read = m_widget->getSettings();
    QCOMPARE(int(inFlags2 ? read.flags2 : read.flags), 1 << bit);
    QCOMPARE(int(inFlags2 ? read.flags : read.flags2), 0);

    OKUKIPOSettings set;
    (inFlags2 ? set.flags2 : set.flags) = quint8(1 << bit);
    m_widget->setSettings(set);
    QVERIFY(child<QCheckBox>(name)->isChecked());
}

void TestSettingsWidget::dataRateGoesToFlagBitsFourAndFive()
{
    OKUKIPOSettings record;
    record.flags = 0x30; // "4 kbps"
    m_widget->setSettings(record);
    QCOMPARE(child<QComboBox>("modulationFrequency")->currentText(), QString("4 kbps"));
    child<QComboBox>("modulationFrequency")->setCurrentIndex(0);
    QCOMPARE(int(m_widget->getSettings().flags), 0x00);
    child<QComboBox>("modulationFrequency")->setCurrentIndex(2);
    QCOMPARE(int(m_widget->getSettings().flags), 0x20);
}

void TestSettingsWidget::callSignFillsSixBytes()
{
    OKUKIPOSettings record;
    m_widget->setSettings(record);
    QCOMPARE(child<QLineEdit>("HAMCallsign")->text(), QString("KIPO"));

    child<QLineEdit>("HAMCallsign")->setText("VE3XYZ");
    QCOMPARE(QByteArray(m_widget->getSettings().callsign, 6), QByteArray("VE3XYZ"));
    child<QLineEdit>("HAMCallsign")->setText("K1");
    QCOMPARE(QByteArray(m_widget->getSettings().callsign, 6), QByteArray("K1\0\0\0\0", 6));

    // Six stored characters have no terminating zero.
    std::memcpy(record.callsign, "OKUKIP", 6);
    m_widget->setSettings(record);
    QCOMPARE(child<QLineEdit>("HAMCallsign")->text(), QString("OKUKIP"));

    // Typing cannot make the call sign longer than the record holds.
    child<QLineEdit>("HAMCallsign")->clear();
    QTest::keyClicks(child<QLineEdit>("HAMCallsign"), "ABCDEFGH");
    QCOMPARE(child<QLineEdit>("HAMCallsign")->text(), QString("ABCDEF"));
}

void TestSettingsWidget::maxAngleBoxFollowsTheStoredAngle()
{
    OKUKIPOSettings record;
    record.lineMode[0] = OKUKIPOSettings::PeakVelocity;
    record.lineMode[1] = OKUKIPOSettings::PeakVelocity;
    record.lineMaxAngle[0] = -10000;
    record.lineMaxAngle[1] = OKUKIPOSettings::encodeMaxAngle(45);
    m_widget->setSettings(record);

    QVERIFY(!child<QCheckBox>("maxAngleAEnabled")->isChecked());
    QVERIFY(!child<QSpinBox>("lineAMaxAngle")->isEnabled());
    QCOMPARE(child<QSpinBox>("lineAMaxAngle")->value(), 180);

    QVERIFY(child<QCheckBox>("maxAngleBEnabled")->isChecked());
    QVERIFY(child<QSpinBox>("lineBMaxAngle")->isEnabled());
    QCOMPARE(child<QSpinBox>("lineBMaxAngle")->value(), 45);

    child<QSpinBox>("lineBMaxAngle")->setValue(90);
    QCOMPARE(qint16(m_widget->getSettings().lineMaxAngle[1]), qint16(0));
    child<QSpinBox>("lineBMaxAngle")->setValue(0);
    QCOMPARE(qint16(m_widget->getSettings().lineMaxAngle[1]), qint16(10000));
}

// Clearing the check box switches the limit off even when the angle box
// still shows a smaller angle: the device must not keep enforcing it.
void TestSettingsWidget::clearedAngleLimitIsStoredAsNoLimit()
{
    OKUKIPOSettings record;
    record.lineMode[2] = OKUKIPOSettings::PeakVelocity;
    record.lineMaxAngle[2] = OKUKIPOSettings::encodeMaxAngle(20);
    m_widget->setSettings(record);
    child<QCheckBox>("maxAngleCEnabled")->setChecked(false);
    QCOMPARE(child<QSpinBox>("lineCMaxAngle")->value(), 20);
    QCOMPARE(qint16(m_widget->getSettings().lineMaxAngle[2]), qint16(-10000));
    child<QCheckBox>("maxAngleCEnabled")->setChecked(true);
    QCOMPARE(qint16(m_widget->getSettings().lineMaxAngle[2]), OKUKIPOSettings::encodeMaxAngle(20));
}

void TestSettingsWidget::codesTheFormDoesNotKnowAreKept()
{
    OKUKIPOSettings record;
    record.lineMode[3] = 9;
    record.writeRate[4] = 0;
    m_widget->setSettings(record);
    QCOMPARE(child<QComboBox>("lineDMode")->currentIndex(), -1);
    QVERIFY(!child<QDoubleSpinBox>("lineDOnTime")->isEnabled());
    QCOMPARE(child<QComboBox>("WriteRateMAGXYZ")->currentIndex(), -1);
    const OKUKIPOSettings read = m_widget->getSettings();
    QCOMPARE(read.lineMode[3], quint8(9));
    QCOMPARE(read.writeRate[4], quint8(0));
    // The estimate leaves out what it cannot reckon instead of failing.
    QVERIFY(child<QLabel>("possiblePreApogeeTime")->text().endsWith(" hours"));
}

void TestSettingsWidget::pinIsReadAsDecimal()
{
    OKUKIPOSettings record;
    record.remotePIN = 42;
    m_widget->setSettings(record);
    QCOMPARE(child<QLineEdit>("remotePIN")->text(), QString("42"));
    child<QLineEdit>("remotePIN")->setText("0815");
    QCOMPARE(quint16(m_widget->getSettings().remotePIN), quint16(815));
    child<QLineEdit>("remotePIN")->setText("65535");
    QCOMPARE(quint16(m_widget->getSettings().remotePIN), quint16(65535));
    child<QLineEdit>("remotePIN")->setText("0");
    QCOMPARE(quint16(m_widget->getSettings().remotePIN), quint16(0));
    QVERIFY(m_widget->inputProblem().isEmpty());
}

void TestSettingsWidget::pinThatIsNotANumberIsRefused_data()
{
    QTest::addColumn<QString>("text");
    QTest::newRow("letters") << "12a4";
    QTest::newRow("empty") << "";
    QTest::newRow("negative") << "-5";
    QTest::newRow("fraction") << "12.5";
    QTest::newRow("too large for 16 bits") << "70000";
}

void TestSettingsWidget::pinThatIsNotANumberIsRefused()
{
    QFETCH(QString, text);
    OKUKIPOSettings record;
    record.remotePIN = 4711;
    m_widget->setSettings(record);
    child<QLineEdit>("remotePIN")->setText(text);

    const QString message("The remote PIN must be a whole number from 0 to 65535.");
    QCOMPARE(m_widget->inputProblem(), message);
    QVERIFY(!child<QLabel>("remotePINProblem")->isHidden());
    QCOMPARE(child<QLabel>("remotePINProblem")->text(), message);
    // Never silently 0 or a truncated number: the loaded PIN stays.
    QCOMPARE(quint16(m_widget->getSettings().remotePIN), quint16(4711));

    child<QLineEdit>("remotePIN")->setText("4321");
    QVERIFY(m_widget->inputProblem().isEmpty());
    QVERIFY(child<QLabel>("remotePINProblem")->isHidden());
    QCOMPARE(quint16(m_widget->getSettings().remotePIN), quint16(4321));
}

void TestSettingsWidget::lineModeEnablesItsFields_data()
{
    QTest::addColumn<int>("mode");
    QTest::addColumn<bool>("time");
    QTest::addColumn<bool>("altitude");
    QTest::addColumn<bool>("peak"); // stage, angle check box and (checked) angle
    QTest::addColumn<bool>("firing"); // on time and delay
    QTest::newRow("Disabled") << 0 << false << false << false << false;
    QTest::newRow("Input") << 1 << false << false << false << false;
    QTest::newRow("Time") << 2 << true << false << false << true;
    QTest::newRow("Peak velocity") << 3 << false << false << true << true;
    QTest::newRow("Climb altitude") << 4 << false << true << false << true;
    QTest::newRow("Apogee") << 5 << false << false << false << true;
    QTest::newRow("Altitude after apogee") << 6 << false << true << false << true;
}

void TestSettingsWidget::lineModeEnablesItsFields()
{
    QFETCH(int, mode);
    QFETCH(bool, time);
    QFETCH(bool, altitude);
    QFETCH(bool, peak);
    QFETCH(bool, firing);
    OKUKIPOSettings record;
    record.lineMaxAngle[1] = OKUKIPOSettings::encodeMaxAngle(60);
    m_widget->setSettings(record);
    // Start from a mode that differs, so that the selection below is a change.
    selectMode(1, mode == 0 ? 5 : 0);
    selectMode(1, mode);
    QCOMPARE(child<QDoubleSpinBox>("lineBTime")->isEnabled(), time);
    QCOMPARE(child<QSpinBox>("lineBAltitude")->isEnabled(), altitude);
    QCOMPARE(child<QSpinBox>("lineBStage")->isEnabled(), peak);
    QCOMPARE(child<QCheckBox>("maxAngleBEnabled")->isEnabled(), peak);
    QCOMPARE(child<QSpinBox>("lineBMaxAngle")->isEnabled(), peak);
    QCOMPARE(child<QDoubleSpinBox>("lineBOnTime")->isEnabled(), firing);
    QCOMPARE(child<QDoubleSpinBox>("lineBDelay")->isEnabled(), firing);
    QCOMPARE(int(m_widget->getSettings().lineMode[1]), mode);
}

void TestSettingsWidget::angleBoxFollowsItsCheckBoxInPeakVelocityMode()
{
    selectMode(0, OKUKIPOSettings::PeakVelocity);
    child<QCheckBox>("maxAngleAEnabled")->setChecked(true);
    QVERIFY(child<QSpinBox>("lineAMaxAngle")->isEnabled());
    child<QCheckBox>("maxAngleAEnabled")->setChecked(false);
    QVERIFY(!child<QSpinBox>("lineAMaxAngle")->isEnabled());
    QVERIFY(child<QSpinBox>("lineAStage")->isEnabled());
}

void TestSettingsWidget::linesAreIndependent()
{
    m_widget->setSettings(OKUKIPOSettings()); // A "Apogee", B "Altitude after apogee"
    selectMode(2, OKUKIPOSettings::Time);
    QVERIFY(child<QDoubleSpinBox>("lineCTime")->isEnabled());
    QVERIFY(!child<QDoubleSpinBox>("lineATime")->isEnabled());
    QVERIFY(child<QSpinBox>("lineBAltitude")->isEnabled());
    QVERIFY(!child<QSpinBox>("lineAAltitude")->isEnabled());
    QVERIFY(!child<QDoubleSpinBox>("lineDOnTime")->isEnabled());
    QVERIFY(child<QDoubleSpinBox>("lineAOnTime")->isEnabled());
}

// Default dividers all 1: bytes per second are the sum of (payload + 2) /
// base period, 75 + 400 + 600 + 800 + 80 + 250 + 8 + 40 + 40 + 18 + 40 +
// 4 x 80 + 230 = 2901.  The flash holds 4128768 / 2901 = 1423.2 s per unit
// of write multiple.
void TestSettingsWidget::estimateOfTheDefaultRecord()
{
    m_widget->setSettings(OKUKIPOSettings()); // multiples 10, 1, 1, 0
    QCOMPARE(child<QLabel>("possiblePadTime")->text(), QString("4.0 hours"));
    QCOMPARE(child<QLabel>("possiblePreApogeeTime")->text(), QString("0.4 hours"));
    QCOMPARE(child<QLabel>("possiblePostApogeeTime")->text(), QString("0.4 hours"));
    QCOMPARE(child<QLabel>("possibleGroundTime")->text(), QString("Unlimited"));
    QCOMPARE(child<QLabel>("possiblePreApogeeTime")->text(), hoursText(4128768.0 / 2901.0));
}

void TestSettingsWidget::estimateFollowsWriteRatesAndMultiples()
{
    m_widget->setSettings(OKUKIPOSettings());
    child<QSpinBox>("postApogeeWriteMultiple")->setValue(3);
    QCOMPARE(child<QLabel>("possiblePostApogeeTime")->text(), QString("1.2 hours"));
    child<QSpinBox>("padWriteMultiple")->setValue(0);
    QCOMPARE(child<QLabel>("possiblePadTime")->text(), QString("Unlimited"));

    // X/Y acceleration every 100 ms instead of 10 ms: 2901 - 600 + 60 = 2361 bytes per second.
    child<QComboBox>("WriteRateACCELXY")->setCurrentIndex(9);
    QCOMPARE(child<QLabel>("possiblePreApogeeTime")->text(), QString("0.5 hours"));
    QCOMPARE(m_widget->getSettings().writeRate[2], quint8(10));

    // Everything at its slowest: 2901 / 1000 bytes per second.
    for (const QString &key : typeKeys)
        child<QComboBox>("WriteRate" + key)->setCurrentIndex(9);
    child<QSpinBox>("groundWriteMultiple")->setValue(100);
    QCOMPARE(child<QLabel>("possibleGroundTime")->text(), QString("395.3 hours"));
}

void TestSettingsWidget::estimateFunctions()
{
    WriteRateDividers ones;
    ones.fill(1);
    QCOMPARE(recordingSeconds(ones, 0), 0.0);
    QVERIFY(qAbs(recordingSeconds(ones, 1) - 4128768.0 / 2901.0) < 1e-6);
    QVERIFY(qAbs(recordingSeconds(ones, 10) - 41287680.0 / 2901.0) < 1e-6);
    WriteRateDividers none{};
    QCOMPARE(recordingSeconds(none, 5), 0.0);
    QCOMPARE(recordingTimeText(0), QString("Unlimited"));
    QCOMPARE(recordingTimeText(-1), QString("Unlimited"));
    QCOMPARE(recordingTimeText(5400), QString("1.5 hours"));
    QCOMPARE(recordingTimeText(36), QString("0.0 hours"));
    QCOMPARE(recordedTypes().size(), size_t(16));
    int payload = 0;
    for (const RecordedType &type : recordedTypes())
        payload += type.payloadBytes;
    QCOMPARE(payload, 13 + 2 + 4 + 6 + 6 + 3 + 2 + 2 + 2 + 7 + 2 + 2 + 2 + 2 + 2 + 21);
}

void TestSettingsWidget::imperialShowsAltitudesInFeet()
{
    m_widget->setMetric(false);
    QVERIFY(!m_widget->isMetric());
    auto *altitude = child<QSpinBox>("lineAAltitude");
    QCOMPARE(altitude->suffix(), QString(" ft"));
    // 80 m = 262.5 ft and 65535 m = 215009.9 ft, kept inside the record's range.
    QCOMPARE(altitude->minimum(), 263);
    QCOMPARE(altitude->maximum(), 215009);

    OKUKIPOSettings record;
    record.lineAltitude[0] = 500;
    m_widget->setSettings(record);
    QCOMPARE(altitude->value(), 1640); // 500 x 3.28084 = 1640.4
    altitude->setValue(1000);          // 304.8 m
    QCOMPARE(quint16(m_widget->getSettings().lineAltitude[0]), quint16(305));
    altitude->setValue(altitude->maximum());
    QCOMPARE(quint16(m_widget->getSettings().lineAltitude[0]), quint16(65535));
    altitude->setValue(altitude->minimum());
    QCOMPARE(quint16(m_widget->getSettings().lineAltitude[0]), quint16(80));
}

void TestSettingsWidget::imperialRoundTripKeepsEveryAltitude()
{
    m_widget->setMetric(false);
    OKUKIPOSettings record;
    for (int metres = 80; metres <= 65535; metres += 61) {
        for (int line = 0; line < 4; ++line)
            record.lineAltitude[line] = quint16(qMin(metres + line * 13, 65535));
        m_widget->setSettings(record);
        const OKUKIPOSettings read = m_widget->getSettings();
        for (int line = 0; line < 4; ++line)
            QCOMPARE(quint16(read.lineAltitude[line]), quint16(record.lineAltitude[line]));
    }
    record.lineAltitude[0] = 65535;
    m_widget->setSettings(record);
    QCOMPARE(quint16(m_widget->getSettings().lineAltitude[0]), quint16(65535));
}

void TestSettingsWidget::switchingUnitsKeepsTheAltitude()
{
    OKUKIPOSettings record;
    record.lineAltitude[2] = 1234;
    m_widget->setSettings(record);
    m_widget->setMetric(false);
    QCOMPARE(child<QSpinBox>("lineCAltitude")->value(), 4049); // 1234 x 3.28084 = 4048.56
    QCOMPARE(quint16(m_widget->getSettings().lineAltitude[2]), quint16(1234));
    m_widget->setMetric(true);
    QCOMPARE(child<QSpinBox>("lineCAltitude")->value(), 1234);
    QCOMPARE(child<QSpinBox>("lineCAltitude")->suffix(), QString(" m"));
}

void TestSettingsWidget::setSettingsIsTraced()
{
    m_widget->setSettings(OKUKIPOSettings());
    QCOMPARE(m_trace, QStringList{"setting settings!"});
}

QTEST_MAIN(TestSettingsWidget)
#include "test_settingswidget.moc"
