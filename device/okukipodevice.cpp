#include "device/okukipodevice.h"

#include "model/events.h"
#include "model/trace.h"

#include <QtEndian>
#include <cstring>

namespace {

using okukipo::trace;

constexpr int ReadEventTimeoutMs = 10;
constexpr int IdleReplyTimeoutMs = 500;

// Chunk data: index (2 bytes), payload length N, then N payload bytes.
constexpr int ChunkLengthByte = 2;
constexpr int ChunkPayloadOffset = 3;

QByteArray littleEndian32(quint32 value)
{
    QByteArray bytes(4, '\0');
    qToLittleEndian(value, bytes.data());
    return bytes;
}

QByteArray littleEndian16(quint16 value)
{
    QByteArray bytes(2, '\0');
    qToLittleEndian(value, bytes.data());
    return bytes;
}

float floatAt(const QByteArray &data, int offset)
{
    float value;
    const quint32 bits = qFromLittleEndian<quint32>(data.constData() + offset);
    std::memcpy(&value, &bits, sizeof value);
    return value;
}

quint8 chunkLength(const OKUPacket &chunk)
{
    return quint8(chunk.data.at(ChunkLengthByte));
}

} // namespace

QString OKUKIPODevice::resultText(int result)
{
    switch (result) {
    case OKUResultOk: return QStringLiteral("Ok");
    case OKUResultNoDevice: return QStringLiteral("No device");
    case OKUResultIncorrectBootVersion: return QStringLiteral("Incorrect boot version");
    case OKUResultIncorrectVersion: return QStringLiteral("Incorrect version");
    case OKUResultChecksumError: return QStringLiteral("Checksum error");
    case OKUResultProtocolError: return QStringLiteral("Protocol error");
    case OKUResultGenericError: return QStringLiteral("Generic error");
    default: return QStringLiteral("Unknown error");
    }
}

int OKUKIPODevice::connectFirmware(quint16 *foundVersion)
{
    const QVector<HIDDeviceInfo> any = findDevices(OKUFirmwareProductId, OKUFirmwareSeries, 0);
    const QVector<HIDDeviceInfo> accepted = matching(any, OKUFirmwareProductId, OKUFirmwareSeries, OKUSeriesMask);
    if (!accepted.isEmpty()) {
        select(accepted.first());
        if (open())
            return OKUResultOk;
        trace(QStringLiteral("Generic connection error."));
        return OKUResultGenericError;
    }
    if (!any.isEmpty()) {
        if (foundVersion)
            *foundVersion = any.first().versionNumber;
        trace(QStringLiteral("Version: ") + QString::number(any.first().versionNumber));
        trace(QStringLiteral("Device found, but wrong version."));
        return OKUResultIncorrectVersion;
    }
    trace(QStringLiteral("No device found."));
    return OKUResultNoDevice;
}

HIDReport packetReport(const OKUPacket &packet)
{
    HIDReport report{};
    report[1] = packet.code;
    const int length = qMin(packet.data.size(), OKUPacketDataSize);
    std::memcpy(report.data() + 2, packet.data.constData(), size_t(length));
    return report;
}

bool OKUKIPODevice::writePacket(const OKUPacket &packet, int timeoutMs)
{
    // The device reads code 1 as its own idle answer, never as a request.
    if (packet.code == OKUPacketCode::Idle) {
        trace(QStringLiteral("ERROR - CODE READS 1!"));
        return false;
    }
    return writeReport(packetReport(packet), timeoutMs);
}

bool OKUKIPODevice::readPacket(OKUPacket &packet, int timeoutMs)
{
    HIDReport report{};
    if (!readReport(report, timeoutMs))
        return false;
    packet.code = report[1];
    packet.data = QByteArray(reinterpret_cast<const char *>(report.data() + 2), OKUPacketDataSize);
    return true;
}

int OKUKIPODevice::request(quint8 code, const QByteArray &data, int replyTimeoutMs, OKUPacket *reply,
                           int silentResult)
{
    if (!isOpen())
        return OKUResultNoDevice;
    if (!writePacket({code, data}, OKUDefaultTimeoutMs))
        return OKUResultGenericError;
    OKUPacket received;
    if (!readPacket(received, replyTimeoutMs))
        return silentResult;
    if (reply)
        *reply = received;
    return received.code == OKUPacketCode::Done ? OKUResultOk : OKUResultProtocolError;
}

