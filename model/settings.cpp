#include "model/settings.h"
#include "model/settingsarchive.h"
#include "model/trace.h"

#include <cmath>
#include <cstring>

OKUKIPOSettings::OKUKIPOSettings()
{
    updateChecksum();
}

quint16 OKUKIPOSettings::computeChecksum() const
{
    const auto *bytes = reinterpret_cast<const quint8 *>(this);
    quint16 sum = 0;
    for (int i = 0; i < checksumOffset; ++i)
        sum = quint16(sum + quint16(bytes[i] + i));
    return sum;
}

void OKUKIPOSettings::updateChecksum()
{
    checksum = computeChecksum();
}

bool OKUKIPOSettings::hasValidChecksum() const
{
    return checksum == computeChecksum();
}

QByteArray OKUKIPOSettings::deviceBytes() const
{
    return QByteArray(reinterpret_cast<const char *>(this), deviceSize);
}

OKUKIPOSettings OKUKIPOSettings::fromDeviceBytes(const QByteArray &bytes)
{
    OKUKIPOSettings settings;
    std::memcpy(&settings, bytes.constData(), size_t(qMin(int(bytes.size()), deviceSize)));
    settings.valid = false;
    return settings;
}

qint16 OKUKIPOSettings::encodeMaxAngle(float degrees)
{
    const float c = std::cos(degrees * 0.017453292f) * 10000.0f;
    if (c >= 0.0f)
        return qint16(int(c + 0.5f));
    const int k = int(c - 1.0f);
    return qint16(int(c - float(k) + 0.5f) + k);
}

int OKUKIPOSettings::decodeMaxAngle(qint16 stored)
{
    // Stored values outside +-10000 (and -10000 itself in single precision)
    // would leave the domain of acos.
    const float cosine = qBound(-1.0f, float(stored) * 0.0001f, 1.0f);
    const float degrees = std::acos(cosine) * 57.29578f;
    return int(degrees + 0.5f);
}

namespace okukipo {

void traceSettingsVersion(unsigned int version)
{
    trace(QStringLiteral("Settings version: %1").arg(version));
}

void traceFirmwareVersion(const OKUKIPOSettings &settings)
{
    trace(QStringLiteral("Firmware version: %1").arg(settings.firmwareVersion));
}

namespace {

quint8 *recordBytes(OKUKIPOSettings &settings)
{
    return reinterpret_cast<quint8 *>(&settings);
}

constexpr int writeRateOffset = 49;
constexpr int txPriorityOffset = 65;
constexpr int oldTableEntries = 15;

} // namespace

void convertSettingsVersion2(OKUKIPOSettings &settings, const quint8 *old)
{
    quint8 *bytes = recordBytes(settings);
    std::memcpy(bytes, old, writeRateOffset + oldTableEntries);
    std::memcpy(bytes + txPriorityOffset, old + txPriorityOffset, oldTableEntries);
    std::memcpy(bytes + 81, old + 81, 95 - 81);
    settings.remotePIN = 0;
}

void convertSettingsVersion1(OKUKIPOSettings &settings, const quint8 *old)
{
    quint8 *bytes = recordBytes(settings);
    std::memcpy(bytes, old, writeRateOffset + oldTableEntries);
    std::memcpy(bytes + txPriorityOffset, old + writeRateOffset + oldTableEntries, oldTableEntries);
    settings.RFChannel = old[79];
}

} // namespace okukipo
