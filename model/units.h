#pragma once

// Conversions between the SI units the model keeps and the imperial units
// some users read.  Plain numbers only: display formats are built on these
// where values are shown, and editors use them to turn typed values back.
namespace okukipo::units {

constexpr double feetPerMetre = 3.28084;

constexpr double metresToFeet(double metres)
{
    return metres * feetPerMetre;
}

constexpr double feetToMetres(double feet)
{
    return feet / feetPerMetre;
}

} // namespace okukipo::units
