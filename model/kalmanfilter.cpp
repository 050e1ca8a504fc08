#include "model/kalmanfilter.h"

#include "model/timescan.h"

#include <algorithm>
#include <cmath>

namespace {

constexpr float stepSeconds = 0.1f;
constexpr float gravity = 9.81f;

// Steady-state gains, one set per combination of "an altitude was measured"
// and "the accelerometer is trusted".
struct Gains {
    float k[6];
};

constexpr Gains gainsMeasuredTrusted{{0.056591481f, 0.017936103f, 0.00881641824f, 0.0773672238f,
                                      7.97160974e-05f, 0.390385687f}};
constexpr Gains gainsMeasuredUntrusted{{0.180548996f, 2.72353009e-05f, 0.10458f, 3.41576997e-05f,
                                        0.0302614998f, 2.07588e-05f}};
constexpr Gains gainsCoastingTrusted{{3.99285994e-07f, 0.0350995995f, 5.04461006e-09f, 0.103165001f,
                                      1.40398001e-13f, 0.390388012f}};
constexpr Gains gainsCoastingUntrusted{{2.04928003e-08f, 0.0350998007f, 6.81196988e-10f, 0.103165001f,
                                        1.40399004e-13f, 0.390388012f}};

enum Phase { Pad, Boost, Burnout, Coast, Apogee, Descent, Landed };

float clamp01(float x)
{
    return std::min(std::max(x, 0.0f), 1.0f);
}

// Answers "is there a 3D fix within a second of t" for ascending t, moving
// through the fix times only forwards.
class GpsFixWindow {
public:
    explicit GpsFixWindow(const std::vector<float> &fixTimes)
        : m_fixTimes(fixTimes)
    {
    }

    bool hasFixNear(float t)
    {
        while (m_next < m_fixTimes.size() && m_fixTimes[m_next] < t - 1.0f)
            ++m_next;
        return m_next < m_fixTimes.size() && m_fixTimes[m_next] <= t + 1.0f;
    }

private:
    const std::vector<float> &m_fixTimes;
    std::size_t m_next = 0;
};

class VelocityEstimator {
public:
    VelocityEstimator(const KalmanInputs &inputs, float offset0)
        : m_inputs(inputs)
        , m_offset0(offset0)
        , m_gps(inputs.gpsFixTimes)
        , m_h(sampleSeries(inputs.pressureAltitude, inputs.firstEventTime).value + offset0)
    {
    }

    void step(float t);
    float altitude() const { return m_h; }
    float velocity() const { return m_v; }

private:
    bool accelerometerTrusted(float am) const;
    void updatePhase();

