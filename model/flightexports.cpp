#include "model/eventcast.h"
#include "model/flight.h"
#include "model/polynomialfit.h"
#include "model/sheetgrid.h"
#include "model/textfile.h"
#include "model/timescan.h"
#include "model/trace.h"

#include <algorithm>
#include <cmath>

using okukipo::trace;

// ---- CSV workbook ----

namespace {

void appendCell(QByteArray &text, double value, int significantDigits = 6)
{
    text.append(',');
    appendNumber(text, value, significantDigits);
}

void appendFlag(QByteArray &text, bool flag)
{
    text.append(flag ? ",1" : ",0");
}

// One column group of the workbook: which records feed it, its header, and
// how a record's fields follow its time.
struct CsvSectionKind {
    const std::type_info &type;
    const char *header;
    void (*appendFields)(QByteArray &text, const OKUEvent &event, float groundLevel);
};

template<class Event>
const Event &as(const OKUEvent &event)
{
    return static_cast<const Event &>(event);
}

template<class Line>
void appendLineVoltage(QByteArray &text, const OKUEvent &event, float)
{
    appendCell(text, as<Line>(event).voltage, 3);
}

template<class Event>
void appendXYZ(QByteArray &text, const OKUEvent &event, float)
{
    const auto &reading = as<Event>(event);
    appendCell(text, reading.x);
    appendCell(text, reading.y);
    appendCell(text, reading.z);
}

const CsvSectionKind csvSectionKinds[] = {
    {typeid(OKUEvent_GPSLLSol), "time,lat,long,GPS MSL,SVs",
     [](QByteArray &text, const OKUEvent &event, float) {
         const auto &gps = as<OKUEvent_GPSLLSol>(event);
         appendCell(text, gps.latitude, 8);
         appendCell(text, gps.longitude, 8);
         appendCell(text, gps.altitude);
         appendCell(text, gps.satellites);
     }},
    {typeid(OKUEvent_AccelZ), "time,acceleration",
     [](QByteArray &text, const OKUEvent &event, float) { appendCell(text, as<OKUEvent_AccelZ>(event).accelZ); }},
    {typeid(OKUEvent_AccelXY), "time,lat. X accel.,lat. Y accel.",
     [](QByteArray &text, const OKUEvent &event, float) {
         appendCell(text, as<OKUEvent_AccelXY>(event).accelX);
         appendCell(text, as<OKUEvent_AccelXY>(event).accelY);
     }},
    {typeid(OKUEvent_GyroXYZ), "time,Gyro X,Gyro Y,Gyro Z", appendXYZ<OKUEvent_GyroXYZ>},
    {typeid(OKUEvent_MagXYZ), "time,Mag X,Mag Y,Mag Z", appendXYZ<OKUEvent_MagXYZ>},
    {typeid(OKUEvent_Pressure), "time,pressure,Pressure MSL,Pressure AGL",
     [](QByteArray &text, const OKUEvent &event, float groundLevel) {
         const float pressure = as<OKUEvent_Pressure>(event).pressure;
         const float altitude = barometricAltitude(pressure);
         appendCell(text, pressure);
         appendCell(text, altitude);
         appendCell(text, altitude - groundLevel);
     }},
    {typeid(OKUEvent_Temperature), "time,temperature",
     [](QByteArray &text, const OKUEvent &event, float) {
         appendCell(text, as<OKUEvent_Temperature>(event).temperature);
     }},
    {typeid(OKUEvent_ComputerBattery), "time,comp. bat. voltage",
     [](QByteArray &text, const OKUEvent &event, float) {
         appendCell(text, as<OKUEvent_ComputerBattery>(event).voltage);
     }},
    {typeid(OKUEvent_EjectionBattery), "time,eject. bat. voltage",
     [](QByteArray &text, const OKUEvent &event, float) {
         appendCell(text, as<OKUEvent_EjectionBattery>(event).voltage);
     }},
    {typeid(OKUEvent_RSSI), "time,RSSI",
     [](QByteArray &text, const OKUEvent &event, float) { appendCell(text, as<OKUEvent_RSSI>(event).rssi); }},
    {typeid(OKUEvent_Status), "time,launch detect,apogee detect,A cont.,B cont.,C cont.,D cont.,A on., B on,C on,D on",
     [](QByteArray &text, const OKUEvent &event, float) {
         const auto &status = as<OKUEvent_Status>(event);
         appendFlag(text, status.state > 0);
         appendFlag(text, status.state > 2);
         for (bool continuity : status.lineContinuity)
             appendFlag(text, continuity);
         for (bool alert : status.lineAlert)
             appendFlag(text, alert);
     }},
    {typeid(OKUEvent_GPSTime), "time,GPS Time of Week",
     [](QByteArray &text, const OKUEvent &event, float) {
         text.append(',').append(QByteArray::number(as<OKUEvent_GPSTime>(event).timeOfWeek));
     }},
    {typeid(OKUEvent_LineA), "time,A Voltage", appendLineVoltage<OKUEvent_LineA>},
    {typeid(OKUEvent_LineB), "time,B Voltage", appendLineVoltage<OKUEvent_LineB>},
    {typeid(OKUEvent_LineC), "time,C Voltage", appendLineVoltage<OKUEvent_LineC>},
    {typeid(OKUEvent_LineD), "time,D Voltage", appendLineVoltage<OKUEvent_LineD>},
};

const CsvSectionKind *csvSectionKindOf(const OKUEvent &event)
{
    if (const auto *gps = eventAs<OKUEvent_GPSLLSol>(&event); gps && !gps->solution3D)
        return nullptr;
    for (const CsvSectionKind &kind : csvSectionKinds) {
        if (typeid(event) == kind.type)
            return &kind;
    }
    return nullptr;
}

// Column groups side by side, in the order their kinds first occur; a group
// shorter than the longest is padded with empty cells so that the groups to
// its right keep their columns.
class CsvWorkbook {
public:
    explicit CsvWorkbook(float groundLevel)
        : m_groundLevel(groundLevel)
    {
    }

