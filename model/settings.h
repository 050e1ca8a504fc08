#pragma once

#include <QByteArray>
#include <QMetaType>
#include <QtGlobal>

// The flight computer's configuration.  Bytes 0 to 98 are the device's own
// little-endian image of it (exchanged with the device, stored in flash and
// in flight files); `valid` exists only in the application.  The archive
// form lives in model/settingsarchive.h.
#pragma pack(push, 1)
class OKUKIPOSettings
{
public:
    static constexpr int deviceSize = 99;
    static constexpr int checksumOffset = 97;

    // Line mode codes of lineMode.
    enum LineMode : quint8 {
        Disabled = 0,
        Input = 1,
        Time = 2,
        PeakVelocity = 3,
        ClimbAltitude = 4,
        Apogee = 5,
        AltitudeAfterApogee = 6,
    };
    // Bits of flags.
    static constexpr quint8 txOn = 0x01;
    static constexpr quint8 writeFlash = 0x02;
    static constexpr quint8 ignorePressurePreApogee = 0x04;
    static constexpr quint8 ignorePressurePostApogee = 0x08;
    static constexpr quint8 modulationFrequencyMask = 0x30; // 0 "500 bps" ... 3 "4 kbps"
    static constexpr int modulationFrequencyShift = 4;
    static constexpr quint8 autoShutdown = 0x40;
    static constexpr quint8 LVCCuttoff = 0x80;
    // Bits of flags2.
    static constexpr quint8 txGPSGate = 0x02;
    static constexpr quint8 remotePad = 0x04;
    static constexpr quint8 remoteAccent = 0x08;
    static constexpr quint8 remoteDecent = 0x10;
    static constexpr quint8 remoteGround = 0x20;
    // A stored maximum angle of -10000 means 180 degrees: no angle limit.
    static constexpr qint16 noAngleLimit = -10000;

    OKUKIPOSettings();

    quint16 firmwareVersion = 528;
    qint8 pressureOffset = 0;
    quint8 deviceByte3 = 0; // device-defined, carried as is
    quint8 deviceByte4 = 0; // device-defined, carried as is
    quint8 lineMode[4] = {Apogee, AltitudeAfterApogee, Disabled, Disabled};
    quint8 lineOnTime[4] = {20, 20, 20, 20};        // 0.1 s
    quint16 lineTime[4] = {100, 150, 200, 200};     // 0.1 s
    quint16 lineAltitude[4] = {500, 150, 100, 100}; // m
    quint16 lineDelay[4] = {0, 0, 0, 0};            // 0.1 s
    quint8 minComputerVoltage = 60;                 // 0.1 V
    char callsign[6] = {'K', 'I', 'P', 'O', 0, 0};  // not terminated when 6 long
    quint8 flags = writeFlash | (1 << modulationFrequencyShift) | LVCCuttoff;
    quint8 padWriteMultiple = 10;
    quint8 preApogeeWriteMultiple = 1;
    quint8 postApogeeWriteMultiple = 1;
    quint8 groundWriteMultiple = 0;
    // Dividers of the base write period per event type, in the device's order
    // GPSLLSOL, ACCELZ, ACCELXY, GYROXYZ, MAGXYZ, PRESSURE, TEMP, BATEJECT,
    // BATCOMP, GPSTIME, STATUS, LINEA, LINEB, LINEC, LINED, ORIENTATION.
    quint8 writeRate[16] = {1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1};
    quint8 txPriority[16] = {1, 1, 0, 0, 0, 2, 5, 5, 5, 5, 5, 0, 0, 0, 0, 1};
    quint8 RFChannel = 0;
    qint16 lineMaxAngle[4] = {noAngleLimit, noAngleLimit, noAngleLimit, noAngleLimit};
    quint8 lineStage[4] = {2, 3, 4, 5};
    quint8 flags2 = 0;
    quint16 remotePIN = 1234; // factory default
    quint16 checksum = 0;
    bool valid = false; // true when the record came from the device with a correct checksum

    quint16 computeChecksum() const;
    void updateChecksum();
    bool hasValidChecksum() const;

    // The 99 bytes the device sends and stores.
    QByteArray deviceBytes() const;
    // A record from the device's bytes (missing bytes keep their defaults); `valid` is false.
    static OKUKIPOSettings fromDeviceBytes(const QByteArray &bytes);

    // Maximum rocket angle in degrees <-> cosine times 10000, rounded half up.
    static qint16 encodeMaxAngle(float degrees);
    static int decodeMaxAngle(qint16 stored);

    template<class Archive> void serialize(Archive &archive, unsigned int version);
};
#pragma pack(pop)

static_assert(sizeof(OKUKIPOSettings) == 100, "the device image is 99 packed bytes plus the valid flag");
static_assert(Q_BYTE_ORDER == Q_LITTLE_ENDIAN, "the record is the device's little-endian image");

Q_DECLARE_METATYPE(OKUKIPOSettings)
