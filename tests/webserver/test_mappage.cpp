#include "webserver/tilecache.h"
#include "webserver/tileservice.h"
#include "webserver/webserver.h"

#include <QApplication>
#include <QBuffer>
#include <QFile>
#include <QImage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSignalSpy>
#include <QWebEnginePage>
#include <QWebEngineView>
#include <QtTest>

namespace {

// x longitude, y latitude.
using Fix = QPointF;

QString degrees(double value)
{
    return QString::number(value, 'f', 12);
}

// The flight window's one-line document for these fixes.
QString flightWindowDocument(const QVector<Fix> &fixes)
{
    QString document = QStringLiteral("<?xml version=\"1.0\" encoding=\"UTF-8\"?><kml xmlns=\"http://earth.google.com/kml/2.1\">"
                                      "<Document><name>OKU KIPO Flight</name><visibility>1</visibility><Folder><name>Track</name>"
                                      "<Placemark><name>Aeronautic</name><Style><LineStyle><color>C80000FF</color><width>4</width>"
                                      "</LineStyle></Style><LineString><altitudeMode>absolute</altitudeMode><coordinates>");
    for (const Fix &fix : fixes)
        document += degrees(fix.x()) + ',' + degrees(fix.y()) + ",1200 ";
    return "plotKML('" + document + QStringLiteral("</coordinates></LineString></Placemark></Folder></Document></kml>');");
}

// Keeps what the page writes to its console.
struct RecordingPage : QWebEnginePage {
    using QWebEnginePage::QWebEnginePage;
    void javaScriptConsoleMessage(JavaScriptConsoleMessageLevel, const QString &message, int, const QString &) override
    {
        messages << message;
    }
    QStringList messages;
};

} // namespace

class TestMapPage : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir tileCache;
    WebServer *server = nullptr;
    QWebEngineView *view = nullptr;
    RecordingPage *page = nullptr;
    QByteArray exportedKml;
    QVector<Fix> fixes;

    QJsonObject run(const QString &script)
    {
        QVariant result;
        bool done = false;
        page->runJavaScript(script, [&](const QVariant &value) { result = value, done = true; });
        if (!QTest::qWaitFor([&] { return done; }, 5000))
            return QJsonObject();
        return QJsonDocument::fromJson(result.toString().toUtf8()).object();
    }

    QJsonObject mapState() { return run(QStringLiteral("JSON.stringify(mapState())")); }

    // As the windows call the page.
    void callPage(const QString &call) { run("try {" + call + " } catch(e){ console.log(e); }"); }

    QString placemarkCall(const Fix &fix) const
    {
        return "setPlacemark(" + degrees(fix.y()) + ", " + degrees(fix.x()) + ");";
    }

