#pragma once

#include <QByteArray>

// Input for on-device emulation in the emulation data format: on the pad
// for 1 s, a 1.5 s burn at 8 g, then coasting (accelerometers read 0 in
// free fall).
inline QByteArray emulationData(int samples)
{
    QByteArray text = "Time[s],Pressure altitude [m],GPS altitude [m],GPS Valid,Acceleration x [m/s^2], "
                      "Acceleration y [m/s^2], Acceleration z [m/s^2], Gyro x [deg/s], Gyro y [deg/s], "
                      "Gyro z [deg/s]\n";
    constexpr double Gravity = 9.80665;
    double altitude = 0, velocity = 0;
    for (int i = 0; i < samples; ++i) {
        const double time = i * 0.01;
        const bool onPad = time < 1.0;
        const double accelZ = onPad ? Gravity : time < 2.5 ? 8 * Gravity : 0.0;
        if (!onPad)
            velocity += (accelZ - Gravity) * 0.01;
        altitude += velocity * 0.01;
        text += QByteArray::number(time) + ',' + QByteArray::number(altitude) + ','
            + QByteArray::number(altitude + 1200) + ",1,0,0," + QByteArray::number(accelZ) + ",0,0,0\n";
    }
    return text;
}
