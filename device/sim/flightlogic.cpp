#include "device/sim/flightlogic.h"

#include <algorithm>
#include <cmath>

namespace okukipo::sim {
namespace {

constexpr double StandardGravity = 9.80665;
constexpr double NotTriggered = -1.0;

// Launch needs this much upward acceleration for five steps in a row, so a
// knock on the pad does not count; the altitude test catches a slow start.
constexpr double LaunchAcceleration = 2.0 * StandardGravity;
constexpr int LaunchSteps = 5;
constexpr double LaunchAltitude = 30.0;
constexpr double BoostEndSeconds = 0.5;
constexpr double ApogeeSeconds = 1.0;
// Landed: barely moving for this long.
constexpr double LandedSpeed = 1.0;
constexpr double LandedSeconds = 2.0;

// Gains of the altitude and velocity tracker (an alpha-beta filter driven
// by the measured acceleration).
constexpr double AltitudeGain = 0.05;
constexpr double VelocityGain = 0.002;

Quaternion rotationBetween(const Vector3 &from, const Vector3 &to)
{
    const double dot = from[0] * to[0] + from[1] * to[1] + from[2] * to[2];
    const double lengths = std::sqrt((from[0] * from[0] + from[1] * from[1] + from[2] * from[2])
                                     * (to[0] * to[0] + to[1] * to[1] + to[2] * to[2]));
    if (lengths == 0.0)
        return {};
    const Vector3 axis{from[1] * to[2] - from[2] * to[1], from[2] * to[0] - from[0] * to[2],
                       from[0] * to[1] - from[1] * to[0]};
    const double cosine = std::clamp(dot / lengths, -1.0, 1.0);
    const double degrees = std::acos(cosine) * 180.0 / M_PI;
    const bool opposite = axis[0] == 0.0 && axis[1] == 0.0 && axis[2] == 0.0;
    return Quaternion::fromAxisAngle(opposite ? Vector3{1.0, 0.0, 0.0} : axis, opposite && cosine < 0 ? 180.0 : degrees);
}

} // namespace

LineRules lineRulesOf(const OKUKIPOSettings &settings)
{
    LineRules rules;
    for (int line = 0; line < 4; ++line) {
        LineRule &rule = rules[size_t(line)];
        rule.mode = settings.lineMode[line] <= quint8(LineMode::AltitudeAfterApogee) ? LineMode(settings.lineMode[line])
                                                                                      : LineMode::Disabled;
        rule.onSeconds = settings.lineOnTime[line] * 0.1;
        rule.timeSeconds = settings.lineTime[line] * 0.1;
        rule.altitude = settings.lineAltitude[line];
        rule.delaySeconds = settings.lineDelay[line] * 0.1;
    }
    return rules;
}

FlightLogic::FlightLogic(const LineRules &rules)
    : rules(rules)
{
    begin(101325.0);
}

void FlightLogic::begin(double groundPressure)
{
    current = FlightLogicOutput();
    groundAltitude = pressureAltitude(groundPressure);
    time = 0.0;
    stateSince = 0.0;
    quietSince = 0.0;
    launchedAt = NotTriggered;
    launchVotes = 0;
    levelled = false;
    fireAt.fill(NotTriggered);
}

double FlightLogic::pressureAltitude(double pressure)
{
    return (1.0 - std::pow(std::max(pressure, 1.0) / 101325.0, 1.0 / 5.255882740020752)) / 2.2557924e-05;
}

double FlightLogic::standardPressure(double altitudeAboveSea)
{
    return 101325.0 * std::pow(1.0 - 2.2557924e-05 * altitudeAboveSea, 5.255882740020752);
}

const FlightLogicOutput &FlightLogic::step(const SensorFrame &frame)
{
    time += StepSeconds;
    updateAltitude(frame);
    updateState();
    updateLines();
    return current;
}

bool FlightLogic::lineSpent(int line) const
{
    const double start = fireAt[size_t(line)];
    return start != NotTriggered && time >= start + rules[size_t(line)].onSeconds;
}

void FlightLogic::updateAltitude(const SensorFrame &frame)
{
    // The board's attitude on the pad is whatever gravity says it is.
    if (!levelled) {
        current.orientation = rotationBetween(frame.accel, {0.0, 0.0, 1.0});
        levelled = true;
    }
    const Vector3 rate = frame.gyro;
    const double degreesPerSecond = std::sqrt(rate[0] * rate[0] + rate[1] * rate[1] + rate[2] * rate[2]);
    current.orientation = (current.orientation * Quaternion::fromAxisAngle(rate, degreesPerSecond * StepSeconds)).normalized();

    const Vector3 worldAccel = current.orientation.rotate(frame.accel);
    current.acceleration = (worldAccel[2] - 1.0) * StandardGravity;

    const double measured = pressureAltitude(frame.pressure) - groundAltitude;
    const double dt = StepSeconds;
    double altitude = current.altitude + current.velocity * dt + 0.5 * current.acceleration * dt * dt;
    double velocity = current.velocity + current.acceleration * dt;
    const double residual = measured - altitude;
    altitude += AltitudeGain * residual;
    velocity += VelocityGain * residual / dt;
    current.altitude = altitude;
    current.velocity = velocity;
}

void FlightLogic::enterState(FlightState state)
{
    current.state = state;
    stateSince = time;
    if (state == FlightState::Boost)
        launchedAt = time;
    for (int line = 0; line < 4; ++line) {
        const LineMode mode = rules[size_t(line)].mode;
        if ((state == FlightState::BoostEnd && mode == LineMode::PeakVelocity)
            || (state == FlightState::Apogee && mode == LineMode::Apogee))
            trigger(line);
    }
}

void FlightLogic::updateState()
{
    const double inState = time - stateSince;
    switch (current.state) {
    case FlightState::Pad:
        launchVotes = current.acceleration > LaunchAcceleration ? launchVotes + 1 : 0;
        if (launchVotes >= LaunchSteps || current.altitude > LaunchAltitude)
            enterState(FlightState::Boost);
        break;
    case FlightState::Boost:
        if (current.acceleration < 0.0)
            enterState(FlightState::BoostEnd);
        break;
    case FlightState::BoostEnd:
        if (inState >= BoostEndSeconds)
            enterState(FlightState::Coast);
        break;
    case FlightState::Coast:
        if (current.velocity <= 0.0)
            enterState(FlightState::Apogee);
        break;
    case FlightState::Apogee:
        if (inState >= ApogeeSeconds) {
            enterState(FlightState::Descent);
            quietSince = time;
        }
        break;
    case FlightState::Descent:
        if (std::abs(current.velocity) > LandedSpeed)
            quietSince = time;
        else if (time - quietSince >= LandedSeconds)
            enterState(FlightState::Ground);
        break;
    case FlightState::Ground:
        break;
    }
}

void FlightLogic::trigger(int line)
{
    if (fireAt[size_t(line)] == NotTriggered)
        fireAt[size_t(line)] = time + rules[size_t(line)].delaySeconds;
}

void FlightLogic::updateLines()
{
    const FlightState state = current.state;
    const bool climbing = state == FlightState::Boost || state == FlightState::BoostEnd || state == FlightState::Coast;
    const bool falling = state == FlightState::Apogee || state == FlightState::Descent;
    for (int line = 0; line < 4; ++line) {
        const LineRule &rule = rules[size_t(line)];
        switch (rule.mode) {
        case LineMode::Time:
            if (launchedAt != NotTriggered && time - launchedAt >= rule.timeSeconds)
                trigger(line);
            break;
        case LineMode::ClimbAltitude:
            if (climbing && current.altitude >= rule.altitude)
                trigger(line);
            break;
        case LineMode::AltitudeAfterApogee:
            if (falling && current.altitude <= rule.altitude)
                trigger(line);
            break;
        default:
            break;
        }
        const double start = fireAt[size_t(line)];
        current.lines[size_t(line)] = start != NotTriggered && time >= start && time < start + rule.onSeconds;
    }
}

} // namespace okukipo::sim
