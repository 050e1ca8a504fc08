#include "ui/flightinfopanel.h"

#include "ui/flightinformation.h"

#include <QFormLayout>
#include <QFrame>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPlainTextEdit>
#include <QVBoxLayout>

FlightInfoPanel::FlightInfoPanel(QWidget *parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("notesTab"));
    auto *layout = new QHBoxLayout(this);
    auto *infoFrame = new QFrame(this);
    infoFrame->setObjectName(QStringLiteral("flightInfoFrame"));
    auto *infoLayout = new QVBoxLayout(infoFrame);

    auto *general = new QWidget(infoFrame);
    new QFormLayout(general);
    m_date = addRow(general, tr("Date"), QStringLiteral("dateLabel"));
    m_latitude = addRow(general, tr("Latitude"), QStringLiteral("latLabel"));
    m_longitude = addRow(general, tr("Longitude"), QStringLiteral("longLabel"));

    m_flightSpecific = new QWidget(infoFrame);
    m_flightSpecific->setObjectName(QStringLiteral("validFlightSpecific"));
    new QFormLayout(m_flightSpecific);
    m_boostTime = addRow(m_flightSpecific, tr("Boost time"), QStringLiteral("boostTimeLabel"));
    m_coastTime = addRow(m_flightSpecific, tr("Coast time"), QStringLiteral("coastTimeLabel"));
    m_totalFlightTime = addRow(m_flightSpecific, tr("Total flight time"), QStringLiteral("totalFlightTimeLabel"));
    m_maxAltitude = addRow(m_flightSpecific, tr("Max altitude AGL"), QStringLiteral("maxAltitudeAGLLabel"));
    m_maxVelocity = addRow(m_flightSpecific, tr("Max velocity"), QStringLiteral("maxVelocityLabel"));
    m_maxLateralAcceleration = addRow(m_flightSpecific, tr("Max lateral acceleration"),
                                      QStringLiteral("maxLatteralAccelerationLabel"));
    m_maxVerticalAcceleration = addRow(m_flightSpecific, tr("Max vertical acceleration"),
                                       QStringLiteral("maxVerticalAccelerationLabel"));
    m_maxXRoll = addRow(m_flightSpecific, tr("Max x roll"), QStringLiteral("maxXRollLabel"));
    m_maxYRoll = addRow(m_flightSpecific, tr("Max y roll"), QStringLiteral("maxYRollLabel"));
    m_maxZRoll = addRow(m_flightSpecific, tr("Max z roll"), QStringLiteral("maxZRollLabel"));

    m_deviceSpecific = new QWidget(infoFrame);
    m_deviceSpecific->setObjectName(QStringLiteral("validKIPOSpecific"));
    new QFormLayout(m_deviceSpecific);
    m_orientation = addRow(m_deviceSpecific, tr("Pad orientation"), QStringLiteral("orientationLabel"),
                           tr("RF antenna down"));
    m_firmwareVersion = addRow(m_deviceSpecific, tr("OKU KIPO firmware version"), QStringLiteral("firmwareVersionLabel"));

    infoLayout->addWidget(general);
    infoLayout->addWidget(m_flightSpecific);
    infoLayout->addWidget(m_deviceSpecific);
    infoLayout->addStretch();

    auto *notes = new QGroupBox(tr("Notes"), this);
    m_notes = new QPlainTextEdit(notes);
    m_notes->setObjectName(QStringLiteral("flightNotes"));
    (new QVBoxLayout(notes))->addWidget(m_notes);
    layout->addWidget(infoFrame);
    layout->addWidget(notes, 1);
}

QLabel *FlightInfoPanel::addRow(QWidget *container, const QString &caption, const QString &objectName,
                                const QString &text)
{
    auto *value = new QLabel(text, container);
    value->setObjectName(objectName);
    value->setTextInteractionFlags(Qt::TextSelectableByMouse);
    static_cast<QFormLayout *>(container->layout())->addRow(caption, value);
    return value;
}

void FlightInfoPanel::display(const FlightInformation &info, bool isFlight, bool settingsValid, const QString &notes)
{
    m_date->setText(info.date);
    m_latitude->setText(info.latitude);
    m_longitude->setText(info.longitude);
    m_boostTime->setText(info.boostTime);
    m_coastTime->setText(info.coastTime);
    m_totalFlightTime->setText(info.totalFlightTime);
    m_maxAltitude->setText(info.maxAltitudeAGL);
    m_maxVelocity->setText(info.maxVelocity);
    m_maxLateralAcceleration->setText(info.maxLateralAcceleration);
    m_maxVerticalAcceleration->setText(info.maxVerticalAcceleration);
    m_maxXRoll->setText(info.maxXRoll);
    m_maxYRoll->setText(info.maxYRoll);
    m_maxZRoll->setText(info.maxZRoll);
    m_orientation->setText(info.padInverted ? tr("RF antenna up (inverted)") : tr("RF antenna down"));
    m_firmwareVersion->setText(info.firmwareVersion);
    if (m_notes->toPlainText() != notes)
        m_notes->setPlainText(notes);
    m_flightSpecific->setEnabled(isFlight);
    m_deviceSpecific->setEnabled(settingsValid);
}
