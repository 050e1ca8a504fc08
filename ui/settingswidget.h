#pragma once

#include "model/settings.h"
#include "ui/recordingestimate.h"

#include <QWidget>
#include <array>
#include <vector>

class QCheckBox;
class QComboBox;
class QDoubleSpinBox;
class QGridLayout;
class QLabel;
class QLineEdit;
class QSpinBox;

// The form on which the user edits the flight computer's settings record:
// power, radio, output lines A to D, flash write rates and multiples, and
// radio priorities.  Line altitudes are metres in every number system, as
// the device counts them.
class SettingsWidget : public QWidget
{
    Q_OBJECT

public:
    explicit SettingsWidget(QWidget *parent = nullptr);

    // The embedding window's number system; the form itself shows only
    // device units.
    void setMetric(bool metric);
    bool isMetric() const { return m_metric; }

    // Empty when every field holds something the record can take; otherwise
    // the message the form shows, for a caller about to write the record.
    QString inputProblem() const;

public slots:
    void setSettings(OKUKIPOSettings settings);
    // The record of the last setSettings with every field the user changed
    // taken from the form.  A field left alone keeps its stored value, also
    // one outside the field's range; a field left unreadable (a PIN that is
    // not a number) keeps the value it was loaded with.
    OKUKIPOSettings getSettings();

    void on_lineAMode_currentIndexChanged(int index);
    void on_lineBMode_currentIndexChanged(int index);
    void on_lineCMode_currentIndexChanged(int index);
    void on_lineDMode_currentIndexChanged(int index);

    void updateAvailableRecordingTime();

private:
    static constexpr int lineCount = 4;
    static constexpr int phaseCount = 4;

    struct LineControls
    {
        QComboBox *mode;
        QDoubleSpinBox *time;
        QSpinBox *altitude;
        QSpinBox *stage;
        QCheckBox *maxAngleEnabled;
        QSpinBox *maxAngle;
        QDoubleSpinBox *onTime;
        QDoubleSpinBox *delay;
    };

    struct FlagBox
    {
        QCheckBox *box;
        bool inFlags2;
        quint8 mask;
    };

    struct FlightPhase
    {
        quint8 OKUKIPOSettings::*writeMultiple;
        QSpinBox *multiple;
        QLabel *possibleTime;
    };

    QWidget *createGeneralTab();
    QWidget *createRadioTab();
    QWidget *createLinesTab();
    QWidget *createRecordingTab();
    QWidget *createTransmissionTab();
    QWidget *createLineGroup(int line);
    QCheckBox *createFlagBox(const QString &name, const QString &text, bool inFlags2, quint8 mask);

    void showSettings(const OKUKIPOSettings &settings);
    void applyLineModeRules(int line);
    void showPinProblem();
    WriteRateDividers selectedDividers() const;

    bool m_metric = true;
    // The record last shown: the base of getSettings, so that bytes the form
    // does not show (firmware version, pressure calibration, device bytes)
    // go back to the device as they came.
    OKUKIPOSettings m_shown;

    std::vector<FlagBox> m_flagBoxes;
    QDoubleSpinBox *m_minComputerVoltage = nullptr;
    QLineEdit *m_callsign = nullptr;
    QSpinBox *m_rfChannel = nullptr;
    QComboBox *m_modulationFrequency = nullptr;
    QLineEdit *m_remotePin = nullptr;
    QLabel *m_remotePinProblem = nullptr;
    std::array<LineControls, lineCount> m_lines{};
    std::array<FlightPhase, phaseCount> m_phases{};
    // Each write-rate box is paired with its type's base period through recordedTypes().
    std::array<QComboBox *, recordedTypeCount> m_writeRates{};
    std::array<QSpinBox *, recordedTypeCount> m_txPriorities{};
};
