#include "ui/livegps.h"

#include "model/events.h"
#include "model/gpsdate.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QSaveFile>
#include <QStandardPaths>

namespace livegps {

QString kmlFilePath()
{
    const QString relative = QStringLiteral("KIPO/temp/KIPO.kml");
    const QString applicationDirectory = QCoreApplication::applicationDirPath();
    if (QFileInfo(applicationDirectory).isWritable())
        return QDir(applicationDirectory).filePath(relative);
    return QDir(QStandardPaths::writableLocation(QStandardPaths::AppDataLocation)).filePath(relative);
}

QString kmlDocument(double latitude, double longitude)
{
    const QStringList lines{
        QStringLiteral("<?xml version=\"1.0\" encoding=\"UTF-8\"?>"),
        QStringLiteral("<kml xmlns=\"http://www.opengis.net/kml/2.2\">"),
        QStringLiteral("<Placemark>"),
        QStringLiteral("<name>Current</name>"),
        QStringLiteral("<description>Current</description>"),
        QStringLiteral("<Point>"),
        QStringLiteral("<coordinates>") + QString::number(longitude, 'g', 8) + QLatin1Char(',')
            + QString::number(latitude, 'g', 8) + QStringLiteral(",100</coordinates>"),
        QStringLiteral("</Point>"),
        QStringLiteral("</Placemark>"),
        QStringLiteral("</kml>"),
    };
    return lines.join(QLatin1Char('\n')) + QLatin1Char('\n');
}

bool writeKmlFile(const QString &path, double latitude, double longitude)
{
    if (!QDir().mkpath(QFileInfo(path).absolutePath()))
        return false;
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Text))
        return false;
    file.write(kmlDocument(latitude, longitude).toUtf8());
    return file.commit();
}

QString placemarkCall(double latitude, double longitude)
{
    return QStringLiteral("setPlacemark(") + QString::number(latitude, 'f', 6) + QStringLiteral(", ")
        + QString::number(longitude, 'f', 6) + QStringLiteral(");");
}

QString gpsTimeText(const OKUEvent_GPSTime &time)
{
    if (time.timeValid)
        return gpsDateTime(time).toLocalTime().toString(Qt::TextDate);
    return QString::number(time.timeOfWeek) + QStringLiteral(" ms");
}

} // namespace livegps
