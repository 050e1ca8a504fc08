#include "device/sim/flightmodel.h"

#include "device/sim/eventencoder.h"
#include "device/sim/flightlogic.h"
#include "device/sim/gpstime.h"
#include "device/sim/virtualidentity.h"
#include "model/flashparser.h"

#include <algorithm>
#include <cmath>
#include <random>

namespace okukipo::sim {
namespace {

constexpr double StandardGravity = 9.80665;
constexpr int PhysicsStepMs = 1;
constexpr int LogicStepMs = 10;
// The device powers itself off after an hour, whatever happens.
constexpr int LongestRecordingMs = 3600 * 1000;

// A point-mass rocket going straight up and down.
class Rocket
{
public:
    static constexpr double Mass = 0.75;     // kg
    static constexpr double DragArea = 0.002; // drag coefficient times frontal area, m^2
    static constexpr double ChuteOpeningSeconds = 0.4;

    Rocket(const FlightProfile &profile, double thrust)
        : profile(profile)
        , thrust(thrust)
    {
    }

    // The thrust that carries the rocket to the profile's apogee.
    static double thrustFor(const FlightProfile &profile)
    {
        double low = 1.2 * Mass * StandardGravity;
        double high = 400.0 * Mass * StandardGravity;
        for (int i = 0; i < 40; ++i) {
            const double middle = 0.5 * (low + high);
            (coastedApogee(profile, middle) < profile.targetApogee ? low : high) = middle;
        }
        return 0.5 * (low + high);
    }

    void ignite(double time) { ignitionTime = time; }
    void deploy(double time)
    {
        if (deployedAt < 0.0)
            deployedAt = time;
    }

    void step(double time)
    {
        const double dt = PhysicsStepMs * 0.001;
        if (ignitionTime < 0.0 || landed) {
            acceleration = 0.0;
            return;
        }
        acceleration = forces(time) / Mass - StandardGravity;
        velocity += acceleration * dt;
        height += velocity * dt;
        if (burning(time))
            burnoutVelocity = velocity;
        if (velocity <= 0.0 && apogeeTime < 0.0 && time > ignitionTime + profile.burnSeconds) {
            apogeeTime = time;
            apogeeHeight = height;
        }
        if (height <= 0.0 && time > ignitionTime + profile.burnSeconds) {
            height = 0.0;
            velocity = 0.0;
            acceleration = 0.0;
            landed = true;
            landingTime = time;
        }
    }

    bool burning(double time) const { return ignitionTime >= 0.0 && time < ignitionTime + profile.burnSeconds; }
    double thrustToWeight() const { return thrust / (Mass * StandardGravity); }

    double height = 0.0;
    double velocity = 0.0;
    double acceleration = 0.0;
    double burnoutVelocity = 0.0;
    double ignitionTime = -1.0;
    double apogeeTime = -1.0;
    double apogeeHeight = 0.0;
    double deployedAt = -1.0;
    double landingTime = -1.0;
    bool landed = false;

private:
    static double coastedApogee(const FlightProfile &profile, double thrust)
    {
        Rocket rocket(profile, thrust);
        rocket.ignite(0.0);
        double time = 0.0;
        while (rocket.apogeeTime < 0.0 && !rocket.landed && time < 600.0) {
            time += PhysicsStepMs * 0.001;
            rocket.step(time);
        }
        return rocket.apogeeHeight;
    }

    double forces(double time) const
    {
        const double density = 1.225 * std::exp(-(profile.site.altitude + height) / 8500.0);
        double dragArea = DragArea;
        if (deployedAt >= 0.0) {
            const double chuteArea = 2.0 * Mass * StandardGravity / (1.225 * profile.descentRate * profile.descentRate);
            dragArea += chuteArea * std::min(1.0, (time - deployedAt) / ChuteOpeningSeconds);
        }
        const double drag = -0.5 * density * dragArea * velocity * std::abs(velocity);
        return drag + (burning(time) ? thrust : 0.0);
    }

    const FlightProfile &profile;
    double thrust;
};

// The index of each event type in the settings' write-rate table, its base
// write period, and how the device writes it.
enum class Sensor {
    GPSPosition, AccelZ, AccelXY, Gyro, Magnetometer, Pressure, Temperature, EjectionBattery,
    ComputerBattery, GPSTime, Status, LineA, LineB, LineC, LineD, Orientation
};
constexpr int SensorCount = 16;
constexpr int BaseWritePeriodMs[SensorCount] = {200, 10, 10, 10, 100, 20, 500, 100, 100, 500, 100, 50, 50, 50, 50, 100};

// What the board feels and where it is at one instant.
struct BoardState {
    Quaternion attitude; // board to world (x east, y north, z up)
    Vector3 accel;       // g, board frame
    Vector3 gyro;        // degrees per second, board frame
    double height = 0.0; // above the pad
    double east = 0.0;   // drift from the pad, metres
};

class FlightRecorder
{
public:
    FlightRecorder(const FlightProfile &profile, const OKUKIPOSettings &settings)
        : profile(profile)
        , settings(settings)
        , rocket(profile, Rocket::thrustFor(profile))
        , logic(lineRulesOf(settings))
        , random(profile.seed)
    {
    }