std::unique_ptr<OKUEvent> OKUKIPODevice::readEvent(quint8 typeCode)
{
    if (!isOpen())
        return nullptr;
    if (!writePacket({OKUPacketCode::ReadEvent, QByteArray(1, char(typeCode))}, ReadEventTimeoutMs)) {
        trace(QStringLiteral("FAILED TO WRITE. code: ") + QString::number(typeCode));
        close();
        return nullptr;
    }
    OKUPacket reply;
    if (!readPacket(reply, ReadEventTimeoutMs)) {
        trace(QStringLiteral("failed to read event"));
        close();
        return nullptr;
    }
    if (reply.code != OKUPacketCode::Event) {
        trace(QStringLiteral("not an event. code: ") + QString::number(reply.code));
        returnToIdle();
        return nullptr;
    }
    return std::unique_ptr<OKUEvent>(decodeEvent(reply.data));
}

int OKUKIPODevice::readSettings()
{
    if (!isOpen())
        return OKUResultNoDevice;
    trace(QStringLiteral("enter settings"));
    if (!writePacket({OKUPacketCode::ReadSettings, {}}, OKUDefaultTimeoutMs)) {
        trace(QStringLiteral("FAILED TO READ. (read settings 1): "));
        trace(QStringLiteral("exit settings"));
        return OKUResultGenericError;
    }
    trace(QStringLiteral("done txing"));

    int received = 0;
    while (received < OKUSettingsSize) {
        OKUPacket chunk;
        if (!readPacket(chunk, OKUDefaultTimeoutMs)) {
            returnToIdle();
            return OKUResultGenericError;
        }
        if (chunk.code == OKUPacketCode::Clash) {
            trace(QStringLiteral("error - checksum or firmware clash"));
            trace(QStringLiteral("exit settings"));
            returnToIdle();
            return OKUResultGenericError;
        }
        if (chunk.code != OKUPacketCode::DataChunk) {
            trace(QStringLiteral("Wrong code: ") + QString::number(chunk.code));
            returnToIdle();
            return OKUResultProtocolError;
        }
        const int remaining = OKUSettingsSize - received;
        const int length = chunkLength(chunk);
        // A full chunk when fewer bytes remain would run past the record.
        if ((length < OKUChunkPayloadMax && length != remaining)
            || (length == OKUChunkPayloadMax && remaining < OKUChunkPayloadMax)) {
            trace(QStringLiteral("Incorrect byte count1"));
            returnToIdle();
            return OKUResultProtocolError;
        }
        if (length > OKUChunkPayloadMax) {
            trace(QStringLiteral("Incorrect byte count2"));
            returnToIdle();
            return OKUResultProtocolError;
        }
        std::memcpy(settings.data() + received, chunk.data.constData() + ChunkPayloadOffset, size_t(length));
        received += length;
    }
    trace(QStringLiteral("exit settings"));
    return OKUResultOk;
}

int OKUKIPODevice::writeSettings()
{
    if (!isOpen())
        return OKUResultNoDevice;
    OKUKIPOSettings record = settingsRecord();
    record.updateChecksum();
    setSettingsRecord(record);
    if (!writePacket({OKUPacketCode::BeginSettingsWrite, {}}, OKUDefaultTimeoutMs))
        return OKUResultGenericError;

    int sent = 0;
    for (quint16 index = 0; sent < OKUSettingsSize; ++index) {
        const int length = qMin(OKUSettingsSize - sent, OKUChunkPayloadMax);
        trace(QStringLiteral("bytes: ") + QString::number(length));
        const QByteArray chunk = littleEndian16(index) + char(length)
            + QByteArray(reinterpret_cast<const char *>(settings.data() + sent), length);
        if (!writePacket({OKUPacketCode::DataChunk, chunk}, OKUDefaultTimeoutMs))
            return OKUResultGenericError;
        trace(QStringLiteral("wrote packet: ") + QString::number(index));
        sent += length;
    }

    OKUPacket reply;
    // A missing reply leaves the code 0, which is reported like any wrong one.
    readPacket(reply, OKUDefaultTimeoutMs);
    if (reply.code == OKUPacketCode::Done) {
        trace(QStringLiteral("successful write"));
        return OKUResultOk;
    }
    trace(QStringLiteral("error"));
    if (reply.code == OKUPacketCode::Clash) {
        trace(QStringLiteral("error - checksum or firmware clash"));
        return OKUResultGenericError;
    }
    return OKUResultProtocolError;
}