    void add(const OKUEvent &event)
    {
        const CsvSectionKind *kind = csvSectionKindOf(event);
        if (!kind)
            return;
        auto section = std::find_if(m_sections.begin(), m_sections.end(),
                                    [kind](const Section &s) { return s.kind == kind; });
        if (section == m_sections.end()) {
            const QByteArray header(kind->header);
            m_sections.push_back({kind, QByteArray(header.count(','), ','), {}});
            section = m_sections.end() - 1;
        }
        section->events.push_back(&event);
    }

    void write(AtomicTextFile &file) const
    {
        std::size_t rows = 0;
        for (const Section &section : m_sections)
            rows = std::max(rows, section.events.size() + 1);
        for (std::size_t row = 0; row < rows; ++row) {
            QByteArray &line = file.line();
            for (std::size_t i = 0; i < m_sections.size(); ++i) {
                if (i > 0)
                    line.append(',');
                m_sections[i].appendCells(line, row, m_groundLevel);
            }
            file.endLine();
        }
    }

private:
    struct Section {
        const CsvSectionKind *kind;
        QByteArray padding;
        std::vector<const OKUEvent *> events;

        void appendCells(QByteArray &line, std::size_t row, float groundLevel) const
        {
            if (row == 0) {
                line.append(kind->header);
            } else if (row <= events.size()) {
                const OKUEvent &event = *events[row - 1];
                appendNumber(line, event.time);
                kind->appendFields(line, event, groundLevel);
            } else {
                line.append(padding);
            }
        }
    };

    float m_groundLevel;
    std::vector<Section> m_sections;
};

} // namespace

bool OKUKIPOFlight::exportCSV(const QString &path) const
{
    trace(QStringLiteral("CSV path: ") + path);
    AtomicTextFile file(path);
    if (!file.isOpen())
        return false;
    CsvWorkbook workbook(groundLevel());
    for (const OKUEvent *event : events)
        workbook.add(*event);
    workbook.write(file);
    return file.commit();
}

// ---- KML track ----

