#pragma once

#include <QString>
#include <array>
#include <optional>
#include <vector>

// A cubic y(x) fitted to samples by least squares.
class CubicFit {
public:
    // Fails with "invalid matrix size" when there are fewer samples than
    // coefficients, and with "singular matrix" when the samples cannot
    // determine a cubic (for example all at one x).
    static std::optional<CubicFit> fit(const std::vector<double> &x, const std::vector<double> &y,
                                       QString *error);

    double operator()(double x) const;

private:
    // The fit runs on x scaled to about [-1, 1], which keeps the columns of
    // the design matrix comparable even for velocities in the hundreds.
    double m_center = 0.0;
    double m_scale = 1.0;
    std::array<double, 4> m_scaled{};
};
