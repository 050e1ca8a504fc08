#include "ui/livegpspage.h"

#include "app/units.h"
#include "model/events.h"
#include "model/trace.h"
#include "ui/flightmapscripts.h"
#include "ui/formbuilding.h"
#include "ui/livegps.h"
#include "ui/saveareadialog.h"
#include "webserver/webserver.h"

#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>
#include <QWebEngineView>

LiveGpsPage::LiveGpsPage(const QSettings *settings, bool metric, QWidget *parent)
    : QWidget(parent)
    , m_settings(settings)
    , m_metric(metric)
    , m_kmlFilePath(livegps::kmlFilePath())
{
    auto *layout = new QVBoxLayout(this);
    QGroupBox *fix = newGroupBox(QStringLiteral("gpsFixGroup"), tr("GPS fix solution"), this);
    auto *grid = new QGridLayout(fix);
    const auto addRow = [&](const QString &caption, const QString &objectName, const QString &initial) {
        const int row = grid->rowCount();
        grid->addWidget(new QLabel(caption, fix), row, 0);
        auto *value = new QLabel(initial, fix);
        value->setObjectName(objectName);
        grid->addWidget(value, row, 1);
        return value;
    };
    const QString zero = QStringLiteral("0");
    m_gpsTime = addRow(tr("GPS time:"), QStringLiteral("liveGPSTimeLabel"), zero);
    m_latitude = addRow(tr("Lat:"), QStringLiteral("liveLatLabel"), zero);
    m_longitude = addRow(tr("Long:"), QStringLiteral("liveLongLabel"), zero);
    m_gpsAltitude = addRow(tr("MSL Altitude:"), QStringLiteral("liveGPSMSLLabel"), zero);
    m_satellitesUsed = addRow(tr("Satellites used in solution:"), QStringLiteral("satUsedLabel"), zero);
    m_fix = addRow(tr("GPS fix:"), QStringLiteral("gpsFixLabel"), tr("None"));
    layout->addWidget(fix);

    connect(addButton(QStringLiteral("focusOnTarget"), tr("Focus on target"), this), &QPushButton::clicked, this,
            &LiveGpsPage::focusOnTarget);
    connect(addButton(QStringLiteral("saveAreaForOffline"), tr("Save this area for offline use"), this),
            &QPushButton::clicked, this, [this] {
                SaveAreaDialog::open(this, m_webView->page(),
                                     m_lastPosition.isNull()
                                         ? QVector<SaveAreaDialog::Area>()
                                         : SaveAreaDialog::areasAround(m_lastPosition.x(), m_lastPosition.y()));
            });

    m_webView = new QWebEngineView(this);
    m_webView->setObjectName(QStringLiteral("webView"));
    m_webView->setUrl(WebServer::url(QStringLiteral("KIPO.html")));
    layout->addWidget(m_webView, 1);

    m_connectedSats = new QProgressBar(this);
    m_connectedSats->setObjectName(QStringLiteral("connectedSatsWidget"));
    m_connectedSats->setRange(0, 32);
    m_connectedSats->setValue(0);
    layout->addWidget(m_connectedSats);
}

void LiveGpsPage::showTime(const OKUEvent_GPSTime &e)
{
    m_gpsTime->setText(livegps::gpsTimeText(e));
}

void LiveGpsPage::showPosition(const OKUEvent_GPSLLSol &e)
{
    m_latitude->setText(formatCoordinate(e.latitude, *m_settings));
    m_longitude->setText(formatCoordinate(e.longitude, *m_settings));
    m_gpsAltitude->setText(DisplayUnits(m_metric).gpsAltitudeLabel(e.altitude));
    m_fix->setText(e.solution3D ? tr("3D solution") : tr("None"));
    m_connectedSats->setValue(qBound(0, int(e.satellites), m_connectedSats->maximum()));
    m_satellitesUsed->setText(QString::number(e.satellites));
    if (!livegps::writeKmlFile(m_kmlFilePath, e.latitude, e.longitude))
        okukipo::trace(QStringLiteral("Could not write ") + m_kmlFilePath);
    m_lastPosition = QPointF(e.latitude, e.longitude);
    runMapScript(livegps::placemarkCall(e.latitude, e.longitude));
}

void LiveGpsPage::focusOnTarget()
{
    // The latest fix, not the null island, is what the user wants to see.
    runMapScript(livegps::placemarkCall(m_lastPosition.x(), m_lastPosition.y()));
    runMapScript(QStringLiteral("flyTo()"));
}

void LiveGpsPage::runMapScript(const QString &script)
{
    const QString guarded = flightmap::guarded(script);
    emit mapScriptRun(guarded);
    m_webView->page()->runJavaScript(guarded);
}
