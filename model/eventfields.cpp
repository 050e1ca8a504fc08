#include "model/eventfields.h"

#include "model/eventcast.h"

#include <cmath>
#include <cstdio>

namespace {

QVariantList boolList(const bool (&flags)[4])
{
    return {flags[0], flags[1], flags[2], flags[3]};
}

QString storedText(const std::string &text)
{
    return QString::fromLatin1(text.data(), int(text.size()));
}

void addLineFields(EventDescription &description, const OKULineReading &line)
{
    description.fields += {{"flag15", line.flag15}, {"flag14", line.flag14}, {"voltage", line.voltage}};
}

// Fills the class name and own fields; a class not listed keeps the defaults.
void describeOwnFields(const OKUEvent &event, EventDescription &d)
{
    if (auto *e = eventAs<OKUEvent_DeltaTime>(&event)) {
        d = {"OKUEvent_DeltaTime", {{"deltaMs", e->deltaMs}}};
    } else if (auto *e = eventAs<OKUEvent_Text>(&event)) {
        d = {"OKUEvent_Text", {{"text", storedText(e->text)}}};
    } else if (auto *e = eventAs<OKUEvent_AccelZ>(&event)) {
        d = {"OKUEvent_AccelZ", {{"accelZ", e->accelZ}}};
    } else if (auto *e = eventAs<OKUEvent_AccelXY>(&event)) {
        d = {"OKUEvent_AccelXY", {{"accelX", e->accelX}, {"accelY", e->accelY}}};
    } else if (auto *e = eventAs<OKUEvent_GyroXYZ>(&event)) {
        d = {"OKUEvent_GyroXYZ", {{"x", e->x}, {"y", e->y}, {"z", e->z}}};
    } else if (auto *e = eventAs<OKUEvent_MagXYZ>(&event)) {
        d = {"OKUEvent_MagXYZ", {{"x", e->x}, {"y", e->y}, {"z", e->z}}};
    } else if (auto *e = eventAs<OKUEvent_Pressure>(&event)) {
        d = {"OKUEvent_Pressure", {{"pressure", e->pressure}}};
    } else if (auto *e = eventAs<OKUEvent_ComputerBattery>(&event)) {
        d = {"OKUEvent_ComputerBattery", {{"voltage", e->voltage}}};
    } else if (auto *e = eventAs<OKUEvent_EjectionBattery>(&event)) {
        d = {"OKUEvent_EjectionBattery", {{"voltage", e->voltage}}};
    } else if (auto *e = eventAs<OKUEvent_Temperature>(&event)) {
        d = {"OKUEvent_Temperature", {{"temperature", e->temperature}}};
    } else if (auto *e = eventAs<OKUEvent_LineA>(&event)) {
        d.className = "OKUEvent_LineA";
        addLineFields(d, *e);
    } else if (auto *e = eventAs<OKUEvent_LineB>(&event)) {
        d.className = "OKUEvent_LineB";
        addLineFields(d, *e);
    } else if (auto *e = eventAs<OKUEvent_LineC>(&event)) {
        d.className = "OKUEvent_LineC";
        addLineFields(d, *e);
    } else if (auto *e = eventAs<OKUEvent_LineD>(&event)) {
        d.className = "OKUEvent_LineD";
        addLineFields(d, *e);
    } else if (auto *e = eventAs<OKUEvent_GPSLLSol>(&event)) {
        d = {"OKUEvent_GPSLLSol",
             {{"latitude", e->latitude}, {"longitude", e->longitude}, {"altitude", e->altitude},
              {"satellites", e->satellites}, {"solution3D", e->solution3D}}};
    } else if (auto *e = eventAs<OKUEvent_GPSTime>(&event)) {
        d = {"OKUEvent_GPSTime",
             {{"timeOfWeek", e->timeOfWeek}, {"week", uint(e->week)}, {"timeValid", e->timeValid},
              {"flag6", e->flag6}, {"leapSeconds", e->leapSeconds}}};
    } else if (auto *e = eventAs<OKUEvent_Status>(&event)) {
        d = {"OKUEvent_Status",
             {{"state", e->state}, {"lineAlert", boolList(e->lineAlert)},
              {"lineContinuity", boolList(e->lineContinuity)}, {"lineOther", boolList(e->lineOther)}}};
    } else if (auto *e = eventAs<OKUEvent_RSSI>(&event)) {
        d = {"OKUEvent_RSSI", {{"rssi", e->rssi}}};
    } else if (auto *e = eventAs<OKUEvent_Ident>(&event)) {
        d = {"OKUEvent_Ident", {{"text", storedText(e->text)}}};
    } else if (auto *e = eventAs<OKUEvent_Orientation>(&event)) {
        d = {"OKUEvent_Orientation", {{"x", e->x}, {"y", e->y}, {"z", e->z}, {"w", e->w}}};
    } else if (auto *e = eventAs<OKUEvent_AuxDInput>(&event)) {
        d = {"OKUEvent_AuxDInput", {{"value", uint(e->value)}}};
    } else if (auto *e = eventAs<OKUEvent_AuxEInput>(&event)) {
        d = {"OKUEvent_AuxEInput", {{"value", uint(e->value)}}};
    }
}

QByteArray formatNumber(double value, int significantDigits)
{
    // JSON has no NaN or infinity.
    if (!std::isfinite(value))
        return QByteArrayLiteral("null");
    char text[40];
    std::snprintf(text, sizeof text, "%.*g", significantDigits, value);
    return QByteArray(text);
}

} // namespace

EventDescription describeEvent(const OKUEvent &event)
{
    EventDescription own;
    describeOwnFields(event, own);
    EventDescription description;
    description.className = own.className;
    description.fields = {{"time", event.time}, {"referenceVoltage", event.referenceVoltage}};
    description.fields += own.fields;
    return description;
}

QByteArray jsonString(const QString &text)
{
    // Converted whole, so that characters of two UTF-16 units stay one
    // character; every byte of a multi-byte sequence is 0x80 or above.
    const QByteArray utf8 = text.toUtf8();
    QByteArray json;
    json.reserve(utf8.size() + 2);
    json += '"';
    for (const char byte : utf8) {
        if (byte == '"' || byte == '\\') {
            json += '\\';
            json += byte;
        } else if (uchar(byte) < 0x20) {
            char escape[7];
            std::snprintf(escape, sizeof escape, "\\u%04x", unsigned(uchar(byte)));
            json += escape;
        } else {
            json += byte;
        }
    }
    return json + '"';
}

QByteArray jsonValue(const QVariant &value)
{
    switch (int(value.type())) {
    case QMetaType::Float:
        return formatNumber(double(value.toFloat()), 9);
    case QMetaType::Double:
        return formatNumber(value.toDouble(), 17);
    case QMetaType::Bool:
        return value.toBool() ? QByteArrayLiteral("true") : QByteArrayLiteral("false");
    case QMetaType::Int:
    case QMetaType::UInt:
        return value.toString().toLatin1();
    case QMetaType::QVariantList: {
        QByteArray json = "[";
        const QVariantList items = value.toList();
        for (int i = 0; i < items.size(); ++i)
            json += (i ? ", " : "") + jsonValue(items.at(i));
        return json + ']';
    }
    default:
        return jsonString(value.toString());
    }
}
