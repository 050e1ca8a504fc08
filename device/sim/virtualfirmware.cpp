#include "device/sim/virtualfirmware.h"

#include "device/sim/flightmodel.h"
#include "device/sim/gpstime.h"

#include <QtEndian>
#include <algorithm>

namespace okukipo::sim {
namespace {

constexpr quint8 EmptyAlmanacSlot = 0xFF;
constexpr int AlmanacBytes = 24;

template<typename T>
T readLittleEndian(const QByteArray &data, int offset)
{
    if (offset < 0 || data.size() - offset < int(sizeof(T)))
        return T(0);
    return qFromLittleEndian<T>(data.constData() + offset);
}

template<typename T>
void appendLittleEndian(QByteArray &data, T value)
{
    char bytes[sizeof(T)];
    qToLittleEndian(value, bytes);
    data.append(bytes, int(sizeof(T)));
}

FirmwareAnswer answer(quint8 code, const QByteArray &data = {})
{
    FirmwareAnswer reply;
    reply.packets.append({code, data});
    return reply;
}

} // namespace

VirtualFirmware::VirtualFirmware()
    : settings(factorySettings())
    , flash(demoFlashImage())
    , emulation(lineRulesOf(settings))
{
    storedAlmanacs.fill(EmptyAlmanacSlot);
    for (quint8 satellite : {2, 5, 6, 12, 14, 17, 19, 24, 25, 29})
        receiverAlmanacs.append(satellite);
    lineOffAtMs.fill(0);
}

FirmwareAnswer VirtualFirmware::handle(quint8 code, const QByteArray &data, qint64 nowMs)
{
    if (code != 0x21 && code != 0x07)
        receivingSettings = false; // anything else abandons a settings write
    FirmwareAnswer reply;
    switch (code) {
    case 0x03:
        reply = readEvent(readLittleEndian<quint8>(data, 0), nowMs);
        break;
    case 0x06:
        if (clashNextChecksum) {
            clashNextChecksum = false;
            reply = answer(Clash);
        } else {
            reply.chunked = settings.deviceBytes();
        }
        break;
    case 0x07:
        receivingSettings = true;
        receivedSettings.clear();
        break;
    case 0x21:
        if (receivingSettings)
            reply = receiveSettingsChunk(data);
        break;
    case 0x0A:
        reply = answer(Done);
        reply.exitToBootloader = true;
        break;
    case 0x0B:
        reply = answer(AlmanacList, QByteArray(reinterpret_cast<const char *>(storedAlmanacs.data()), int(storedAlmanacs.size())));
        break;
    case 0x0D:
        reply = readAlmanac(readLittleEndian<quint8>(data, 0));
        break;
    case 0x0F:
        storedAlmanacs.fill(EmptyAlmanacSlot);
        std::copy_n(receiverAlmanacs.cbegin(), std::min<size_t>(size_t(receiverAlmanacs.size()), storedAlmanacs.size()),
                    storedAlmanacs.begin());
        reply = answer(Done);
        break;
    case 0x10: {
        const auto stored = std::count_if(storedAlmanacs.begin(), storedAlmanacs.end(),
                                          [](quint8 slot) { return slot != EmptyAlmanacSlot && slot != 0; });
        reply = answer(Done, QByteArray(1, char(stored)));
        break;
    }
    case 0x11: {
        const int line = readLittleEndian<quint8>(data, 0);
        if (line < 4) {
            lineOffAtMs[size_t(line)] = nowMs + settings.lineOnTime[line] * 100;
            reply = answer(Done);
        } else {
            reply = answer(Clash);
        }
        break;
    }
    case 0x13:
        storedAlmanacs.fill(EmptyAlmanacSlot);
        reply = answer(Done);
        break;
    case 0x14:
        settings = factorySettings();
        reply = answer(Done);
        break;
    case 0x15:
        flash.clear();
        reply = answer(Done);
        break;
    case 0x16:
        reply = readFlash(data);
        break;
    case 0x18: {
        QByteArray used;
        appendLittleEndian<quint32>(used, quint32(flash.size()));
        reply = answer(Done, used);
        break;
    }
    case 0x19:
        emulation = FlightLogic(lineRulesOf(settings));
        emulation.begin(readLittleEndian<quint32>(data, 0));
        emulationBegun = true;
        reply = answer(Done);
        break;
    case 0x20:
        reply = emulationStep(data);
        break;
    case 0xFF:
        reply = answer(Idle);
        break;
    default:
        break; // unknown requests go unanswered
    }
    if (reply.exchange == 0)
        reply.exchange = code;
    return reply;
}

LiveSensors::Lines VirtualFirmware::lineStates(qint64 nowMs) const
{
    LiveSensors::Lines lines;
    for (int line = 0; line < 4; ++line)
        lines.states[size_t(line)] = lineReading(nowMs < lineOffAtMs[size_t(line)], settings.lineMode[line] != OKUKIPOSettings::Disabled);
    return lines;
}

FirmwareAnswer VirtualFirmware::readEvent(quint8 eventCode, qint64 nowMs)
{
    const QByteArray event = sensors.read(eventCode, nowMs, QDateTime::currentDateTimeUtc(), settings.pressureOffset, lineStates(nowMs));
    return event.isEmpty() ? answer(Clash) : answer(Event, event);
}

FirmwareAnswer VirtualFirmware::receiveSettingsChunk(const QByteArray &data)
{
    const int count = std::min<int>(readLittleEndian<quint8>(data, 2), 60);
    receivedSettings.append(data.mid(3, count).left(OKUKIPOSettings::deviceSize - receivedSettings.size()));
    if (receivedSettings.size() < OKUKIPOSettings::deviceSize)
        return {};
    receivingSettings = false;
    FirmwareAnswer reply;
    const OKUKIPOSettings received = OKUKIPOSettings::fromDeviceBytes(receivedSettings);
    if (clashNextChecksum || !received.hasValidChecksum()) {
        clashNextChecksum = false;
        reply = answer(Clash);
    } else {
        settings = received;
        settings.valid = false;
        reply = answer(Done);
    }
    reply.exchange = 0x07;
    return reply;
}

FirmwareAnswer VirtualFirmware::readFlash(const QByteArray &data)
{
    const qint64 offset = readLittleEndian<quint32>(data, 0);
    const qint64 length = readLittleEndian<quint32>(data, 4);
    // Past the used part the memory is erased; past its end there is nothing to send.
    const qint64 end = std::min<qint64>(offset + length, FlashCapacity);
    FirmwareAnswer reply;
    if (offset < end) {
        reply.chunked = flash.mid(int(offset), int(end - offset));
        reply.chunked.append(int(end - offset) - reply.chunked.size(), char(0xFF));
    }
    return reply;
}

FirmwareAnswer VirtualFirmware::emulationStep(const QByteArray &data)
{
    SensorFrame frame;
    frame.pressure = readLittleEndian<quint32>(data, 0);
    frame.gpsAltitude = readLittleEndian<qint32>(data, 4) * 0.001;
    frame.gpsValid = readLittleEndian<quint8>(data, 8) != 0;
    for (int axis = 0; axis < 3; ++axis) {
        frame.accel[size_t(axis)] = readLittleEndian<qint16>(data, 9 + 2 * axis) / 256.0;
        frame.gyro[size_t(axis)] = readLittleEndian<qint16>(data, 15 + 2 * axis) * 0.07;
    }
    if (!emulationBegun) {
        emulation.begin(frame.pressure);
        emulationBegun = true;
    }
    const FlightLogicOutput &out = emulation.step(frame);
    ++emulationSteps;

    QByteArray result;
    result.append(char(out.state));
    appendLittleEndian<float>(result, float(out.altitude));
    appendLittleEndian<float>(result, float(out.velocity));
    appendLittleEndian<float>(result, float(out.acceleration));
    for (bool on : out.lines)
        result.append(char(on ? 1 : 0));
    for (double component : {out.orientation.w, out.orientation.x, out.orientation.y, out.orientation.z})
        appendLittleEndian<float>(result, float(component));
    return answer(Done, result);
}

FirmwareAnswer VirtualFirmware::readAlmanac(quint8 satellite)
{
    const bool stored = satellite != 0 && satellite != EmptyAlmanacSlot
                        && std::find(storedAlmanacs.begin(), storedAlmanacs.end(), satellite) != storedAlmanacs.end();
    if (!stored)
        return answer(Clash);
    QByteArray almanac(1, char(satellite));
    appendLittleEndian<quint16>(almanac, gpsWeekTime(QDateTime::currentDateTimeUtc()).week);
    for (int i = 0; i < AlmanacBytes; ++i)
        almanac.append(char((satellite * 37 + i * 11) & 0xFF));
    return answer(Almanac, almanac);
}

} // namespace okukipo::sim
