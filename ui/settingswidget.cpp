#include "ui/settingswidget.h"

#include "model/trace.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QRegularExpressionValidator>
#include <QSpinBox>
#include <QTabWidget>
#include <QVBoxLayout>
#include <cstring>
#include <optional>

namespace {

constexpr char lineLetters[] = "ABCD";
constexpr int callsignLength = int(sizeof(OKUKIPOSettings::callsign));
// The record's altitudes are 16-bit metres.
constexpr int minimumLineAltitude = 80;
constexpr int maximumLineAltitude = 65535;
constexpr int noAngleLimitDegrees = 180;

const QString &pinProblemText()
{
    static const QString text = QStringLiteral("The remote PIN must be a whole number from 0 to 65535.");
    return text;
}

QSpinBox *createSpinBox(QWidget *parent, const QString &name, int minimum, int maximum,
                        const QString &suffix = QString())
{
    auto *box = new QSpinBox(parent);
    box->setObjectName(name);
    box->setRange(minimum, maximum);
    box->setSuffix(suffix);
    return box;
}

// A decimal field for a record value kept in tenths (of a second or a volt).
QDoubleSpinBox *createTenthsBox(QWidget *parent, const QString &name, double minimum, double maximum,
                                const QString &suffix)
{
    auto *box = new QDoubleSpinBox(parent);
    box->setObjectName(name);
    box->setDecimals(1);
    box->setSingleStep(0.1);
    box->setRange(minimum, maximum);
    box->setSuffix(suffix);
    return box;
}

void showTenths(QDoubleSpinBox *box, int tenths)
{
    box->setValue(tenths * 0.1);
}

// The box holds its value rounded to one decimal, so truncation is exact.
int tenths(const QDoubleSpinBox *box)
{
    return int(box->value() * 10);
}

// A box clamps a stored value outside its range as it shows it.  What the
// user did not change goes back as it was stored, clamped or not; so each
// field remembers what it showed.
constexpr char shownProperty[] = "shownValue";

const char *valueProperty(const QWidget *field)
{
    return qobject_cast<const QAbstractButton *>(field) ? "checked" : "value";
}

void rememberShown(QWidget *field)
{
    field->setProperty(shownProperty, field->property(valueProperty(field)));
}

bool edited(const QWidget *field)
{
    return field->property(valueProperty(field)) != field->property(shownProperty);
}

// The box's value when the user edited it, else what is stored.  Taken and
// given by value: the settings record is packed, and a reference to one of
// its fields may be misaligned.
template <typename Field>
Field editedOr(const QWidget *box, Field stored, int value)
{
    return edited(box) ? Field(value) : stored;
}

QComboBox *createComboBox(QWidget *parent, const QString &name)
{
    auto *box = new QComboBox(parent);
    box->setObjectName(name);
    return box;
}

// Selects the item carrying the stored code; a code the form does not know
// leaves nothing selected, and selectedCode then keeps it.
void selectCode(QComboBox *box, int code)
{
    box->setCurrentIndex(box->findData(code));
}

int selectedCode(const QComboBox *box, int storedCode)
{
    return box->currentIndex() < 0 ? storedCode : box->currentData().toInt();
}

quint8 &flagByte(OKUKIPOSettings &settings, bool inFlags2)
{
    return inFlags2 ? settings.flags2 : settings.flags;
}

std::optional<quint16> parsePin(const QString &text)
{
    bool ok = false;
    const uint value = text.toUInt(&ok, 10);
    if (!ok || value > 0xFFFF)
        return std::nullopt;
    return quint16(value);
}

QWidget *tabPage(QWidget *parent, std::initializer_list<QWidget *> groups)
{
    auto *page = new QWidget(parent);
    auto *layout = new QVBoxLayout(page);
    for (QWidget *group : groups)
        layout->addWidget(group);
    layout->addStretch();
    return page;
}

} // namespace