bool OKUKIPOFlight::exportKML(const QString &path) const
{
    trace(QStringLiteral("KML path: ") + path);
    AtomicTextFile file(path);
    if (!file.isOpen())
        return false;
    std::vector<const OKUEvent_GPSLLSol *> fixes;
    for (const OKUEvent *event : events) {
        const auto *gps = eventAs<OKUEvent_GPSLLSol>(event);
        if (gps && gps->solution3D)
            fixes.push_back(gps);
    }
    const auto writeLine = [&file](const char *text) {
        file.line().append(text);
        file.endLine();
    };
    const auto writeCoordinates = [&file, &fixes](bool withAltitude) {
        for (const OKUEvent_GPSLLSol *fix : fixes) {
            QByteArray &line = file.line();
            appendNumber(line, fix->longitude, 10);
            appendCell(line, fix->latitude, 10);
            if (withAltitude)
                appendCell(line, fix->altitude, 10);
            file.endLine();
        }
    };
    writeLine("<?xml version=\"1.0\" encoding=\"UTF-8\"?>");
    writeLine("<kml xmlns=\"http://earth.google.com/kml/2.1\">");
    writeLine("<Document><name>OKU KIPO Flight</name><visibility>1</visibility><Folder><name>Track</name>");
    writeLine("<Placemark><name>Aeronautic</name>");
    writeLine("<Style><LineStyle><color>C80000FF</color><width>4</width></LineStyle></Style>");
    writeLine("<LineString><altitudeMode>absolute</altitudeMode><coordinates>");
    writeCoordinates(true);
    writeLine("</coordinates></LineString></Placemark>");
    writeLine("<Placemark><name>Clamped to ground</name>");
    writeLine("<Style><LineStyle><color>C800FFFF</color><width>4</width></LineStyle></Style>");
    writeLine("<LineString><altitudeMode>clampToGround</altitudeMode><coordinates>");
    writeCoordinates(false);
    writeLine("</coordinates></LineString>");
    writeLine("</Placemark></Folder></Document></kml>");
    return file.commit();
}

// ---- Emulation data ----

namespace {

// Whether a 3D fix lies within 0.25 s before t, for ascending t.  The scan
// resumes where the previous one stopped: at the fix it found or at the
// first solution later than t.
class GpsValidity {
public:
    explicit GpsValidity(const EventList &events)
        : m_events(events)
    {
    }

    bool at(float t)
    {
        for (; m_next < m_events.size(); ++m_next) {
            const auto *gps = eventAs<OKUEvent_GPSLLSol>(m_events[m_next]);
            if (!gps)
                continue;
            if (gps->time > t)
                return false;
            if (gps->solution3D && t - gps->time <= 0.25f)
                return true;
        }
        return false;
    }

private:
    const EventList &m_events;
    std::size_t m_next = 0;
};

// Time stamps of a damaged file may span more than any recording: its rows
// could never all be written, so the export refuses before touching the file.
bool rowsCanBeWritten(float first, float last)
{
    return scanSteps(first, last, 0.01) >= 0;
}

void appendFixedCell(QByteArray &text, double value)
{
    text.append(',');
    appendFixed(text, value, 2);
}

} // namespace

bool OKUKIPOFlight::exportEmulationData(const QString &path) const
{
    if (!rowsCanBeWritten(firstEventTime(), lastEventTime()))
        return false;
    AtomicTextFile file(path);
    if (!file.isOpen())
        return false;
    file.line().append("Time[s],Pressure altitude [m],GPS altitude [m],GPS Valid,Acceleration x [m/s^2], "
                       "Acceleration y [m/s^2], Acceleration z [m/s^2], Gyro x [deg/s], Gyro y [deg/s], "
                       "Gyro z [deg/s]");
    file.endLine();
    // The device reads what the board measured, so an inverted flight
    // goes back to its recorded sign.
    const float accelZSign = accelInverted ? -1.0f : 1.0f;
    GpsValidity gpsValidity(events);
    bool gpsValid = false;
    forEachHundredth(firstEventTime(), lastEventTime(), [&](long row, double exactTime) {
        const float t = float(exactTime);
        if (row % 10 == 0)
            gpsValid = gpsValidity.at(t);
        QByteArray &line = file.line();
        appendFixed(line, exactTime, 2);
        appendFixedCell(line, ::sampleSeries(pressureAltitude, t).value);
        appendFixedCell(line, ::sampleSeries(gpsAltitude, t).value);
        line.append(gpsValid ? ",1" : ",0");
        appendFixedCell(line, ::sampleSeries(accelX, t).value * 9.81f);
        appendFixedCell(line, ::sampleSeries(accelY, t).value * 9.81f);
        appendFixedCell(line, ::sampleSeries(accelZ, t).value * 9.81f * accelZSign);
        appendFixedCell(line, ::sampleSeries(gyroX, t).value);
        appendFixedCell(line, ::sampleSeries(gyroY, t).value);
        appendFixedCell(line, ::sampleSeries(gyroZ, t).value);
        file.endLine();
    });
    return file.commit();
}

// ---- Thrust sheet ----

