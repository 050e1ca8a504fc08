#include "webserver/webserver.h"

#include <QApplication>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QWebEnginePage>
#include <QWebEngineView>
#include <QtTest>

#include <algorithm>

namespace {

struct Fix {
    double longitude;
    double latitude;
    double altitude;
};

// The fixes of the first track of an exported KML file.
QVector<Fix> readFixes(const QByteArray &kml)
{
    QVector<Fix> fixes;
    const int start = kml.indexOf("<coordinates>") + int(qstrlen("<coordinates>"));
    const int end = kml.indexOf("</coordinates>", start);
    for (const QByteArray &tuple : kml.mid(start, end - start).simplified().split(' ')) {
        const QList<QByteArray> values = tuple.split(',');
        fixes.append({values.at(0).toDouble(), values.at(1).toDouble(), values.at(2).toDouble()});
    }
    return fixes;
}

// The flight window's one-line document for these fixes.
QString flightWindowDocument(const QVector<Fix> &fixes)
{
    QString document = QStringLiteral("<?xml version=\"1.0\" encoding=\"UTF-8\"?>"
                                      "<kml xmlns=\"http://earth.google.com/kml/2.1\">"
                                      "<Document><name>OKU KIPO Flight</name><visibility>1</visibility>"
                                      "<Folder><name>Track</name><Placemark><name>Aeronautic</name>"
                                      "<Style><LineStyle><color>C80000FF</color><width>4</width></LineStyle></Style>"
                                      "<LineString><altitudeMode>absolute</altitudeMode><coordinates>");
    for (const Fix &fix : fixes)
        document += QString::number(fix.longitude, 'f', 12) + ',' + QString::number(fix.latitude, 'f', 12) + ','
            + QString::number(fix.altitude, 'g', 6) + ' ';
    return document + QStringLiteral("</coordinates></LineString></Placemark></Folder></Document></kml>");
}

// The flight window's ground track: a fix is taken when it moved more than 0.001 degrees.
QString groundTrackArray(const QVector<Fix> &fixes, int *taken)
{
    QString array = QStringLiteral("[");
    float lastLatitude = 0;
    float lastLongitude = 0;
    *taken = 0;
    for (const Fix &fix : fixes) {
        if (qAbs(fix.latitude - lastLatitude) > 0.001 || qAbs(fix.longitude - lastLongitude) > 0.001) {
            array += QString::number(fix.longitude, 'f', 12) + ',' + QString::number(fix.latitude, 'f', 12) + ',';
            lastLatitude = float(fix.latitude);
            lastLongitude = float(fix.longitude);
            ++*taken;
        }
    }
    return array + ']';
}

// The wrapper the windows put around every call.
QString programCall(const QString &call)
{
    return QStringLiteral("try {") + call + QStringLiteral(" } catch(e){ console.log(e); }");
}

class RecordingPage : public QWebEnginePage
{
public:
    using QWebEnginePage::QWebEnginePage;
    QStringList messages;
    QStringList errors;

protected:
    void javaScriptConsoleMessage(JavaScriptConsoleMessageLevel level, const QString &message, int line,
                                  const QString &source) override
    {
        messages << message;
        if (level == ErrorMessageLevel)
            errors << QStringLiteral("%1:%2: %3").arg(source).arg(line).arg(message);
    }
};

} // namespace

class TestMapPage : public QObject
{
    Q_OBJECT

private:
    WebServer *server = nullptr;
    QWebEngineView *view = nullptr;
    RecordingPage *page = nullptr;
    QByteArray exportedKml;
    QVector<Fix> fixes;

    QJsonObject run(const QString &script)
    {
        QVariant result;
        bool done = false;
        page->runJavaScript(script, [&](const QVariant &value) {
            result = value;
            done = true;
        });
        if (!QTest::qWaitFor([&] { return done; }, 5000))
            return QJsonObject();
        return QJsonDocument::fromJson(result.toString().toUtf8()).object();
    }

    QJsonObject mapState() { return run(QStringLiteral("JSON.stringify(mapState())")); }

    void callPage(const QString &call) { run(programCall(call)); }

    QString placemarkCall(const Fix &fix) const
    {
        return QStringLiteral("setPlacemark(") + QString::number(fix.latitude, 'f', 10) + QStringLiteral(", ")
            + QString::number(fix.longitude, 'f', 10) + QStringLiteral(");");
    }

private slots:
    void initTestCase()
    {
        QFile file(QStringLiteral(OKUKIPO_TEST_DATA_DIR "/climb-track.kml"));
        QVERIFY(file.open(QIODevice::ReadOnly));
        exportedKml = file.readAll();
        fixes = readFixes(exportedKml);
        QCOMPARE(fixes.size(), 18);
        server = new WebServer(qApp, QStringLiteral(OKUKIPO_APP_DIR "/http_server.ini"));
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
        page->errors.clear();
    }