SettingsWidget::SettingsWidget(QWidget *parent)
    : QWidget(parent)
{
    auto *tabs = new QTabWidget(this);
    tabs->setObjectName(QStringLiteral("settingsTabs"));
    tabs->addTab(createGeneralTab(), tr("General"));
    tabs->addTab(createRadioTab(), tr("Radio"));
    tabs->addTab(createLinesTab(), tr("Output lines"));
    tabs->addTab(createRecordingTab(), tr("Recording"));
    tabs->addTab(createTransmissionTab(), tr("Transmission"));
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(tabs);

    QMetaObject::connectSlotsByName(this);
    for (QComboBox *writeRate : m_writeRates)
        connect(writeRate, QOverload<int>::of(&QComboBox::currentIndexChanged), this,
                &SettingsWidget::updateAvailableRecordingTime);
    for (const FlightPhase &phase : m_phases)
        connect(phase.multiple, QOverload<int>::of(&QSpinBox::valueChanged), this,
                &SettingsWidget::updateAvailableRecordingTime);
    for (int line = 0; line < lineCount; ++line)
        connect(m_lines[line].maxAngleEnabled, &QCheckBox::toggled, this,
                [this, line] { applyLineModeRules(line); });
    connect(m_remotePin, &QLineEdit::textChanged, this, &SettingsWidget::showPinProblem);

    showSettings(OKUKIPOSettings());
    m_callsign->setText(QStringLiteral("KIPO00"));
}

QCheckBox *SettingsWidget::createFlagBox(const QString &name, const QString &text, bool inFlags2, quint8 mask)
{
    auto *box = new QCheckBox(text, this);
    box->setObjectName(name);
    m_flagBoxes.push_back({box, inFlags2, mask});
    return box;
}

QWidget *SettingsWidget::createGeneralTab()
{
    auto *power = new QGroupBox(tr("Power"), this);
    auto *powerLayout = new QFormLayout(power);
    powerLayout->addRow(createFlagBox(QStringLiteral("LVCCuttoff"), tr("Low voltage cut-off after landing"),
                                      false, OKUKIPOSettings::LVCCuttoff));
    powerLayout->addRow(createFlagBox(QStringLiteral("autoShutdown"), tr("Automatic shutdown"), false,
                                      OKUKIPOSettings::autoShutdown));
    m_minComputerVoltage = createTenthsBox(power, QStringLiteral("minComputerVoltage"), 3.5, 8.4, QStringLiteral(" V"));
    powerLayout->addRow(tr("Minimum computer voltage:"), m_minComputerVoltage);

    auto *flight = new QGroupBox(tr("Flight"), this);
    auto *flightLayout = new QFormLayout(flight);
    flightLayout->addRow(createFlagBox(QStringLiteral("writeFlash"), tr("Record the flight to flash memory"), false,
                                       OKUKIPOSettings::writeFlash));
    flightLayout->addRow(createFlagBox(QStringLiteral("ignorePressurePreApogee"), tr("Ignore pressure before apogee"),
                                       false, OKUKIPOSettings::ignorePressurePreApogee));
    flightLayout->addRow(createFlagBox(QStringLiteral("ignorePressurePostApogee"), tr("Ignore pressure after apogee"),
                                       false, OKUKIPOSettings::ignorePressurePostApogee));
    return tabPage(this, {power, flight});
}