bool OKUKIPOFlight::exportThrustData(const QString &path, double totalMass, double propellantMass) const
{
    if (!rowsCanBeWritten(firstEventTime(), lastEventTime()))
        return false;
    AtomicTextFile file(path);
    if (!file.isOpen())
        return false;
    constexpr double g = 9.81;
    const float launch = launchTime();
    const float peakVelocity = peakVelocityTime();

    // Burnout: the lowest acceleration within 2 s after the fastest moment.
    const float burnout = firstExtreme(accelZ, Extreme::Lowest, peakVelocity, peakVelocity, peakVelocity + 2.0f, 0.1).time;

    SheetGrid sheet;
    const char *headers[] = {"Velocity [m/s]", "Acceleration [m/s^2]", "Time[s]", "Acceleration [m/s^2]",
                             "Velocity [m/s]", "Rocket mass [kg]", "Drag [N]", "Motor Thrust [N]"};
    for (int column = 0; column < 8; ++column)
        sheet.set(0, column, headers[column]);
    sheet.set(0, 10, "Total rocket mass (incl. propellent) [kg]");
    sheet.setNumber(0, 11, totalMass);
    sheet.set(1, 10, "Total propellent mass [kg]");
    sheet.setNumber(1, 11, propellantMass);

    // Coasting, the accelerometer reads drag alone: fit it against velocity.
    std::vector<double> coastVelocity, coastAcceleration;
    forEachHundredth(burnout, apogeeTime() - 1.0f, [&](long, double exactTime) {
        const float t = float(exactTime);
        coastVelocity.push_back(::sampleSeries(kalmanVelocity, t).value);
        coastAcceleration.push_back(double(::sampleSeries(accelZ, t).value) * g);
    });
    QString error;
    const std::optional<CubicFit> dragAcceleration = CubicFit::fit(coastVelocity, coastAcceleration, &error);
    if (!dragAcceleration) {
        trace(error);
        return false;
    }
    for (std::size_t i = 0; i < coastVelocity.size(); ++i) {
        sheet.setNumber(int(i) + 1, 0, coastVelocity[i]);
        sheet.setNumber(int(i) + 1, 1, coastAcceleration[i]);
    }

    const double dryMass = totalMass - propellantMass;
    const double burnTime = double(burnout) - double(launch);
    const auto thrustAt = [&](float t, double mass) {
        const double force = ((double(::sampleSeries(accelZ, t).value) - 1.0) * g + g) * mass;
        const double drag = (*dragAcceleration)(::sampleSeries(kalmanVelocity, t).value) * dryMass;
        return std::make_pair(std::max(force - drag, 0.0), drag);
    };

    // First pass: impulse over time with the propellant burning evenly, to
    // learn how the impulse accumulates.
    Series impulseSoFar;
    double impulse = 0.0;
    forEachHundredth(launch, burnout, [&](long, double exactTime) {
        const float t = float(exactTime);
        const double tau = exactTime - double(launch);
        const double burntShare = burnTime > 0.0 ? std::min(tau, burnTime) / burnTime : 0.0;
        const double mass = totalMass - burntShare * propellantMass;
        impulse += thrustAt(t, mass).first * 0.01;
        impulseSoFar.push_back({float(tau), float(impulse), 0.0f});
    });

    // Second pass: the propellant burns in proportion to the impulse given.
    const double totalImpulse = impulse;
    double totalThrust = 0.0;
    int row = 1;
    forEachHundredth(launch, burnout, [&](long, double exactTime) {
        const float t = float(exactTime);
        const float tau = float(exactTime - double(launch));
        const double burntShare =
            totalImpulse > 0.0 ? double(::sampleSeries(impulseSoFar, tau).value) / totalImpulse : 0.0;
        const double mass = totalMass - burntShare * propellantMass;
        const double netAcceleration = (double(::sampleSeries(accelZ, t).value) - 1.0) * g;
        const auto [thrust, drag] = thrustAt(t, mass);
        sheet.setNumber(row, 2, tau);
        sheet.setNumber(row, 3, netAcceleration);
        sheet.setNumber(row, 4, ::sampleSeries(kalmanVelocity, t).value);
        sheet.setNumber(row, 5, mass);
        sheet.setNumber(row, 6, drag);
        sheet.setNumber(row, 7, thrust);
        totalThrust += thrust * 0.01;
        ++row;
    });

    sheet.set(3, 10, "Total thrust [Ns]");
    sheet.setNumber(3, 11, totalThrust);
    sheet.set(4, 10, "ISP [s]");
    if (propellantMass > 0.0)
        sheet.setNumber(4, 11, totalThrust * 0.1019368 / propellantMass);
    sheet.write(file);
    return file.commit();
}
