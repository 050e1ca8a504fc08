#include "app/longpath.h"
#include "app/messagelog.h"
#include "app/okustudio.h"
#include "app/startupoptions.h"
#include "device/sim/virtualflightcomputer.h"
#include "model/trace.h"
#include "ui/programwindows.h"
#include "webserver/webserver.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QWebEngineSettings>
#include <memory>

using okukipo::trace;

int main(int argc, char *argv[])
{
    // Web views and the orientation view share OpenGL resources.
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts, true);
    installMessageLog();
    QApplication application(argc, argv);

    for (const QString &argument : QCoreApplication::arguments())
        trace(QStringLiteral("arg: ") + argument);

    QCommandLineParser parser;
    const StartupOptions options;
    options.addTo(parser);
    parser.process(application);

    // Declared before the main window, so that it outlives the device console.
    std::unique_ptr<VirtualFlightComputer> virtualFlightComputer;
    if (parser.isSet(options.demo)) {
        virtualFlightComputer = std::make_unique<VirtualFlightComputer>();
        HIDTransport::setCurrent(virtualFlightComputer.get());
    }

    QWebEngineSettings *webSettings = QWebEngineSettings::globalSettings();
    webSettings->setAttribute(QWebEngineSettings::LocalContentCanAccessRemoteUrls, true);
    webSettings->setAttribute(QWebEngineSettings::LocalContentCanAccessFileUrls, true);
    webSettings->setAttribute(QWebEngineSettings::LocalStorageEnabled, true);
    webSettings->setAttribute(QWebEngineSettings::WebGLEnabled, true);

    // The map page's server, listening from now on; the application owns it.
    WebServer::createInstance(&application);

    const QString shortName = parser.value(options.flight);
    const QString flightPath = expandLongPath(shortName);
    trace(QStringLiteral("Short file name: ") + shortName);
    trace(QStringLiteral("Flight file path: ") + flightPath);

    // Shows itself maximised before it opens the flight or the device console.
    OKUStudio mainWindow(programWindows(), flightPath);
    return application.exec();
}