QWidget *SettingsWidget::createRadioTab()
{
    auto *radio = new QGroupBox(tr("Radio"), this);
    auto *radioLayout = new QFormLayout(radio);
    m_callsign = new QLineEdit(radio);
    m_callsign->setObjectName(QStringLiteral("HAMCallsign"));
    m_callsign->setMaxLength(callsignLength);
    // The device keeps the call sign as plain ASCII bytes.
    m_callsign->setValidator(new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[\\x20-\\x7E]*")), m_callsign));
    radioLayout->addRow(tr("HAM call sign:"), m_callsign);
    radioLayout->addRow(createFlagBox(QStringLiteral("txOn"), tr("Transmitter on"), false, OKUKIPOSettings::txOn));
    radioLayout->addRow(createFlagBox(QStringLiteral("txGPSGate"), tr("Transmit only with a GPS fix"), true,
                                      OKUKIPOSettings::txGPSGate));
    m_rfChannel = createSpinBox(radio, QStringLiteral("RFChannel"), 0, 255);
    radioLayout->addRow(tr("Channel:"), m_rfChannel);
    m_modulationFrequency = createComboBox(radio, QStringLiteral("modulationFrequency"));
    const QStringList rates{QStringLiteral("500 bps"), QStringLiteral("1 kbps"), QStringLiteral("2 kbps"),
                            QStringLiteral("4 kbps")};
    for (int code = 0; code < rates.size(); ++code)
        m_modulationFrequency->addItem(rates[code], code);
    radioLayout->addRow(tr("Data rate:"), m_modulationFrequency);

    auto *remote = new QGroupBox(tr("Remote firing"), this);
    auto *remoteLayout = new QFormLayout(remote);
    m_remotePin = new QLineEdit(remote);
    m_remotePin->setObjectName(QStringLiteral("remotePIN"));
    remoteLayout->addRow(tr("PIN:"), m_remotePin);
    m_remotePinProblem = new QLabel(pinProblemText(), remote);
    m_remotePinProblem->setObjectName(QStringLiteral("remotePINProblem"));
    m_remotePinProblem->setStyleSheet(QStringLiteral("color: #c00000;"));
    m_remotePinProblem->setVisible(false);
    remoteLayout->addRow(m_remotePinProblem);
    remoteLayout->addRow(createFlagBox(QStringLiteral("remotePad"), tr("Allow on the pad"), true,
                                       OKUKIPOSettings::remotePad));
    remoteLayout->addRow(createFlagBox(QStringLiteral("remoteAccent"), tr("Allow during ascent"), true,
                                       OKUKIPOSettings::remoteAccent));
    remoteLayout->addRow(createFlagBox(QStringLiteral("remoteDecent"), tr("Allow during descent"), true,
                                       OKUKIPOSettings::remoteDecent));
    remoteLayout->addRow(createFlagBox(QStringLiteral("remoteGround"), tr("Allow on the ground after landing"), true,
                                       OKUKIPOSettings::remoteGround));
    return tabPage(this, {radio, remote});
}

QWidget *SettingsWidget::createLinesTab()
{
    auto *page = new QWidget(this);
    auto *layout = new QGridLayout(page);
    for (int line = 0; line < lineCount; ++line)
        layout->addWidget(createLineGroup(line), line / 2, line % 2);
    layout->setRowStretch(2, 1);
    return page;
}

QWidget *SettingsWidget::createLineGroup(int line)
{
    const QChar letter = QLatin1Char(lineLetters[line]);
    auto name = [letter](const char *pattern) { return QString::fromLatin1(pattern).arg(letter); };

    auto *group = new QGroupBox(tr("Line %1").arg(letter), this);
    auto *layout = new QFormLayout(group);
    LineControls &controls = m_lines[line];

    controls.mode = createComboBox(group, name("line%1Mode"));
    const QStringList modes{QStringLiteral("Disabled"),      QStringLiteral("Input"),
                            QStringLiteral("Time"),          QStringLiteral("Peak velocity"),
                            QStringLiteral("Climb altitude"), QStringLiteral("Apogee"),
                            QStringLiteral("Altitude after apogee")};
    for (int code = 0; code < modes.size(); ++code)
        controls.mode->addItem(modes[code], code);
    layout->addRow(tr("Mode:"), controls.mode);

    controls.time = createTenthsBox(group, name("line%1Time"), 0, 1000.0, QStringLiteral(" s"));
    layout->addRow(tr("Time:"), controls.time);
    controls.altitude = createSpinBox(group, name("line%1Altitude"), minimumLineAltitude, maximumLineAltitude,
                                      QStringLiteral(" m"));
    layout->addRow(tr("Altitude:"), controls.altitude);
    controls.stage = createSpinBox(group, name("line%1Stage"), 2, 5);
    layout->addRow(tr("Stage:"), controls.stage);

    controls.maxAngleEnabled = new QCheckBox(tr("Maximum angle:"), group);
    controls.maxAngleEnabled->setObjectName(name("maxAngle%1Enabled"));
    controls.maxAngle = createSpinBox(group, name("line%1MaxAngle"), 0, noAngleLimitDegrees, QStringLiteral("°"));
    layout->addRow(controls.maxAngleEnabled, controls.maxAngle);

    // On time is one byte of tenths, the delay two.
    controls.onTime = createTenthsBox(group, name("line%1OnTime"), 0.1, 25.5, QStringLiteral(" s"));
    layout->addRow(tr("On time:"), controls.onTime);
    controls.delay = createTenthsBox(group, name("line%1Delay"), 0, 6553.5, QStringLiteral(" s"));
    layout->addRow(tr("Delay:"), controls.delay);
    return group;
}

QWidget *SettingsWidget::createRecordingTab()
{
    auto *multiples = new QGroupBox(tr("Write multiples and recording time"), this);
    auto *multiplesLayout = new QGridLayout(multiples);
    const struct
    {
        const char *name;
        const char *label;
        quint8 OKUKIPOSettings::*field;
        const char *timeName;
    } phases[phaseCount] = {
        {"padWriteMultiple", "On the pad:", &OKUKIPOSettings::padWriteMultiple, "possiblePadTime"},
        {"preApogeeWriteMultiple", "Before apogee:", &OKUKIPOSettings::preApogeeWriteMultiple, "possiblePreApogeeTime"},
        {"postApogeeWriteMultiple", "After apogee:", &OKUKIPOSettings::postApogeeWriteMultiple, "possiblePostApogeeTime"},
        {"groundWriteMultiple", "On the ground:", &OKUKIPOSettings::groundWriteMultiple, "possibleGroundTime"},
    };
    for (int i = 0; i < phaseCount; ++i) {
        FlightPhase &phase = m_phases[i];
        phase.writeMultiple = phases[i].field;
        phase.multiple = createSpinBox(multiples, QString::fromLatin1(phases[i].name), 0, 100);
        phase.possibleTime = new QLabel(multiples);
        phase.possibleTime->setObjectName(QString::fromLatin1(phases[i].timeName));
        multiplesLayout->addWidget(new QLabel(tr(phases[i].label), multiples), i, 0);
        multiplesLayout->addWidget(phase.multiple, i, 1);
        multiplesLayout->addWidget(phase.possibleTime, i, 2);
    }
    multiplesLayout->setColumnStretch(2, 1);

    auto *rates = new QGroupBox(tr("Write rates"), this);
    auto *ratesLayout = new QGridLayout(rates);
    constexpr int dividerCount = 10;
    for (int i = 0; i < recordedTypeCount; ++i) {
        const RecordedType &type = recordedTypes()[i];
        QComboBox *box = createComboBox(rates, QStringLiteral("WriteRate") + QLatin1String(type.key));
        for (int divider = 1; divider <= dividerCount; ++divider)
            box->addItem(QStringLiteral("%1 ms").arg(type.basePeriodMs * divider), divider);
        m_writeRates[i] = box;
        const int row = i % (recordedTypeCount / 2);
        const int column = 2 * (i / (recordedTypeCount / 2));
        ratesLayout->addWidget(new QLabel(tr(type.label), rates), row, column);
        ratesLayout->addWidget(box, row, column + 1);
    }
    return tabPage(this, {multiples, rates});
}

QWidget *SettingsWidget::createTransmissionTab()
{
    auto *priorities = new QGroupBox(tr("Transmit priorities"), this);
    auto *layout = new QGridLayout(priorities);
    for (int i = 0; i < recordedTypeCount; ++i) {
        const RecordedType &type = recordedTypes()[i];
        m_txPriorities[i] = createSpinBox(priorities, QStringLiteral("txPriority") + QLatin1String(type.key), 0, 255);
        const int row = i % (recordedTypeCount / 2);
        const int column = 2 * (i / (recordedTypeCount / 2));
        layout->addWidget(new QLabel(tr(type.label), priorities), row, column);
        layout->addWidget(m_txPriorities[i], row, column + 1);
    }
    return tabPage(this, {priorities});
}

void SettingsWidget::setMetric(bool metric)
{
    m_metric = metric;
}

void SettingsWidget::setSettings(OKUKIPOSettings settings)
{
    okukipo::trace(QStringLiteral("setting settings!"));
    showSettings(settings);
}

void SettingsWidget::showSettings(const OKUKIPOSettings &settings)
{
    m_shown = settings;
    for (const FlagBox &flag : m_flagBoxes)
        flag.box->setChecked(flagByte(m_shown, flag.inFlags2) & flag.mask);
    showTenths(m_minComputerVoltage, settings.minComputerVoltage);

    const char *callsign = settings.callsign;
    m_callsign->setText(QString::fromLatin1(callsign, int(qstrnlen(callsign, callsignLength))));
    m_rfChannel->setValue(settings.RFChannel);
    selectCode(m_modulationFrequency,
               (settings.flags & OKUKIPOSettings::modulationFrequencyMask) >> OKUKIPOSettings::modulationFrequencyShift);
    m_remotePin->setText(QString::number(settings.remotePIN));

    for (int line = 0; line < lineCount; ++line) {
        const LineControls &controls = m_lines[line];
        selectCode(controls.mode, settings.lineMode[line]);
        showTenths(controls.time, settings.lineTime[line]);
        controls.altitude->setValue(settings.lineAltitude[line]);
        controls.stage->setValue(settings.lineStage[line]);
        const int degrees = OKUKIPOSettings::decodeMaxAngle(settings.lineMaxAngle[line]);
        controls.maxAngle->setValue(degrees);
        controls.maxAngleEnabled->setChecked(degrees != noAngleLimitDegrees);
        showTenths(controls.onTime, settings.lineOnTime[line]);
        showTenths(controls.delay, settings.lineDelay[line]);
        applyLineModeRules(line);
    }

    for (const FlightPhase &phase : m_phases)
        phase.multiple->setValue(settings.*phase.writeMultiple);
    for (int i = 0; i < recordedTypeCount; ++i) {
        selectCode(m_writeRates[i], settings.writeRate[i]);
        m_txPriorities[i]->setValue(settings.txPriority[i]);
    }
    for (QAbstractSpinBox *box : findChildren<QAbstractSpinBox *>())
        rememberShown(box);
    for (const LineControls &controls : m_lines)
        rememberShown(controls.maxAngleEnabled);
    updateAvailableRecordingTime();
}

OKUKIPOSettings SettingsWidget::getSettings()
{
    OKUKIPOSettings settings = m_shown;
    settings.flags = 0;
    settings.flags2 = 0;
    for (const FlagBox &flag : m_flagBoxes) {
        if (flag.box->isChecked())
            flagByte(settings, flag.inFlags2) |= flag.mask;
    }
    const int modulation = selectedCode(m_modulationFrequency, (m_shown.flags & OKUKIPOSettings::modulationFrequencyMask)
                                                                   >> OKUKIPOSettings::modulationFrequencyShift);
    settings.flags |= quint8(modulation << OKUKIPOSettings::modulationFrequencyShift);
    settings.minComputerVoltage =
        editedOr(m_minComputerVoltage, settings.minComputerVoltage, tenths(m_minComputerVoltage));

    const QByteArray callsign = m_callsign->text().toLatin1().left(callsignLength);
    std::memset(settings.callsign, 0, callsignLength);
    std::memcpy(settings.callsign, callsign.constData(), size_t(callsign.size()));
    settings.RFChannel = editedOr(m_rfChannel, settings.RFChannel, m_rfChannel->value());
    settings.remotePIN = parsePin(m_remotePin->text()).value_or(m_shown.remotePIN);

    for (int line = 0; line < lineCount; ++line) {
        const LineControls &controls = m_lines[line];
        settings.lineMode[line] = quint8(selectedCode(controls.mode, m_shown.lineMode[line]));
        settings.lineTime[line] = editedOr(controls.time, settings.lineTime[line], tenths(controls.time));
        settings.lineAltitude[line] =
            editedOr(controls.altitude, settings.lineAltitude[line], controls.altitude->value());
        settings.lineStage[line] = editedOr(controls.stage, settings.lineStage[line], controls.stage->value());
        if (edited(controls.maxAngle) || edited(controls.maxAngleEnabled)) {
            // A limit switched off is stored as 180 degrees, which the device reads as none.
            const int degrees =
                controls.maxAngleEnabled->isChecked() ? controls.maxAngle->value() : noAngleLimitDegrees;
            settings.lineMaxAngle[line] = OKUKIPOSettings::encodeMaxAngle(float(degrees));
        }
        settings.lineOnTime[line] = editedOr(controls.onTime, settings.lineOnTime[line], tenths(controls.onTime));
        settings.lineDelay[line] = editedOr(controls.delay, settings.lineDelay[line], tenths(controls.delay));
    }

    for (const FlightPhase &phase : m_phases)
        settings.*phase.writeMultiple =
            editedOr(phase.multiple, settings.*phase.writeMultiple, phase.multiple->value());
    for (int i = 0; i < recordedTypeCount; ++i) {
        settings.writeRate[i] = quint8(selectedCode(m_writeRates[i], m_shown.writeRate[i]));
        settings.txPriority[i] = editedOr(m_txPriorities[i], settings.txPriority[i], m_txPriorities[i]->value());
    }
    // An edited record is no longer the one the device sent.
    settings.valid = false;
    settings.updateChecksum();
    return settings;
}

QString SettingsWidget::inputProblem() const
{
    return parsePin(m_remotePin->text()) ? QString() : pinProblemText();
}

void SettingsWidget::showPinProblem()
{
    m_remotePinProblem->setVisible(!inputProblem().isEmpty());
}

void SettingsWidget::on_lineAMode_currentIndexChanged(int)
{
    applyLineModeRules(0);
}

void SettingsWidget::on_lineBMode_currentIndexChanged(int)
{
    applyLineModeRules(1);
}

void SettingsWidget::on_lineCMode_currentIndexChanged(int)
{
    applyLineModeRules(2);
}

void SettingsWidget::on_lineDMode_currentIndexChanged(int)
{
    applyLineModeRules(3);
}

void SettingsWidget::applyLineModeRules(int line)
{
    const LineControls &controls = m_lines[line];
    const int mode = selectedCode(controls.mode, -1);
    const bool peakVelocity = mode == OKUKIPOSettings::PeakVelocity;
    controls.time->setEnabled(mode == OKUKIPOSettings::Time);
    controls.altitude->setEnabled(mode == OKUKIPOSettings::ClimbAltitude
                                  || mode == OKUKIPOSettings::AltitudeAfterApogee);
    controls.stage->setEnabled(peakVelocity);
    controls.maxAngleEnabled->setEnabled(peakVelocity);
    controls.maxAngle->setEnabled(peakVelocity && controls.maxAngleEnabled->isChecked());
    // Lines that only watch an input or do nothing never fire.
    const bool fires = mode > OKUKIPOSettings::Input;
    controls.onTime->setEnabled(fires);
    controls.delay->setEnabled(fires);
}

WriteRateDividers SettingsWidget::selectedDividers() const
{
    WriteRateDividers dividers{};
    for (int i = 0; i < recordedTypeCount; ++i)
        dividers[i] = selectedCode(m_writeRates[i], 0);
    return dividers;
}

void SettingsWidget::updateAvailableRecordingTime()
{
    const WriteRateDividers dividers = selectedDividers();
    for (const FlightPhase &phase : m_phases)
        phase.possibleTime->setText(recordingTimeText(recordingSeconds(dividers, phase.multiple->value())));
}
