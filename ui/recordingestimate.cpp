#include "ui/recordingestimate.h"

const RecordedTypes &recordedTypes()
{
    static const RecordedTypes types{{
        {"GPSLLSOL", "GPS position", 200, 13},
        {"ACCELZ", "Acceleration Z", 10, 2},
        {"ACCELXY", "Acceleration X/Y", 10, 4},
        {"GYROXYZ", "Gyro X/Y/Z", 10, 6},
        {"MAGXYZ", "Magnetometer X/Y/Z", 100, 6},
        {"PRESSURE", "Pressure", 20, 3},
        {"TEMP", "Temperature", 500, 2},
        {"BATEJECT", "Ejection battery", 100, 2},
        {"BATCOMP", "Computer battery", 100, 2},
        {"GPSTIME", "GPS time", 500, 7},
        {"STATUS", "Status", 100, 2},
        {"LINEA", "Line A", 50, 2},
        {"LINEB", "Line B", 50, 2},
        {"LINEC", "Line C", 50, 2},
        {"LINED", "Line D", 50, 2},
        {"ORIENTATION", "Orientation", 100, 21},
    }};
    return types;
}

double recordingSeconds(const WriteRateDividers &dividers, int writeMultiple)
{
    if (writeMultiple <= 0)
        return 0;
    // Every record carries two bytes of framing besides its payload.
    constexpr int framingBytes = 2;
    double bytesPerSecond = 0;
    for (int i = 0; i < recordedTypeCount; ++i) {
        if (dividers[i] <= 0)
            continue;
        const RecordedType &type = recordedTypes()[i];
        const double periodSeconds = dividers[i] * type.basePeriodMs * 0.001 * writeMultiple;
        bytesPerSecond += (type.payloadBytes + framingBytes) / periodSeconds;
    }
    return bytesPerSecond > 0 ? flashCapacityBytes / bytesPerSecond : 0;
}

QString recordingTimeText(double seconds)
{
    if (seconds <= 0)
        return QStringLiteral("Unlimited");
    return QString::number(seconds * 0.00027777778, 'f', 1) + QStringLiteral(" hours");
}
