#pragma once

// The archive form of the settings record (class version 3) and the
// conversion of the older forms found in old flight files.

#include "model/settings.h"

#include <boost/serialization/binary_object.hpp>
#include <boost/serialization/level.hpp>
#include <boost/serialization/tracking.hpp>
#include <boost/serialization/version.hpp>

BOOST_CLASS_VERSION(OKUKIPOSettings, 3)
// Always a member of a flight, never behind a pointer.
BOOST_CLASS_TRACKING(OKUKIPOSettings, boost::serialization::track_never)

namespace okukipo {

void traceSettingsVersion(unsigned int version);
void traceFirmwareVersion(const OKUKIPOSettings &settings);

// Old record layouts, converted into a record that starts from the defaults.
void convertSettingsVersion2(OKUKIPOSettings &settings, const quint8 *old);
void convertSettingsVersion1(OKUKIPOSettings &settings, const quint8 *old);
constexpr int settingsVersion2Size = 97;
constexpr int settingsVersion1Size = 82;

// Version 0 stored separate fields; of them only the firmware version is kept.
template<class Archive>
void loadSettingsVersion0(Archive &archive, OKUKIPOSettings &settings)
{
    quint8 byte = 0;
    quint16 word = 0;
    archive >> word; // read into a local: fields of the packed record may be misaligned
    settings.firmwareVersion = word;
    for (int i = 0; i < 8; ++i)
        archive >> byte;
    for (int i = 0; i < 9; ++i)
        archive >> word;
    archive >> byte;
    char callsign[6];
    archive >> callsign;
    archive >> byte;
    for (int i = 0; i < 4; ++i)
        archive >> word;
    for (int i = 0; i < 3; ++i)
        archive >> byte;
    archive >> word;
}

} // namespace okukipo

template<class Archive>
void OKUKIPOSettings::serialize(Archive &archive, unsigned int version)
{
    using namespace okukipo;
    archive & valid;
    traceSettingsVersion(Archive::is_saving::value ? 3 : version);
    if constexpr (Archive::is_saving::value) {
        archive << boost::serialization::make_binary_object(this, deviceSize);
    } else if (version >= 3) {
        archive >> boost::serialization::make_binary_object(this, deviceSize);
    } else {
        const bool wasValid = valid;
        *this = OKUKIPOSettings();
        valid = wasValid;
        if (version == 0) {
            loadSettingsVersion0(archive, *this);
        } else {
            quint8 old[settingsVersion2Size] = {};
            const int size = version == 2 ? settingsVersion2Size : settingsVersion1Size;
            archive >> boost::serialization::make_binary_object(old, size_t(size));
            if (version == 2)
                convertSettingsVersion2(*this, old);
            else
                convertSettingsVersion1(*this, old);
        }
        updateChecksum();
    }
    traceFirmwareVersion(*this);
}