OKUKIPOSettings OKUKIPODevice::settingsRecord() const
{
    OKUKIPOSettings record =
        OKUKIPOSettings::fromDeviceBytes(QByteArray(reinterpret_cast<const char *>(settings.data()), OKUSettingsSize));
    record.valid = record.hasValidChecksum();
    return record;
}

void OKUKIPODevice::setSettingsRecord(const OKUKIPOSettings &record)
{
    const QByteArray bytes = record.deviceBytes();
    std::memcpy(settings.data(), bytes.constData(), settings.size());
}

int OKUKIPODevice::exitFirmware()
{
    const int result = request(OKUPacketCode::ExitFirmware, {}, OKUDefaultTimeoutMs, nullptr, OKUResultGenericError);
    if (result == OKUResultOk)
        close();
    return result;
}

int OKUKIPODevice::readFlash(QByteArray &flash, quint32 length, const FlashProgress &progress)
{
    flash.clear();
    if (!isOpen())
        return OKUResultNoDevice;
    if (!writePacket({OKUPacketCode::ReadFlash, littleEndian32(0) + littleEndian32(length)}, OKUDefaultTimeoutMs))
        return OKUResultGenericError;
    // The count comes from the device; reserve no more than the flash holds.
    flash.reserve(int(qMin<quint32>(length, OKUFlashMemorySize)));
    while (quint32(flash.size()) < length) {
        OKUPacket chunk;
        const int result = readFlashChunk(chunk);
        if (result != OKUResultOk) {
            // The device would go on streaming chunks into the next command.
            returnToIdle();
            return result;
        }
        // A padded last chunk must not grow the image beyond what was asked for.
        const int taken = int(qMin<quint32>(chunkLength(chunk), length - quint32(flash.size())));
        flash.append(chunk.data.constData() + ChunkPayloadOffset, taken);
        if (progress && progress(length, quint32(flash.size()))) {
            returnToIdle();
            return OKUResultOk;
        }
    }
    return OKUResultOk;
}

int OKUKIPODevice::readFlashChunk(OKUPacket &chunk)
{
    if (!readPacket(chunk, OKUDefaultTimeoutMs))
        return OKUResultGenericError;
    if (chunk.code != OKUPacketCode::DataChunk) {
        trace(QStringLiteral("Wrong code: ") + QString::number(chunk.code));
        return OKUResultProtocolError;
    }
    // A chunk cannot carry more than 60 payload bytes; a larger count
    // is corrupt and its bytes cannot be trusted.
    if (chunkLength(chunk) > OKUChunkPayloadMax) {
        trace(QStringLiteral("Incorrect byte count2"));
        return OKUResultProtocolError;
    }
    return OKUResultOk;
}

int OKUKIPODevice::returnToIdle()
{
    if (!isOpen())
        return OKUResultNoDevice;
    flushInput();
    if (!writePacket({OKUPacketCode::ReturnToIdle, {}}, OKUDefaultTimeoutMs))
        return OKUResultGenericError;
    OKUPacket reply;
    do {
        if (!readPacket(reply, IdleReplyTimeoutMs))
            return OKUResultGenericError;
    } while (reply.code != OKUPacketCode::Idle);
    return OKUResultOk;
}

int OKUKIPODevice::emulationStep(const OKUEmulationInput &input, OKUEmulationResult &result)
{
    QByteArray data(21, '\0');
    char *at = data.data();
    qToLittleEndian(input.pressure, at);
    qToLittleEndian(input.gpsAltitudeMm, at + 4);
    at[8] = char(input.gpsValid);
    for (int axis = 0; axis < 3; ++axis) {
        qToLittleEndian(input.accel[axis], at + 9 + 2 * axis);
        qToLittleEndian(input.gyro[axis], at + 15 + 2 * axis);
    }
    OKUPacket reply;
    const int outcome = request(OKUPacketCode::EmulationStep, data, OKUDefaultTimeoutMs, &reply, OKUResultGenericError);
    if (outcome != OKUResultOk)
        return outcome;
    result.state = quint8(reply.data.at(0));
    result.altitude = floatAt(reply.data, 1);
    result.velocity = floatAt(reply.data, 5);
    result.acceleration = floatAt(reply.data, 9);
    for (int line = 0; line < 4; ++line)
        result.lines[line] = quint8(reply.data.at(13 + line));
    result.w = floatAt(reply.data, 17);
    result.x = floatAt(reply.data, 21);
    result.y = floatAt(reply.data, 25);
    result.z = floatAt(reply.data, 29);
    return OKUResultOk;
}
