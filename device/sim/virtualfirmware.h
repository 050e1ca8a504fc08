#pragma once

#include "device/sim/flightlogic.h"
#include "device/sim/livesensors.h"
#include "model/settings.h"

#include <QByteArray>
#include <QDateTime>
#include <QVector>
#include <array>

namespace okukipo::sim {

// One packet: a code and its data bytes (at most 63 on the wire).
struct VirtualPacket {
    quint8 code = 0;
    QByteArray data;
};

// The firmware's answer to one request.
struct FirmwareAnswer {
    // Whose reply this is, for fault injection: the request code, except
    // that the verdict on a settings write answers its begin code 0x07.
    quint8 exchange = 0;
    QVector<VirtualPacket> packets;
    // Sent after the packets as 0x21 data chunks of at most 60 bytes.
    QByteArray chunked;
    bool exitToBootloader = false;
};

// The packet handling of the flight computer's firmware and the state it
// keeps: settings record, flash memory, almanacs, output lines, emulation.
// Not thread-safe; the virtual device serialises calls.
class VirtualFirmware
{
public:
    // Codes of the device's replies.  The almanac list (0x0C) carries 32
    // slots, each a satellite number or 0xFF; one almanac (0x0E) carries the
    // satellite number, the GPS week (2 bytes, little-endian) and 24 bytes
    // of almanac words.
    enum Reply : quint8 { Idle = 0x01, Event = 0x02, Done = 0x05, Clash = 0x09, AlmanacList = 0x0C, Almanac = 0x0E, Chunk = 0x21 };

    static constexpr int FlashCapacity = 4128768;

    VirtualFirmware();

    FirmwareAnswer handle(quint8 code, const QByteArray &data, qint64 nowMs);

    OKUKIPOSettings settings;
    QByteArray flash;                 // the used part of the flight memory
    bool clashNextChecksum = false;   // the next settings transfer finds a checksum clash
    std::array<quint8, 32> storedAlmanacs{}; // satellite numbers, 0xFF for an empty slot
    QVector<quint8> receiverAlmanacs; // what the GPS receiver currently knows
    int emulationSteps = 0;

private:
    FirmwareAnswer readEvent(quint8 eventCode, qint64 nowMs);
    FirmwareAnswer receiveSettingsChunk(const QByteArray &data);
    FirmwareAnswer readFlash(const QByteArray &data);
    FirmwareAnswer emulationStep(const QByteArray &data);
    FirmwareAnswer readAlmanac(quint8 satellite);
    LiveSensors::Lines lineStates(qint64 nowMs) const;

    LiveSensors sensors;
    FlightLogic emulation;
    bool emulationBegun = false;
    bool receivingSettings = false;
    QByteArray receivedSettings;
    std::array<qint64, 4> lineOffAtMs{};
};

} // namespace okukipo::sim
