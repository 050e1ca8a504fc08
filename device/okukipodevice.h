#pragma once

#include "device/hiddevice.h"
#include "model/settings.h"

#include <QByteArray>
#include <array>
#include <functional>
#include <memory>

class OKUEvent;

// Result codes of every device operation.
enum OKUResult {
    OKUResultOk = 0,
    OKUResultNoDevice = 1,
    OKUResultIncorrectBootVersion = 2,
    OKUResultIncorrectVersion = 3,
    OKUResultChecksumError = 4,
    OKUResultProtocolError = 5,
    OKUResultGenericError = 6,
};

// Packet codes of the flight computer's protocol.
namespace OKUPacketCode {
constexpr quint8 Idle = 0x01;
constexpr quint8 Event = 0x02;
constexpr quint8 ReadEvent = 0x03;
constexpr quint8 StartFirmware = 0x03; // the bootloader's only command
constexpr quint8 Done = 0x05;
constexpr quint8 ReadSettings = 0x06;
constexpr quint8 BeginSettingsWrite = 0x07;
constexpr quint8 Clash = 0x09;
constexpr quint8 ExitFirmware = 0x0A;
constexpr quint8 ReadAlmanacList = 0x0B;
constexpr quint8 AlmanacList = 0x0C;
constexpr quint8 ReadAlmanac = 0x0D;
constexpr quint8 StoreAlmanacs = 0x0F;
constexpr quint8 UploadAlmanacs = 0x10;
constexpr quint8 FireLine = 0x11;
constexpr quint8 ClearSVData = 0x13;
constexpr quint8 ResetSettings = 0x14;
constexpr quint8 ClearFlightMemory = 0x15;
constexpr quint8 ReadFlash = 0x16;
constexpr quint8 ReadMemoryUsed = 0x18;
constexpr quint8 BeginEmulation = 0x19;
constexpr quint8 EmulationStep = 0x20;
constexpr quint8 DataChunk = 0x21;
constexpr quint8 ReturnToIdle = 0xFF;
} // namespace OKUPacketCode

constexpr int OKUPacketDataSize = HIDReportSize - 2;  // 63
constexpr int OKUChunkPayloadMax = 60;
constexpr int OKUSettingsSize = 99;
constexpr int OKUDefaultTimeoutMs = 5000;
constexpr quint32 OKUFlashMemorySize = 4128768;

struct OKUPacket {
    quint8 code = 0;
    // Up to 63 bytes; a received packet always has all 63.
    QByteArray data;
};

// The report that carries a packet: ID 0, the code, the data, zeros.
HIDReport packetReport(const OKUPacket &packet);

// The sensor values fed to the device for one emulated 10 ms sample.
struct OKUEmulationInput {
    quint32 pressure = 0;          // Pa
    qint32 gpsAltitudeMm = 0;
    quint8 gpsValid = 0;
    std::array<qint16, 3> accel{}; // 1/256 g
    std::array<qint16, 3> gyro{};  // 0.07 deg/s
};

// What the device's flight logic made of one emulated sample.
struct OKUEmulationResult {
    quint8 state = 0;
    float altitude = 0;
    float velocity = 0;
    float acceleration = 0;
    std::array<quint8, 4> lines{};
    float w = 0, x = 0, y = 0, z = 0;
};

// The flight computer's packet protocol over a HID interface in firmware mode.
class OKUKIPODevice : public HIDDevice
{
public:
    using SettingsBuffer = std::array<quint8, OKUSettingsSize>;
    // (total, received so far); returns true to stop the transfer.
    using FlashProgress = std::function<bool(quint32 total, quint32 received)>;

    static QString resultText(int result);

    // On OKUResultIncorrectVersion the attached device's version is returned
    // through foundVersion (when given).
    int connectFirmware(quint16 *foundVersion);

    bool writePacket(const OKUPacket &packet, int timeoutMs);
    bool readPacket(OKUPacket &packet, int timeoutMs);

    // Sends a request and reads its acknowledgement (0x05): result 6 when the
    // write fails, `silentResult` when no reply comes, 5 for any other code.
    // The reply, whatever its code, is left in `reply`.
    int request(quint8 code, const QByteArray &data, int replyTimeoutMs, OKUPacket *reply,
                int silentResult);

    // One live event of the given type code, or null (the device is closed
    // when the exchange itself fails).
    std::unique_ptr<OKUEvent> readEvent(quint8 typeCode);

    int readSettings();
    // Stores the checksum into the buffer before sending it.
    int writeSettings();
    const SettingsBuffer &settingsBuffer() const { return settings; }
    // The buffer as a record (`valid` when its checksum holds), and back.
    OKUKIPOSettings settingsRecord() const;
    void setSettingsRecord(const OKUKIPOSettings &record);

    int exitFirmware();
    // A transfer that fails part-way returns the device to idle.
    int readFlash(QByteArray &flash, quint32 length, const FlashProgress &progress);
    int returnToIdle();
    int emulationStep(const OKUEmulationInput &input, OKUEmulationResult &result);

private:
    int readFlashChunk(OKUPacket &chunk);

    SettingsBuffer settings{};
};