    RecordedFlight record()
    {
        RecordedFlight flight;
        flight.bytes.append(char(FlightMarker));
        flight.bytes.append(settings.deviceBytes());
        const double groundPressure = FlightLogic::standardPressure(profile.site.altitude);
        logic.begin(groundPressure + noise(2.0));

        const int ignitionMs = profile.groundTest ? -1 : int(std::lround(profile.padSeconds * 1000.0));
        int groundSinceMs = -1;
        for (int nowMs = 0; nowMs < LongestRecordingMs; nowMs += LogicStepMs) {
            const double now = nowMs * 0.001;
            if (nowMs == ignitionMs)
                rocket.ignite(now);
            for (int ms = nowMs - LogicStepMs + PhysicsStepMs; ms <= nowMs; ms += PhysicsStepMs)
                rocket.step(ms * 0.001);

            const BoardState board = boardState(now);
            const SensorFrame frame = sensorFrame(board);
            const FlightLogicOutput &decided = logic.step(frame);
            if (opensParachute(decided))
                rocket.deploy(now);
            if (rocket.apogeeTime >= 0.0 && now > rocket.apogeeTime + 3.0)
                rocket.deploy(now); // the motor's own ejection charge as a backup

            writeDueEvents(flight.bytes, nowMs, board, frame, decided);

            if (profile.groundTest && now >= profile.padSeconds)
                break;
            if (decided.state == FlightState::Ground) {
                if (groundSinceMs < 0)
                    groundSinceMs = nowMs;
                if (settings.groundWriteMultiple == 0 || nowMs - groundSinceMs >= profile.groundSeconds * 1000.0)
                    break;
            }
        }
        flight.truth = truth(groundPressure);
        return flight;
    }

private:
    double noise(double deviation) { return std::normal_distribution<double>(0.0, deviation)(random); }

    bool opensParachute(const FlightLogicOutput &decided) const
    {
        for (int line = 0; line < 4; ++line) {
            const auto mode = LineMode(settings.lineMode[line]);
            if (decided.lines[size_t(line)] && (mode == LineMode::Apogee || mode == LineMode::AltitudeAfterApogee))
                return true;
        }
        return false;
    }

    // Tilt from vertical and roll of the rocket over the flight; lying on
    // its side after landing.
    Quaternion attitudeAt(double time) const
    {
        double tilt = 2.0; // the launch rail's angle
        double roll = 0.0;
        if (rocket.ignitionTime >= 0.0 && time > rocket.ignitionTime) {
            const double flying = time - rocket.ignitionTime;
            tilt += 3.0 * std::min(flying / 10.0, 1.0);
            roll = 45.0 * flying;
        }
        if (rocket.deployedAt >= 0.0 && time > rocket.deployedAt) {
            const double hanging = time - rocket.deployedAt;
            tilt = 10.0 + 15.0 * std::sin(2.0 * M_PI * hanging / 2.4);
            roll = 45.0 * (rocket.deployedAt - rocket.ignitionTime) + 10.0 * hanging;
        }
        if (rocket.landed && time > rocket.landingTime)
            tilt = std::min(85.0, tilt + 170.0 * (time - rocket.landingTime));
        const Quaternion heading = Quaternion::fromAxisAngle({0.0, 0.0, 1.0}, 30.0);
        Quaternion attitude = heading * Quaternion::fromAxisAngle({1.0, 0.0, 0.0}, tilt)
                              * Quaternion::fromAxisAngle({0.0, 0.0, 1.0}, roll);
        if (profile.upsideDown)
            attitude = attitude * Quaternion::fromAxisAngle({1.0, 0.0, 0.0}, 180.0);
        return attitude;
    }

    BoardState boardState(double now) const
    {
        BoardState board;
        board.attitude = attitudeAt(now);
        board.height = rocket.height;
        const double flying = rocket.ignitionTime >= 0.0 ? (rocket.landed ? rocket.landingTime : now) - rocket.ignitionTime : 0.0;
        board.east = profile.windSpeed * std::max(0.0, flying);

        const Vector3 specificForce{0.0, 0.0, (rocket.acceleration + StandardGravity) / StandardGravity};
        board.accel = board.attitude.conjugated().rotate(specificForce);

        // Rates from the attitude change over the next logic step.
        const double dt = LogicStepMs * 0.001;
        const Quaternion turn = board.attitude.conjugated() * attitudeAt(now + dt);
        const double sign = turn.w < 0.0 ? -1.0 : 1.0;
        const double toDegreesPerSecond = 2.0 * 180.0 / M_PI / dt * sign;
        board.gyro = {turn.x * toDegreesPerSecond, turn.y * toDegreesPerSecond, turn.z * toDegreesPerSecond};
        return board;
    }

