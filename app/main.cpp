#include "app/longpath.h"
#include "app/messagelog.h"
#include "app/okustudio.h"
#include "model/trace.h"
#include "webserver/webserver.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QWebEngineSettings>

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
    const QCommandLineOption flightOption(QStringLiteral("flight"), QStringLiteral("Flight file to load"),
                                          QStringLiteral("file"));
    parser.addOption(flightOption);
    parser.process(application);

    QWebEngineSettings *webSettings = QWebEngineSettings::globalSettings();
    webSettings->setAttribute(QWebEngineSettings::LocalContentCanAccessRemoteUrls, true);
    webSettings->setAttribute(QWebEngineSettings::LocalContentCanAccessFileUrls, true);
    webSettings->setAttribute(QWebEngineSettings::LocalStorageEnabled, true);
    webSettings->setAttribute(QWebEngineSettings::WebGLEnabled, true);

    WebServer::createInstance(&application);

    const QString shortName = parser.value(flightOption);
    const QString flightPath = expandLongPath(shortName);
    trace(QStringLiteral("Short file name: ") + shortName);
    trace(QStringLiteral("Flight file path: ") + flightPath);

    OKUStudio mainWindow(flightPath);
    mainWindow.showMaximized();
    return application.exec();
}
