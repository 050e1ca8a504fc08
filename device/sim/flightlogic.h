#pragma once

#include "device/sim/quaternion.h"
#include "model/settings.h"

#include <array>

// The flight computer's own flight logic as the virtual device runs it: for
// emulation steps sent by the host and while recording a simulated flight.
// It sees only sensor values, never the simulation's true state.
namespace okukipo::sim {

// Numbers as the device reports them in emulation replies and status words.
enum class FlightState { Pad = 0, Boost = 1, BoostEnd = 2, Coast = 3, Apogee = 4, Descent = 5, Ground = 6 };

using LineMode = OKUKIPOSettings::LineMode;

// When one output line fires; the settings record's line fields in seconds and metres.
struct LineRule {
    LineMode mode = LineMode::Disabled;
    double onSeconds = 2.0;
    double timeSeconds = 0.0; // after launch (mode Time)
    double altitude = 0.0;    // above the pad (climb and after-apogee modes)
    double delaySeconds = 0.0;
};
using LineRules = std::array<LineRule, 4>;

// The rules the settings record gives lines A to D.
LineRules lineRulesOf(const OKUKIPOSettings &settings);

struct SensorFrame {
    double pressure = 101325.0; // pascals
    double gpsAltitude = 0.0;   // metres above sea level
    bool gpsValid = false;
    Vector3 accel{0.0, 0.0, 1.0}; // g, board frame
    Vector3 gyro{};               // degrees per second, board frame
};

struct FlightLogicOutput {
    FlightState state = FlightState::Pad;
    double altitude = 0.0;     // metres above the starting pressure's level
    double velocity = 0.0;     // metres per second, up positive
    double acceleration = 0.0; // vertical, metres per second squared, gravity removed
    std::array<bool, 4> lines{};
    Quaternion orientation;    // board to world
};

class FlightLogic
{
public:
    static constexpr double StepSeconds = 0.01;

    explicit FlightLogic(const LineRules &rules = {});

    // Starts a new flight on the pad; altitudes are measured from this pressure.
    void begin(double groundPressure);
    // Advances by one 10 ms step.
    const FlightLogicOutput &step(const SensorFrame &frame);
    // True once the line's rule has fired and its on-time has passed.
    bool lineSpent(int line) const;

    // Altitude above sea level of a pressure in the standard atmosphere, and back.
    static double pressureAltitude(double pressure);
    static double standardPressure(double altitudeAboveSea);

private:
    void updateAltitude(const SensorFrame &frame);
    void updateState();
    void enterState(FlightState state);
    void updateLines();
    void trigger(int line);

    LineRules rules;
    FlightLogicOutput current;
    double groundAltitude = 0.0;
    double time = 0.0;
    double stateSince = 0.0;
    double quietSince = 0.0;
    double launchedAt = -1.0;
    int launchVotes = 0;
    bool levelled = false;
    std::array<double, 4> fireAt{};
};

} // namespace okukipo::sim
