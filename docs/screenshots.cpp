// Takes the README's pictures of the program in demo mode: the device
// console's tabs with the virtual flight computer, then a downloaded flight
// in its window.  Run by scripts/screenshots.sh under Xvfb; the pictures
// are of the whole screen, so that plots, map and 3D view show as drawn.

#include "app/okustudio.h"
#include "device/sim/virtualflightcomputer.h"
#include "ui/okukipoflightwidget.h"
#include "ui/okukipowidget.h"
#include "ui/programwindows.h"
#include "webserver/webserver.h"

#include <QApplication>
#include <QDir>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QPushButton>
#include <QScreen>
#include <QTabWidget>
#include <QTableWidget>
#include <QTest>
#include <QWebEngineSettings>
#include <cstdio>

namespace {

QDir outputDirectory;

bool shoot(const QString &name)
{
    QTest::qWait(1500);
    const QString path = outputDirectory.filePath(name + QStringLiteral(".png"));
    const bool saved = QGuiApplication::primaryScreen()->grabWindow(0).save(path);
    std::fprintf(stderr, "%s %s\n", saved ? "wrote" : "could not write", qPrintable(path));
    return saved;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts, true);
    QApplication application(argc, argv);
    if (application.arguments().size() != 2) {
        std::fprintf(stderr, "usage: okukipo_screenshots OUTPUT_DIRECTORY\n");
        return 2;
    }
    outputDirectory = QDir(application.arguments().at(1));
    outputDirectory.mkpath(QStringLiteral("."));
    VirtualFlightComputer computer;
    HIDTransport::setCurrent(&computer);
    QWebEngineSettings::globalSettings()->setAttribute(QWebEngineSettings::LocalContentCanAccessRemoteUrls, true);
    WebServer::createInstance(&application);

    OKUStudio studio{programWindows(), QString()};
    // Without a window manager nothing maximises the window.
    studio.setGeometry(QGuiApplication::primaryScreen()->geometry());
    auto *console = dynamic_cast<OKUKIPOWidget *>(studio.deviceWindow());
    if (!console)
        return 1;
    auto *downloadButton = console->findChild<QPushButton *>(QStringLiteral("downloadFlights"));
    if (!QTest::qWaitFor([downloadButton] { return downloadButton->isEnabled(); }, 20000))
        return 1;

    auto *mainTabs = console->findChild<QTabWidget *>(QStringLiteral("mainTabs"));
    auto *liveTabs = console->findChild<QTabWidget *>(QStringLiteral("liveTabs"));
    bool ok = shoot(QStringLiteral("device-control-panel"));
    mainTabs->setCurrentIndex(1);
    QTest::qWait(8000);
    ok &= shoot(QStringLiteral("device-live-altitude"));
    liveTabs->setCurrentIndex(1);
    ok &= shoot(QStringLiteral("device-live-gyro"));
    liveTabs->setCurrentIndex(4);
    QTest::qWait(3000);
    ok &= shoot(QStringLiteral("device-live-gps"));
    liveTabs->setCurrentIndex(5);
    ok &= shoot(QStringLiteral("device-live-orientation"));
    mainTabs->setCurrentIndex(3);
    ok &= shoot(QStringLiteral("device-settings"));

    mainTabs->setCurrentIndex(2);
    if (!QTest::qWaitFor([downloadButton] { return downloadButton->isEnabled(); }, 20000))
        return 1;
    downloadButton->click();
    auto *table = console->findChild<QTableWidget *>(QStringLiteral("flightsTable"));
    if (!QTest::qWaitFor([table, downloadButton] { return table->rowCount() > 0 && downloadButton->isEnabled(); },
                         60000))
        return 1;
    ok &= shoot(QStringLiteral("device-download"));

    table->selectRow(0);
    console->findChild<QPushButton *>(QStringLiteral("loadSelectedFlight"))->click();
    auto *flightWindow = qobject_cast<OKUKIPOFlightWidget *>(studio.form().mdiArea->currentSubWindow()->widget());
    if (!flightWindow)
        return 1;
    flightWindow->flightTabs()->setCurrentIndex(0);
    ok &= shoot(QStringLiteral("flight-altitude"));
    flightWindow->flightTabs()->setCurrentIndex(5);
    flightWindow->populateGPSData();
    flightWindow->focusOnTarget();
    QTest::qWait(3000);
    ok &= shoot(QStringLiteral("flight-map"));
    flightWindow->findChild<QPushButton *>(QStringLiteral("saveAreaForOffline"))->click();
    ok &= shoot(QStringLiteral("flight-save-area"));
    ComparisonWindow *comparison = programWindows().createComparisonWindow(&studio, flightWindow);
    if (!comparison->addFiles({QStringLiteral(OKUKIPO_EXAMPLES_DIR "/simulation.csv")}))
        return 1;
    studio.form().mdiArea->addSubWindow(widgetOf(comparison))->showMaximized();
    ok &= shoot(QStringLiteral("comparison"));
    return ok ? 0 : 1;
}
