#pragma once

#include "device/sim/eventencoder.h"
#include "device/sim/flightmodel.h"

#include <QByteArray>
#include <QDateTime>
#include <random>

namespace okukipo::sim {

// What the flight computer's sensors read while it lies on the bench: noisy
// values around a resting state, a GPS fix at the launch site, and a board
// that turns slowly so the orientation display has something to show.
class LiveSensors
{
public:
    explicit LiveSensors(const LaunchSite &site = blackRockDesert());

    // Outputs and their flags as the firmware currently drives them.
    struct Lines {
        std::array<LineState, 4> states;
    };

    // The encoded event of one type (code byte first), or empty when the
    // device has no live reading of that type.
    QByteArray read(quint8 code, qint64 sinceStartMs, const QDateTime &utc, int pressureOffset, const Lines &lines);

    // The board's attitude after the given time on the bench.
    static Quaternion attitudeAt(qint64 sinceStartMs);

private:
    double noise(double deviation) { return std::normal_distribution<double>(0.0, deviation)(random); }

    LaunchSite site;
    std::mt19937 random;
};

} // namespace okukipo::sim
