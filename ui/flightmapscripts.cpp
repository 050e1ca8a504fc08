#include "ui/flightmapscripts.h"

#include "model/eventcast.h"
#include "model/flight.h"

#include <algorithm>
#include <cmath>
#include <vector>

namespace flightmap {

namespace {

std::vector<const OKUEvent_GPSLLSol *> threeDimensionalFixes(const OKUKIPOFlight &flight)
{
    std::vector<const OKUEvent_GPSLLSol *> fixes;
    for (const OKUEvent *event : flight.events) {
        const auto *gps = eventAs<OKUEvent_GPSLLSol>(event);
        if (gps && gps->solution3D)
            fixes.push_back(gps);
    }
    return fixes;
}

QString degrees(double value)
{
    return QString::number(value, 'f', 12);
}

} // namespace

QString guarded(const QString &call)
{
    return QStringLiteral("try {") + call + QStringLiteral(" } catch(e){ console.log(e); }");
}

QString plotKmlCall(const OKUKIPOFlight &flight, bool kalmanAltitude)
{
    QString document = QStringLiteral(
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>"
        "<kml xmlns=\"http://earth.google.com/kml/2.1\">"
        "<Document><name>OKU KIPO Flight</name><visibility>1</visibility><Folder><name>Track</name>"
        "<Placemark><name>Aeronautic</name>"
        "<Style><LineStyle><color>C80000FF</color><width>4</width></LineStyle></Style>"
        "<LineString><altitudeMode>absolute</altitudeMode><coordinates>");
    for (const OKUEvent_GPSLLSol *fix : threeDimensionalFixes(flight)) {
        const double altitude = kalmanAltitude ? double(OKUKIPOFlight::sampleSeries(flight.kalmanAltitude, fix->time).value)
                                               : double(fix->altitude);
        document += degrees(fix->longitude) + QLatin1Char(',') + degrees(fix->latitude) + QLatin1Char(',')
            + QString::number(altitude, 'g', 6) + QLatin1Char(' ');
    }
    document += QStringLiteral("</coordinates></LineString></Placemark></Folder></Document></kml>");
    return QStringLiteral("plotKML('") + document + QStringLiteral("');");
}

QString groundTrackCall(const OKUKIPOFlight &flight)
{
    QString track = QStringLiteral("[");
    float lastLatitude = 0.0f;
    float lastLongitude = 0.0f;
    for (const OKUEvent_GPSLLSol *fix : threeDimensionalFixes(flight)) {
        if (std::fabs(fix->latitude - lastLatitude) <= 0.001 && std::fabs(fix->longitude - lastLongitude) <= 0.001)
            continue;
        track += degrees(fix->longitude) + QLatin1Char(',') + degrees(fix->latitude) + QLatin1Char(',');
        lastLatitude = float(fix->latitude);
        lastLongitude = float(fix->longitude);
    }
    track += QLatin1Char(']');
    return QStringLiteral("plotGroudTrack(") + track + QStringLiteral(");");
}

QString placemarkCall(const OKUKIPOFlight &flight)
{
    const auto fixes = threeDimensionalFixes(flight);
    if (fixes.empty())
        return {};
    const OKUEvent_GPSLLSol *last = fixes.back();
    return QStringLiteral("setPlacemark(") + QString::number(last->latitude, 'f', 10) + QStringLiteral(", ")
        + QString::number(last->longitude, 'f', 10) + QStringLiteral(");");
}

QString flyToCall()
{
    return QStringLiteral("try { flyTo(); } catch(e){}");
}

std::optional<tiles::GeoBox> trackBox(const OKUKIPOFlight &flight, double marginKm)
{
    std::optional<tiles::GeoBox> box;
    for (const OKUEvent_GPSLLSol *fix : threeDimensionalFixes(flight)) {
        const tiles::GeoBox around = tiles::boxAround(fix->latitude, fix->longitude, marginKm);
        if (!box)
            box = around;
        box->south = std::min(box->south, around.south);
        box->west = std::min(box->west, around.west);
        box->north = std::max(box->north, around.north);
        box->east = std::max(box->east, around.east);
    }
    return box;
}

} // namespace flightmap
