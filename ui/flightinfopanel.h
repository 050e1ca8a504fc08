#pragma once

#include <QWidget>

class QLabel;
class QPlainTextEdit;
struct FlightInformation;

// The flight window's "Flight info" tab: the flight's facts beside the
// user's notes.
class FlightInfoPanel : public QWidget
{
    Q_OBJECT

public:
    explicit FlightInfoPanel(QWidget *parent = nullptr);

    QPlainTextEdit *notesEditor() const { return m_notes; }
    // The facts that need a real flight, and those that need the device's
    // settings, are greyed out without them.  The notes editor is refilled
    // only when its text differs, so that typing is never disturbed.
    void display(const FlightInformation &info, bool isFlight, bool settingsValid, const QString &notes);

private:
    QLabel *addRow(QWidget *container, const QString &caption, const QString &objectName,
                   const QString &text = QString());

    QWidget *m_flightSpecific = nullptr;
    QWidget *m_deviceSpecific = nullptr;
    QLabel *m_date, *m_latitude, *m_longitude;
    QLabel *m_boostTime, *m_coastTime, *m_totalFlightTime, *m_maxAltitude, *m_maxVelocity;
    QLabel *m_maxLateralAcceleration, *m_maxVerticalAcceleration, *m_maxXRoll, *m_maxYRoll, *m_maxZRoll;
    QLabel *m_orientation, *m_firmwareVersion;
    QPlainTextEdit *m_notes = nullptr;
};