private slots:
    void initTestCase()
    {
        QFile file(QStringLiteral(OKUKIPO_TEST_DATA_DIR "/climb-track.kml"));
        QVERIFY(file.open(QIODevice::ReadOnly));
        exportedKml = file.readAll();
        const int start = exportedKml.indexOf("<coordinates>") + 13;
        const QByteArray first = exportedKml.mid(start, exportedKml.indexOf("</coordinates>") - start);
        for (const QByteArray &tuple : first.simplified().split(' ')) {
            const QList<QByteArray> values = tuple.split(',');
            fixes.append({values.at(0).toDouble(), values.at(1).toDouble()});
        }
        QCOMPARE(fixes.size(), 18);
        server = new WebServer(qApp, QStringLiteral(OKUKIPO_APP_DIR "/http_server.ini"), tileCache.path());
        // Nothing listens on port 1 of the loopback: the cache alone answers.
        tiles::TileSettings offline;
        offline.urlTemplate = QStringLiteral("http://127.0.0.1:1/{z}/{x}/{y}.png");
        server->tiles().configure(offline);
        view = new QWebEngineView;
        page = new RecordingPage(view);
        view->setPage(page);
        view->resize(800, 600);
        view->show();
    }

    void init()
    {
        QSignalSpy loaded(page, &QWebEnginePage::loadFinished);
        view->load(WebServer::url(QStringLiteral("KIPO.html")));
        QVERIFY(loaded.wait(15000));
        QCOMPARE(loaded.first().first().toBool(), true);
        page->messages.clear();
    }

    void flightIsDrawnAndFramed()
    {
        callPage(flightWindowDocument(fixes));
        callPage("plotGroudTrack([" + degrees(fixes[0].x()) + ',' + degrees(fixes[0].y()) + ',' + degrees(fixes[17].x()) + ','
                 + degrees(fixes[17].y()) + ",]);" + placemarkCall(fixes.last()) + "flyTo();");
        const QJsonObject state = mapState();
        const QJsonObject track = state.value("tracks").toArray().first().toObject();
        QCOMPARE(state.value("tracks").toArray().size(), 1);
        QCOMPARE(track.value("points").toInt(), fixes.size());
        QCOMPARE(state.value("groundTracks").toArray().first().toObject().value("points").toInt(), 2);
        const QJsonArray placemark = state.value("placemark").toArray();
        QVERIFY(qAbs(placemark.at(0).toDouble() - fixes.last().y()) + qAbs(placemark.at(1).toDouble() - fixes.last().x()) < 1e-9);
        // The view frames the whole track closely.
        const QJsonObject shown = state.value("view").toObject();
        for (const Fix &fix : fixes)
            QVERIFY(fix.y() >= shown.value("south").toDouble() && fix.y() <= shown.value("north").toDouble()
                    && fix.x() >= shown.value("west").toDouble() && fix.x() <= shown.value("east").toDouble());
        QVERIFY(state.value("zoom").toInt() >= 15);
        QCOMPARE(state.value("errors").toArray().size(), 0);
        // An exported file draws both its tracks.
        callPage("plotKML('" + QString::fromUtf8(exportedKml).simplified() + "');");
        const QJsonArray tracks = mapState().value("tracks").toArray();
        QCOMPARE(tracks.size(), 2);
        QCOMPARE(tracks.at(1).toObject().value("points").toInt(), fixes.size());
        QCOMPARE(page->messages, QStringList());
    }

    // Bad calls leave the track; a flight without GPS fixes clears it, and the view goes to the live marker.
    void badArgumentsKeepTheTrackAndEmptyFlightsClearIt()
    {
        callPage(flightWindowDocument(fixes));
        callPage(placemarkCall(fixes.first()));
        for (const char *call : {"plotKML('<kml><Placemark>');", "setPlacemark(91, 10);", "plotGroudTrack('-119.1,40.8');"})
            callPage(QString::fromLatin1(call));
        QTRY_COMPARE(page->messages.size(), 3);
        QCOMPARE(mapState().value("tracks").toArray().first().toObject().value("points").toInt(), fixes.size());
        callPage(flightWindowDocument({}) + "plotGroudTrack([]); flyTo();");
        const QJsonObject state = mapState();
        QCOMPARE(state.value("tracks").toArray().size() + state.value("groundTracks").toArray().size(), 0);
        QCOMPARE(state.value("zoom").toInt(), 16);
        const QJsonObject shown = state.value("view").toObject();
        QVERIFY(qAbs((shown.value("south").toDouble() + shown.value("north").toDouble()) / 2 - fixes.first().y()) < 1e-4);
        QVERIFY(qAbs((shown.value("west").toDouble() + shown.value("east").toDouble()) / 2 - fixes.first().x()) < 1e-4);
    }

    // The page opens at zoom 2, whose 16 tiles are in the cache; the source is unreachable.
    void cachedTilesShowWithoutTheSource()
    {
        QImage magenta(256, 256, QImage::Format_RGB32);
        magenta.fill(QColor(255, 0, 255));
        QBuffer png;
        png.open(QIODevice::WriteOnly);
        QVERIFY(magenta.save(&png, "PNG"));
        const TileCache cache(server->tiles().settings().urlTemplate, tileCache.path());
        for (int x = 0; x < 4; ++x)
            for (int y = 0; y < 4; ++y)
                QVERIFY(cache.store({2, x, y}, png.data(), QDateTime::currentDateTimeUtc(), TileCache::Kind::Viewed));
        init();
        const QString pixel = QStringLiteral(
            "(function () { var tile = document.querySelector('img.leaflet-tile-loaded');"
            " if (!tile) return '{}'; var canvas = document.createElement('canvas'); canvas.width = canvas.height = 1;"
            " var context = canvas.getContext('2d'); context.drawImage(tile, -128, -128);"
            " var rgb = context.getImageData(0, 0, 1, 1).data; return JSON.stringify({ rgb: [rgb[0], rgb[1], rgb[2]] }); })()");
        QTRY_COMPARE_WITH_TIMEOUT(run(pixel).value("rgb").toArray(), QJsonArray({255, 0, 255}), 10000);
    }

    void cleanupTestCase()
    {
        delete view;
        delete server;
    }
};

int main(int argc, char *argv[])
{
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts, true);
    QApplication application(argc, argv);
    TestMapPage test;
    return QTest::qExec(&test, argc, argv);
}

#include "test_mappage.moc"