    const KalmanInputs &m_inputs;
    const float m_offset0;
    GpsFixWindow m_gps;
    float m_h;
    float m_v = 0.0f;
    float m_a = 0.0f;
    float m_g1 = 1.0f;
    float m_ground = 0.0f;
    float m_off = 0.0f;
    Phase m_phase = Pad;
    int m_steps = 0;
    int m_fast = 0;
    float m_fv = -10.0f;
};

void VelocityEstimator::step(float t)
{
    const float accel = sampleSeries(m_inputs.accelZ, t).value;
    const float am = (accel - m_g1) * gravity;
    const float zB = sampleSeries(m_inputs.pressureAltitude, t).value + m_offset0;
    const float zG = sampleSeries(m_inputs.gpsAltitude, t).value;

    // Learn what the accelerometer reads at rest so that 1 g cancels exactly.
    if (m_phase == Pad && std::fabs(accel) < 1.5f && std::fabs(m_v) < 5.0f)
        m_g1 = 0.01f * accel + 0.99f * m_g1;
    m_g1 = std::min(std::max(m_g1, 0.85f), 1.15f);

    const bool gpsCounts = m_gps.hasFixNear(t) && std::fabs(zG) <= 200.0f;

    if (m_phase == Pad)
        m_ground = 0.01f * m_h + 0.99f * m_ground;

    // The GPS-minus-barometer offset is learned only while the rocket moves
    // slowly, and more slowly the more the two disagree.
    const float w1 = std::min(std::fabs(zG - zB) * 0.01f, 1.0f);
    const float w2 = clamp01(1.0f - (50.0f - std::fabs(m_v)) * 0.5f * 0.02f);
    const float k = 1.0f - w1 * (1.0f - w2);
    if (gpsCounts && zB < 10000.0f && std::fabs(m_v) < 50.0f && std::fabs(m_a) < 15.0f)
        m_off = (1.0f - k) * (zG - zB) + k * m_off;

    // The barometer fades out towards 15 km, GPS towards 100 m/s.
    const float wB = clamp01((15000.0f - (zB + m_off)) * 6.666667e-05f);
    float wG = 0.0f;
    if (gpsCounts) {
        if (std::fabs(m_v) < 100.0f)
            wG = (100.0f - std::fabs(m_v)) * 0.01f;
        if (std::fabs(am) > 40.0f)
            wG = 0.0f;
    }
    const bool measured = wG + wB >= 0.1f;
    float z = m_h;
    if (measured) {
        const float baroShare = wB / (wG + wB);
        z = (1.0f - baroShare) * zG + baroShare * (zB + m_off);
    }

    const bool trusted = accelerometerTrusted(am);
    float accelInput = 0.0f;
    if (trusted)
        accelInput = am;
    else if (m_phase != Pad)
        accelInput = -gravity - m_v * 0.033333335f;

    const Gains &gains = measured ? (trusted ? gainsMeasuredTrusted : gainsMeasuredUntrusted)
                                  : (trusted ? gainsCoastingTrusted : gainsCoastingUntrusted);
    const float r = z - m_h - stepSeconds * m_v - 0.005f * m_a;
    const float q = accelInput - m_a;
    const float h = m_h + stepSeconds * m_v + 0.005f * m_a + gains.k[0] * r + gains.k[1] * q;
    const float v = m_v + stepSeconds * m_a + gains.k[2] * r + gains.k[3] * q;
    const float a = m_a + gains.k[4] * r + gains.k[5] * q;
    m_h = h;
    m_v = v;
    m_a = a;

    updatePhase();
    ++m_steps;
}

bool VelocityEstimator::accelerometerTrusted(float am) const
{
    switch (m_phase) {
    case Pad:
        return am >= -1.5f;
    case Boost:
    case Burnout:
        return true;
    case Coast:
        return std::fabs(m_v) > 15.0f;
    default:
        return false;
    }
}

void VelocityEstimator::updatePhase()
{
    switch (m_phase) {
    case Pad:
        // Launch needs a settled filter and a sustained climb, not one spike.
        m_fast = m_v >= 30.0f ? m_fast + 1 : 0;
        if (m_steps > 100 && m_fast > 5)
            m_phase = Boost;
        break;
    case Boost:
        if (m_a < 0.0f)
            m_phase = Burnout;
        break;
    case Burnout:
        m_phase = Coast;
        break;
    case Coast:
        if (m_v <= 0.0f)
            m_phase = Apogee;
        break;
    case Apogee:
        m_phase = Descent;
        break;
    case Descent:
        if (m_h - m_ground < 100.0f) {
            m_fv = 0.995f * m_fv + 0.005f * m_v;
            if (std::fabs(m_fv) < 0.5f)
                m_phase = Landed;
        }
        break;
    case Landed:
        break;
    }
}

} // namespace

KalmanOutputs runKalmanFilter(const KalmanInputs &inputs)
{
    float offset0 = sampleSeries(inputs.gpsAltitude, inputs.launchTime).value
                    - sampleSeries(inputs.pressureAltitude, inputs.launchTime).value;
    if (offset0 > 300.0f)
        offset0 = 0.0f;

    VelocityEstimator estimator(inputs, offset0);
    KalmanOutputs outputs;
    const float stop = inputs.endTime + 5.0f;
    scanTimes(inputs.firstEventTime - 5.0f, stop, 0.1, [&](float t) {
        if (!(t < stop))
            return false;
        estimator.step(t);
        outputs.altitude.push_back({t, estimator.altitude(), 0.0f});
        outputs.velocity.push_back({t, estimator.velocity(), 0.0f});
        return true;
    });
    return outputs;
}