    SensorFrame sensorFrame(const BoardState &board)
    {
        SensorFrame frame;
        frame.pressure = FlightLogic::standardPressure(profile.site.altitude + board.height) + noise(3.0);
        frame.gpsAltitude = profile.site.altitude + board.height + noise(1.5);
        frame.gpsValid = true;
        for (size_t axis = 0; axis < 3; ++axis) {
            frame.accel[axis] = board.accel[axis] + noise(0.01);
            frame.gyro[axis] = board.gyro[axis] + noise(0.2);
        }
        return frame;
    }

    bool inGPSGap(double now) const
    {
        return profile.gpsGapSeconds > 0.0 && now >= profile.gpsGapStart && now < profile.gpsGapStart + profile.gpsGapSeconds;
    }

    int writeMultiple(FlightState state) const
    {
        switch (state) {
        case FlightState::Pad:
            return settings.padWriteMultiple;
        case FlightState::Boost:
        case FlightState::BoostEnd:
        case FlightState::Coast:
            return settings.preApogeeWriteMultiple;
        case FlightState::Apogee:
        case FlightState::Descent:
            return settings.postApogeeWriteMultiple;
        case FlightState::Ground:
            break;
        }
        return settings.groundWriteMultiple;
    }

    void writeDueEvents(QByteArray &bytes, int nowMs, const BoardState &board, const SensorFrame &frame,
                        const FlightLogicOutput &decided)
    {
        const int multiple = writeMultiple(decided.state);
        if (multiple == 0)
            return;
        if (multiple != lastMultiple) {
            // A new phase starts every type's schedule afresh.
            nextDueMs.fill(nowMs);
            lastMultiple = multiple;
        }
        for (int sensor = 0; sensor < SensorCount; ++sensor) {
            if (nowMs < nextDueMs[size_t(sensor)])
                continue;
            const int divider = std::clamp<int>(settings.writeRate[sensor], 1, 10);
            nextDueMs[size_t(sensor)] = nowMs + BaseWritePeriodMs[sensor] * divider * multiple;
            const QByteArray event = encode(Sensor(sensor), nowMs, board, frame, decided);
            if (event.isEmpty())
                continue;
            if (firstWriteMs < 0)
                firstWriteMs = nowMs;
            bytes.append(encodeTimeStep(nowMs - std::max(lastWriteMs, firstWriteMs)));
            bytes.append(event);
            lastWriteMs = nowMs;
        }
    }

    LineState lineState(int line, const FlightLogicOutput &decided) const
    {
        return lineReading(decided.lines[size_t(line)],
                           settings.lineMode[line] != quint8(LineMode::Disabled) && !logic.lineSpent(line));
    }

    QByteArray encode(Sensor sensor, int nowMs, const BoardState &board, const SensorFrame &frame,
                      const FlightLogicOutput &decided)
    {
        const double now = nowMs * 0.001;
        const bool firing = std::any_of(decided.lines.begin(), decided.lines.end(), [](bool on) { return on; });
        switch (sensor) {
        case Sensor::GPSPosition: {
            if (inGPSGap(now))
                return {};
            GPSFix fix;
            fix.latitude = profile.site.latitude + noise(0.5) / MetresPerDegree;
            fix.longitude = profile.site.longitude
                            + (board.east + noise(0.5)) / (MetresPerDegree * std::cos(profile.site.latitude * M_PI / 180.0));
            fix.altitude = frame.gpsAltitude;
            fix.satellites = 9;
            fix.solution3D = true;
            return encodeGPSPosition(fix);
        }
        case Sensor::AccelZ:
            return encodeAccelZ(frame.accel[2]);
        case Sensor::AccelXY:
            return encodeAccelXY(frame.accel[0], frame.accel[1]);
        case Sensor::Gyro:
            return encodeGyro(frame.gyro[0], frame.gyro[1], frame.gyro[2]);
        case Sensor::Magnetometer: {
            const Vector3 field = board.attitude.conjugated().rotate(EarthField);
            return encodeMagnetometer(field[0] + noise(2.0), field[1] + noise(2.0), field[2] + noise(2.0));
        }
        case Sensor::Pressure:
            return encodePressure(frame.pressure);
        case Sensor::Temperature:
            return encodeTemperature(22.0 - 0.0065 * board.height + noise(0.05));
        case Sensor::EjectionBattery:
            return encodeEjectionBattery(9.0 - (firing ? 1.5 : 0.0) + noise(0.01));
        case Sensor::ComputerBattery:
            return encodeComputerBattery(8.1 - 0.1 * now / 3600.0 + noise(0.01));
        case Sensor::GPSTime:
            return gpsTime(now);
        case Sensor::Status: {
            DeviceStatus status;
            status.stateCode = int(decided.state);
            for (int line = 0; line < 4; ++line) {
                status.lineAlert[size_t(line)] = decided.lines[size_t(line)];
                status.lineContinuity[size_t(line)] = lineState(line, decided).continuity;
            }
            return encodeStatus(status);
        }
        case Sensor::LineA:
        case Sensor::LineB:
        case Sensor::LineC:
        case Sensor::LineD: {
            const int line = int(sensor) - int(Sensor::LineA);
            return encodeLine(line, lineState(line, decided));
        }
        case Sensor::Orientation:
            return encodeOrientation(decided.orientation);
        }
        return {};
    }

