#pragma once

#include <QPointF>
#include <QWidget>

class OKUEvent_GPSLLSol;
class OKUEvent_GPSTime;
class QLabel;
class QProgressBar;
class QSettings;
class QWebEngineView;

// The "GPS" page of the live data: the latest fix in labels, on the map
// page and in the KML file that map programs read.
class LiveGpsPage : public QWidget
{
    Q_OBJECT

public:
    // The settings give the coordinate format at each fix.
    LiveGpsPage(const QSettings *settings, bool metric, QWidget *parent);

    void showPosition(const OKUEvent_GPSLLSol &e);
    void showTime(const OKUEvent_GPSTime &e);
    // Moves the map to the latest fix.
    void focusOnTarget();
    // Where the live position goes.
    QString kmlFilePath() const { return m_kmlFilePath; }

signals:
    // Every script run in the map page, as it is run.
    void mapScriptRun(const QString &script);

private:
    void runMapScript(const QString &script);

    const QSettings *m_settings;
    bool m_metric;
    QString m_kmlFilePath;
    // Latitude and longitude of the latest fix, (0, 0) before one.
    QPointF m_lastPosition;
    QLabel *m_gpsTime;
    QLabel *m_latitude;
    QLabel *m_longitude;
    QLabel *m_gpsAltitude;
    QLabel *m_satellitesUsed;
    QLabel *m_fix;
    QProgressBar *m_connectedSats;
    QWebEngineView *m_webView;
};
