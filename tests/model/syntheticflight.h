#pragma once

// Vertical test flights built from a small physics model, recorded at the
// device's usual write rates, with their true moments.

#include "model/events.h"
#include "model/flight.h"

#include <algorithm>
#include <cmath>
#include <memory>

struct FlightProfile {
    float padAltitude = 250.0f; // m above sea level
    float padSeconds = 20.0f;   // recording before launch
    float boostSeconds = 2.0f;
    float boostG = 10.0f; // thrust over weight
    float dragPerMetre = 0.0004f;
    float descentRate = 25.0f;  // m/s under the parachute
    float groundSeconds = 20.0f; // recording after landing
    bool moves = true;           // false: a ground test
    bool upsideDown = false;
    bool withGps = true;
    float gpsOffset = 12.0f; // GPS altitude minus barometric altitude
    float gpsGapStart = -1.0f, gpsGapEnd = -1.0f;
    float rssiTailSeconds = 3.0f; // radio keeps reporting after the data ends
};

struct FlightTruth {
    float launch = 0, burnout = 0, apogee = 0, landing = 0, end = 0;
    float apogeeHeight = 0, burnoutVelocity = 0;
};

inline float pressureAt(float altitude)
{
    return 101325.0f * std::pow(1.0f - altitude / 44330.32f, 1.0f / 0.190263f);
}

class SyntheticFlight {
public:
    explicit SyntheticFlight(const FlightProfile &profile = FlightProfile())
        : m_profile(profile)
        , m_flight(std::make_shared<OKUKIPOFlight>())
    {
        simulate();
        std::stable_sort(m_flight->events.begin(), m_flight->events.end(),
                         [](const OKUEvent *a, const OKUEvent *b) { return a->time < b->time; });
    }

    // The flight as downloaded: recorded, not yet analysed.
    std::shared_ptr<OKUKIPOFlight> flight() const { return m_flight; }
    const FlightTruth &truth() const { return m_truth; }

    // A flight analysed as after loading.
    static std::shared_ptr<OKUKIPOFlight> analysed(const FlightProfile &profile = FlightProfile(),
                                                   FlightTruth *truth = nullptr)
    {
        SyntheticFlight built(profile);
        if (truth)
            *truth = built.truth();
        built.m_flight->processFlight();
        return built.m_flight;
    }

private:
    template<class Event>
    Event *add(float t)
    {
        auto *event = new Event;
        event->time = t;
        m_flight->events.push_back(event);
        return event;
    }

    void simulate()
    {
        const FlightProfile &p = m_profile;
        constexpr double dt = 0.001;
        constexpr double g = 9.81;
        double h = 0.0, v = 0.0;
        bool deployed = false, landed = !p.moves;
        m_truth.launch = p.padSeconds;
        m_truth.burnout = p.padSeconds + p.boostSeconds;
        double dataEnd = 1e9;
        const float sign = p.upsideDown ? -1.0f : 1.0f;
        // Deterministic sensor noise.
        unsigned seed = 12345;
        const auto noise = [&seed]() {
            seed = seed * 1103515245u + 12345u;
            return float((seed >> 16) & 0x7fff) / 32768.0f - 0.5f;
        };
        for (long step = 0;; ++step) {
            const double t = step * dt;
            if (t > dataEnd + p.rssiTailSeconds)
                break;
            // Specific force along the axis, in g: what the accelerometer reads.
            double specificForce = 1.0;
            if (!landed && t >= m_truth.launch) {
                double a;
                if (t < m_truth.burnout) {
                    a = (p.boostG - 1.0) * g - p.dragPerMetre * v * std::fabs(v);
                    specificForce = (a + g) / g;
                } else if (!deployed) {
                    a = -g - p.dragPerMetre * v * std::fabs(v);
                    specificForce = (a + g) / g;
                    if (v + a * dt <= 0.0) {
                        deployed = true;
                        m_truth.apogee = float(t);
                        m_truth.apogeeHeight = float(h);
                    }
                } else {
                    // The parachute brings the rocket to its descent rate within a second or two.
                    a = (-p.descentRate - v) * 2.0;
                    specificForce = (a + g) / g;
                }
                v += a * dt;
                h += v * dt;
                if (t >= m_truth.burnout && m_truth.burnoutVelocity == 0.0f)
                    m_truth.burnoutVelocity = float(v);
                if (deployed && h <= 0.0) {
                    h = 0.0;
                    v = 0.0;
                    landed = true;
                    m_truth.landing = float(t);
                    dataEnd = t + p.groundSeconds;
                    m_truth.end = float(dataEnd);
                }
            }
            if (!p.moves && dataEnd > 1e8) {
                dataEnd = p.padSeconds + 40.0;
                m_truth.end = float(dataEnd);
            }
            const long ms = step;
            const float tf = float(t);
            if (t <= dataEnd) {
                const float altitude = p.padAltitude + float(h);
                if (ms % 10 == 0)
                    add<OKUEvent_AccelZ>(tf)->accelZ = sign * float(specificForce) + 0.01f * noise();
                if (ms % 20 == 0) {
                    auto *xy = add<OKUEvent_AccelXY>(tf);
                    xy->accelX = 0.05f * noise();
                    xy->accelY = 0.05f * noise();
                    auto *gyro = add<OKUEvent_GyroXYZ>(tf);
                    gyro->x = 2.0f * noise();
                    gyro->y = 2.0f * noise();
                    gyro->z = float(v) * 0.5f + noise();
                }
                if (ms % 50 == 0)
                    add<OKUEvent_Pressure>(tf)->pressure = std::round(pressureAt(altitude) + noise());
                if (ms % 100 == 0) {
                    auto *status = add<OKUEvent_Status>(tf);
                    status->state = t < m_truth.launch || !p.moves ? 0 : (deployed ? 3 : 1);
                    status->lineContinuity[0] = true;
                    status->lineAlert[0] = deployed;
                }
                const bool inGap = t >= p.gpsGapStart && t < p.gpsGapEnd;
                if (p.withGps && ms % 200 == 0 && !inGap) {
                    auto *gps = add<OKUEvent_GPSLLSol>(tf);
                    gps->latitude = 47.3971234 + h * 1e-7;
                    gps->longitude = 8.5456789 + h * 2e-7;
                    gps->altitude = altitude + p.gpsOffset;
                    gps->satellites = 9;
                    gps->solution3D = t >= 1.0; // the first second has only a 2D fix
                }
                if (ms % 1000 == 0) {
                    auto *time = add<OKUEvent_GPSTime>(tf);
                    time->timeOfWeek = quint32(345600000 + ms);
                    time->week = 2300;
                    time->timeValid = t >= 2.0;
                    time->flag6 = t >= 4.0;
                    time->leapSeconds = 18;
                    add<OKUEvent_Temperature>(tf)->temperature = 21.5f;
                    add<OKUEvent_ComputerBattery>(tf)->voltage = 3.9f;
                    add<OKUEvent_EjectionBattery>(tf)->voltage = 8.1f;
                    add<OKUEvent_LineA>(tf)->voltage = 3.2998f;
                }
            }
            if (ms % 100 == 50)
                add<OKUEvent_RSSI>(tf)->rssi = -70.0f;
        }
    }

    FlightProfile m_profile;
    FlightTruth m_truth;
    std::shared_ptr<OKUKIPOFlight> m_flight;
};