    void flightIsDrawnAndFramed()
    {
        const QString document = flightWindowDocument(fixes);
        QVERIFY(!document.contains('\n'));
        int groundPoints = 0;
        const QString groundTrack = groundTrackArray(fixes, &groundPoints);
        callPage(QStringLiteral("plotKML('") + document + QStringLiteral("');"));
        callPage(QStringLiteral("plotGroudTrack(") + groundTrack + QStringLiteral(");"));
        callPage(placemarkCall(fixes.last()));
        run(QStringLiteral("try { flyTo(); } catch(e){}"));

        const QJsonObject state = mapState();
        const QJsonArray tracks = state.value("tracks").toArray();
        QCOMPARE(tracks.size(), 1);
        const QJsonObject track = tracks.first().toObject();
        QCOMPARE(track.value("points").toInt(), fixes.size());
        QCOMPARE(track.value("colour").toString(), QStringLiteral("#ff0000"));
        QCOMPARE(track.value("opacity").toDouble(), 200.0 / 255);
        QCOMPARE(track.value("weight").toDouble(), 4.0);

        const auto [minLatitude, maxLatitude] = std::minmax_element(
            fixes.cbegin(), fixes.cend(), [](const Fix &a, const Fix &b) { return a.latitude < b.latitude; });
        const auto [minLongitude, maxLongitude] = std::minmax_element(
            fixes.cbegin(), fixes.cend(), [](const Fix &a, const Fix &b) { return a.longitude < b.longitude; });
        const QJsonObject bounds = track.value("bounds").toObject();
        QVERIFY(qAbs(bounds.value("south").toDouble() - minLatitude->latitude) < 1e-9);
        QVERIFY(qAbs(bounds.value("north").toDouble() - maxLatitude->latitude) < 1e-9);
        QVERIFY(qAbs(bounds.value("west").toDouble() - minLongitude->longitude) < 1e-9);
        QVERIFY(qAbs(bounds.value("east").toDouble() - maxLongitude->longitude) < 1e-9);

        const QJsonArray groundTracks = state.value("groundTracks").toArray();
        QCOMPARE(groundTracks.size(), 1);
        QVERIFY(groundPoints >= 2);
        QCOMPARE(groundTracks.first().toObject().value("points").toInt(), groundPoints);

        const QJsonArray placemark = state.value("placemark").toArray();
        QVERIFY(qAbs(placemark.at(0).toDouble() - fixes.last().latitude) < 1e-9);
        QVERIFY(qAbs(placemark.at(1).toDouble() - fixes.last().longitude) < 1e-9);

        // The view frames the whole track closely: a 1 km climb fills a street-level view.
        const QJsonObject view = state.value("view").toObject();
        QVERIFY(view.value("south").toDouble() <= minLatitude->latitude);
        QVERIFY(view.value("north").toDouble() >= maxLatitude->latitude);
        QVERIFY(view.value("west").toDouble() <= minLongitude->longitude);
        QVERIFY(view.value("east").toDouble() >= maxLongitude->longitude);
        QVERIFY(state.value("zoom").toInt() >= 15);

        QCOMPARE(state.value("errors").toArray().size(), 0);
        QCOMPARE(page->errors, QStringList());
        QCOMPARE(page->messages, QStringList());
    }

    void exportedFileDrawsBothTracksInTheirColours()
    {
        callPage(QStringLiteral("plotKML('") + QString::fromUtf8(exportedKml).simplified() + QStringLiteral("');"));
        const QJsonArray tracks = mapState().value("tracks").toArray();
        QCOMPARE(tracks.size(), 2);
        QCOMPARE(tracks.at(0).toObject().value("colour").toString(), QStringLiteral("#ff0000"));
        QCOMPARE(tracks.at(1).toObject().value("colour").toString(), QStringLiteral("#ffff00"));
        QCOMPARE(tracks.at(1).toObject().value("points").toInt(), fixes.size());
        QCOMPARE(page->messages, QStringList());
    }

    void flightWithoutFixesShowsOnlyTheMarker()
    {
        callPage(QStringLiteral("plotKML('") + flightWindowDocument(fixes) + QStringLiteral("');"));
        // The next flight has no GPS fix: its empty track replaces the previous one.
        callPage(QStringLiteral("plotKML('") + flightWindowDocument({}) + QStringLiteral("');"));
        callPage(QStringLiteral("plotGroudTrack([]);"));
        QJsonObject state = mapState();
        QCOMPARE(state.value("tracks").toArray().size(), 0);
        QCOMPARE(state.value("groundTracks").toArray().size(), 0);

        // The device window follows live fixes and flies to the marker.
        const Fix launchPad = fixes.first();
        callPage(placemarkCall(launchPad));
        run(QStringLiteral("try { flyTo(); } catch(e){}"));
        state = mapState();
        QCOMPARE(state.value("zoom").toInt(), 16);
        const QJsonObject view = state.value("view").toObject();
        const double centreLatitude = (view.value("south").toDouble() + view.value("north").toDouble()) / 2;
        const double centreLongitude = (view.value("west").toDouble() + view.value("east").toDouble()) / 2;
        QVERIFY(qAbs(centreLatitude - launchPad.latitude) < 1e-4);
        QVERIFY(qAbs(centreLongitude - launchPad.longitude) < 1e-4);
        QCOMPARE(page->messages, QStringList());
    }

    void badArgumentsKeepWhatTheMapShows()
    {
        callPage(QStringLiteral("plotKML('") + flightWindowDocument(fixes) + QStringLiteral("');"));
        callPage(placemarkCall(fixes.last()));
        callPage(QStringLiteral("plotKML('not a KML document');"));
        callPage(QStringLiteral("plotKML('<kml><Placemark>');"));
        callPage(QStringLiteral("setPlacemark(91, 10);"));
        callPage(QStringLiteral("setPlacemark('north', 10);"));
        callPage(QStringLiteral("plotGroudTrack('-119.1,40.8');"));
        // Each failure is caught by the wrapper and logged to the page console.
        QTRY_COMPARE(page->messages.size(), 5);

        const QJsonObject state = mapState();
        QCOMPARE(state.value("tracks").toArray().first().toObject().value("points").toInt(), fixes.size());
        QVERIFY(qAbs(state.value("placemark").toArray().at(0).toDouble() - fixes.last().latitude) < 1e-9);
        // A missing function only writes to the console too.
        callPage(QStringLiteral("noSuchFunction();"));
        QTRY_COMPARE(page->messages.size(), 6);
        QCOMPARE(state.value("errors").toArray().size(), 0);
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