    QByteArray gpsTime(double now) const
    {
        const GPSWeekTime time = gpsWeekTime(profile.startTime.addMSecs(qint64(now * 1000.0)));
        return encodeGPSTime(time.timeOfWeekMs, time.week, true, GPSLeapSeconds);
    }

    FlightTruth truth(double groundPressure) const
    {
        const double origin = std::max(firstWriteMs, 0) * 0.001;
        FlightTruth truth;
        truth.launched = rocket.ignitionTime >= 0.0;
        if (truth.launched) {
            truth.launchTime = rocket.ignitionTime - origin;
            truth.burnoutTime = rocket.ignitionTime + profile.burnSeconds - origin;
            truth.burnoutVelocity = rocket.burnoutVelocity;
            truth.thrustToWeight = rocket.thrustToWeight();
            truth.apogeeTime = rocket.apogeeTime - origin;
            truth.apogeeAltitude = rocket.apogeeHeight;
            truth.deploymentTime = rocket.deployedAt - origin;
            truth.landingTime = rocket.landingTime - origin;
        }
        truth.endTime = lastWriteMs * 0.001 - origin;
        truth.groundPressure = groundPressure;
        return truth;
    }

    const FlightProfile &profile;
    const OKUKIPOSettings settings;
    Rocket rocket;
    FlightLogic logic;
    std::mt19937 random;
    std::array<int, SensorCount> nextDueMs{};
    int lastMultiple = -1;
    int firstWriteMs = -1;
    int lastWriteMs = -1;
};

FlightProfile demoProfile(int index)
{
    FlightProfile profile;
    profile.seed = quint32(index + 1);
    profile.startTime = profile.startTime.addSecs(3600 * index);
    switch (index % 3) {
    case 0:
        profile.targetApogee = 320.0;
        break;
    case 1:
        profile.targetApogee = 900.0;
        profile.burnSeconds = 2.2;
        profile.upsideDown = true;
        profile.site = lucerneDryLake();
        profile.gpsGapStart = profile.padSeconds + 1.0;
        profile.gpsGapSeconds = 4.0;
        break;
    default:
        profile.groundTest = true;
        profile.padSeconds = 60.0;
        break;
    }
    return profile;
}

} // namespace

LaunchSite blackRockDesert()
{
    return {"Black Rock Desert, Nevada", 40.8807, -119.1219, 1191.0};
}

LaunchSite lucerneDryLake()
{
    return {"Lucerne Dry Lake, California", 34.5069, -116.9574, 870.0};
}

OKUKIPOSettings factorySettings()
{
    OKUKIPOSettings settings;
    settings.firmwareVersion = FirmwareVersion;
    settings.updateChecksum();
    return settings;
}

RecordedFlight recordFlight(const FlightProfile &profile, const OKUKIPOSettings &settings)
{
    return FlightRecorder(profile, settings).record();
}

std::shared_ptr<OKUKIPOFlight> simulatedFlight(const FlightProfile &profile, FlightTruth *truth,
                                               const OKUKIPOSettings &settings)
{
    const RecordedFlight recorded = recordFlight(profile, settings);
    if (truth)
        *truth = recorded.truth;
    const auto flights = parseFlights(recorded.bytes);
    return flights.empty() ? std::make_shared<OKUKIPOFlight>() : flights.front();
}

QByteArray demoFlashImage()
{
    // Recorded once: every virtual device switched on holds the same flights.
    static const QByteArray image = [] {
        QByteArray flights;
        for (int index = 0; index < 3; ++index)
            flights += recordFlight(demoProfile(index)).bytes;
        return flights;
    }();
    return image;
}

QByteArray filledFlashImage(int size)
{
    QByteArray image;
    for (int index = 0; image.size() < size; ++index)
        image += recordFlight(demoProfile(index)).bytes;
    image.truncate(size);
    return image;
}

} // namespace okukipo::sim
