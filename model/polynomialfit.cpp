#include "model/polynomialfit.h"

#include <algorithm>
#include <cmath>

namespace {

constexpr int terms = 4;

// Householder QR of the n x 4 design matrix, applied to y on the way; the
// least-squares coefficients then come from back substitution on R.
bool solveLeastSquares(std::vector<std::array<double, terms>> a, std::vector<double> y,
                       std::array<double, terms> *solution)
{
    const std::size_t n = a.size();
    for (int k = 0; k < terms; ++k) {
        double norm = 0.0;
        for (std::size_t i = std::size_t(k); i < n; ++i)
            norm = std::hypot(norm, a[i][k]);
        if (norm == 0.0)
            return false;
        const double alpha = a[k][k] > 0.0 ? -norm : norm;
        // v = column k below the diagonal minus alpha e_k, kept in place.
        a[k][k] -= alpha;
        double vNorm2 = 0.0;
        for (std::size_t i = std::size_t(k); i < n; ++i)
            vNorm2 += a[i][k] * a[i][k];
        for (int j = k + 1; j < terms; ++j) {
            double dot = 0.0;
            for (std::size_t i = std::size_t(k); i < n; ++i)
                dot += a[i][k] * a[i][j];
            const double factor = 2.0 * dot / vNorm2;
            for (std::size_t i = std::size_t(k); i < n; ++i)
                a[i][j] -= factor * a[i][k];
        }
        double dot = 0.0;
        for (std::size_t i = std::size_t(k); i < n; ++i)
            dot += a[i][k] * y[i];
        const double factor = 2.0 * dot / vNorm2;
        for (std::size_t i = std::size_t(k); i < n; ++i)
            y[i] -= factor * a[i][k];
        a[k][k] = alpha;
    }

    double largest = 0.0;
    for (int k = 0; k < terms; ++k)
        largest = std::max(largest, std::fabs(a[std::size_t(k)][k]));
    for (int k = terms - 1; k >= 0; --k) {
        const double diagonal = a[std::size_t(k)][k];
        if (std::fabs(diagonal) <= largest * 1e-12)
            return false;
        double sum = y[std::size_t(k)];
        for (int j = k + 1; j < terms; ++j)
            sum -= a[std::size_t(k)][j] * (*solution)[std::size_t(j)];
        (*solution)[std::size_t(k)] = sum / diagonal;
    }
    return true;
}

} // namespace

std::optional<CubicFit> CubicFit::fit(const std::vector<double> &x, const std::vector<double> &y,
                                      QString *error)
{
    if (x.size() != y.size() || x.size() < std::size_t(terms)) {
        *error = QStringLiteral("invalid matrix size");
        return std::nullopt;
    }
    const auto [lowest, highest] = std::minmax_element(x.begin(), x.end());
    CubicFit result;
    result.m_center = (*lowest + *highest) / 2.0;
    result.m_scale = (*highest - *lowest) / 2.0;
    if (!(result.m_scale > 0.0)) {
        *error = QStringLiteral("singular matrix");
        return std::nullopt;
    }

    std::vector<std::array<double, terms>> design(x.size());
    for (std::size_t i = 0; i < x.size(); ++i) {
        const double s = (x[i] - result.m_center) / result.m_scale;
        design[i] = {1.0, s, s * s, s * s * s};
    }
    if (!solveLeastSquares(std::move(design), y, &result.m_scaled)) {
        *error = QStringLiteral("singular matrix");
        return std::nullopt;
    }
    return result;
}

double CubicFit::operator()(double x) const
{
    const double s = (x - m_center) / m_scale;
    return m_scaled[0] + s * (m_scaled[1] + s * (m_scaled[2] + s * m_scaled[3]));
}
