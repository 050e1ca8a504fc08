// What the flight window does to its flight: trimming, zeroing, saving,
// exporting, the main window's menu actions and the close prompt.
#include "flightwindowfixture.h"
#include "ui/qgraph.h"

#include <QMessageBox>

#include <QFile>
#include <QPlainTextEdit>
#include <QTemporaryDir>
#include <QtTest>
#include <cmath>

using namespace flightwindowtest;

namespace {

QStringList messageTexts(const ScriptedAsker &asker)
{
    QStringList texts;
    for (const MessageBoxRequest &request : asker.messages)
        texts << request.text;
    return texts;
}

std::vector<float> eventTimes(const OKUKIPOFlight &flight)
{
    std::vector<float> times;
    for (const OKUEvent *event : flight.events)
        times.push_back(event->time);
    return times;
}

} // namespace

class TestFlightWindowEditing : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir dir;

    QString path(const QString &name) const { return QDir(dir.path()).filePath(name); }
    // A path in a folder that does not exist: nothing can be written there.
    QString unwritable(const QString &name) const { return QDir(dir.path()).filePath("missing/" + name); }

private slots:
    void initTestCase()
    {
        QVERIFY(enterTestFolder(dir));
    }

    void trimAndZeroMoveTheTimeAxis()
    {
        NumberRecordingAsker asker;
        Studio studio;
        OKUKIPOFlightWidget *window = studio.open(recordedFlight());
        window->setWindowModified(false);
        const OKUKIPOFlight &flight = *window->flight();
        const std::vector<float> before = eventTimes(flight);

        // Cancelling either question leaves the flight alone.
        asker.numbers = {6.0};
        studio.main.form().actionTrimTime->trigger();
        QCOMPARE(asker.numberStarts, QList<double>({before.front(), before.back()}));
        QCOMPARE(eventTimes(flight), before);
        QVERIFY(!window->isWindowModified());

        asker.numbers = {6.0, 20.0, 5.0};
        studio.main.form().actionTrimTime->trigger();
        QVERIFY(flight.events.front()->time < 6.0f && flight.events[1]->time >= 6.0f);
        QVERIFY(flight.events.back()->time <= 20.0f);
        QVERIFY(window->isWindowModified());
        const float lastTrimmed = flight.events.back()->time;
        studio.main.form().actionZeroTime->trigger();
        QCOMPARE(flight.events.back()->time, lastTrimmed - 5.0f);
        const QVector<QPointF> &altitude = window->graph("livePressureGraph")->first()->series.first()->points();
        QCOMPARE(float(altitude.last().x()), eventsOf<OKUEvent_Pressure>(flight).back()->time);
    }

    void autoTrimPutsLaunchAtZeroAndRefusesAGroundTest()
    {
        ScriptedAsker asker;
        Studio studio;
        // Recorded long enough on the ground that there is something to cut.
        okukipo::sim::FlightProfile profile = standardProfile();
        profile.groundSeconds = 20.0;
        OKUKIPOSettings settings = okukipo::sim::factorySettings();
        settings.groundWriteMultiple = 10;
        settings.updateChecksum();
        OKUKIPOFlightWidget *window = studio.open(okukipo::sim::simulatedFlight(profile, nullptr, settings));
        const OKUKIPOFlight &flight = *window->flight();
        QVERIFY(flight.events.back()->time > flight.landingTime() + 10.0f);
        studio.main.form().actionAutoTrimAll->trigger();
        QVERIFY(asker.messages.isEmpty());
        QVERIFY(std::fabs(flight.launchTime()) < 0.1f);
        QVERIFY(flight.events.front()->time < -4.0f);
        QVERIFY(flight.events.back()->time <= flight.landingTime() + 10.5f);

        window = studio.open(groundTest());
        window->setWindowModified(false);
        const std::vector<float> before = eventTimes(*window->flight());
        studio.main.form().actionAutoTrimAll->trigger();
        QCOMPARE(asker.messages.size(), 1);
        QCOMPARE(asker.messages[0].icon, QMessageBox::Critical);
        QCOMPARE(eventTimes(*window->flight()), before);
        QVERIFY(!window->isWindowModified());
    }

    void saveAndReloadGiveTheSameFlight()
    {
        ScriptedAsker asker;
        Studio studio;
        OKUKIPOFlightWidget *window = studio.open(recordedFlight());
        window->notesEditor()->setPlainText(QStringLiteral("Second flight of the day\nwindy"));
        asker.fileNames = QStringList{path("saved.kipo")};
        studio.main.form().actionSave->trigger(); // no file yet: asks for one
        QCOMPARE(messageTexts(asker), QStringList({"Flight saved!"}));
        QCOMPARE(window->windowTitle(), QStringLiteral("saved.kipo[*]"));
        QVERIFY(!window->isWindowModified());

        OKUKIPOFlight reloaded;
        QVERIFY(reloaded.load(path("saved.kipo")));
        QCOMPARE(eventTimes(reloaded), eventTimes(*window->flight()));
        QCOMPARE(reloaded.notes, std::string("Second flight of the day\nwindy"));

        // With a file, Save writes it without asking; notes survive a trim.
        asker.numbers = {2.0, 30.0};
        window->trimTime();
        window->notesEditor()->appendPlainText(QStringLiteral("landed in a bush"));
        studio.main.form().actionSave->trigger();
        QCOMPARE(asker.fileCaptions.size(), 1);
        QVERIFY(reloaded.load(path("saved.kipo")));
        QVERIFY(QString::fromStdString(reloaded.notes).endsWith("landed in a bush"));
    }

    void failedSavesAndExportsAreReported()
    {
        ScriptedAsker asker;
        Studio studio;
        OKUKIPOFlightWidget *window = studio.open(recordedFlight());
        asker.fileNames = QStringList{unwritable("f.kipo"), unwritable("a.kml"), unwritable("a.csv"),
                                      unwritable("b.csv"), unwritable("c.csv")};
        window->saveAs();
        window->exportKML();
        window->exportCSV();
        window->exportEmulationData();
        asker.numbers = {2.5, 0.4};
        window->exportThrustData();
        QCOMPARE(messageTexts(asker), QStringList({"Could not save flight", "Could not export flight data",
                                                   "Could not export flight data", "Could not export data",
                                                   "Could not export data"}));
        QVERIFY(window->isWindowModified());
        QVERIFY(window->windowFilePath().isEmpty());
    }

    void exportsWriteTheirFiles()
    {
        ScriptedAsker asker;
        Studio studio;
        OKUKIPOFlightWidget *window = studio.open(recordedFlight());
        const Ui::OKUStudioClass &form = studio.main.form();
        asker.fileNames = QStringList{path("flight.kml"), path("flight.csv"), path("emulation.csv"), path("thrust.csv")};
        window->exportKML();
        form.actionExport_to_Excel->trigger();
        form.actionExport_emulation_data->trigger();
        asker.numbers = {2.5, 0.4};
        form.actionExport_thrust_data->trigger();
        QCOMPARE(messageTexts(asker), QStringList({"Flight data exported!", "Flight data exported!",
                                                   "Data exported!", "Data exported!"}));
        for (const char *name : {"flight.kml", "flight.csv", "emulation.csv", "thrust.csv"})
            QVERIFY2(QFile(path(name)).size() > 100, name);

        // A rocket that would weigh nothing after burnout is refused before any file is asked for.
        asker.numbers = {1.0, 1.0};
        window->exportThrustData();
        QCOMPARE(asker.fileCaptions.size(), 4);
        QCOMPARE(messageTexts(asker).last(), QStringLiteral("The propellent mass must be less than the total rocket mass"));
    }

    void onlyTheWindowInFrontAnswersTheMenu()
    {
        ScriptedAsker asker;
        Studio studio;
        OKUKIPOFlightWidget *back = studio.open(recordedFlight());
        OKUKIPOFlightWidget *front = studio.open(std::make_shared<OKUKIPOFlight>());
        asker.fileNames = QStringList{path("front.kipo")};
        studio.main.form().actionSave_As->trigger();
        QCOMPARE(front->windowFilePath(), path("front.kipo"));
        QVERIFY(back->windowFilePath().isEmpty());

        // A closed window no longer listens.
        studio.main.form().mdiArea->setActiveSubWindow(studio.flightSubWindows().first());
        asker.buttons = {QMessageBox::No};
        studio.main.form().mdiArea->closeActiveSubWindow();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QCOMPARE(studio.flightSubWindows().size(), 1);
        asker.fileNames = QStringList{path("again.kipo")};
        studio.main.form().actionSave_As->trigger();
        QCOMPARE(front->windowFilePath(), path("again.kipo"));
    }

    // Closing the program closes each flight through its prompt: Yes saves
    // (to the flight's own file if it has one), No discards, and Cancel or a
    // save that did not happen keeps the program open.
    void closingTheProgramAsksForEveryUnsavedFlight_data()
    {
        QTest::addColumn<bool>("hasFile");
        QTest::addColumn<int>("answer");
        QTest::addColumn<QString>("saveAs");
        QTest::addColumn<bool>("quits");
        QTest::addColumn<int>("fileDialogs");
        QTest::newRow("Cancel") << false << int(QMessageBox::Cancel) << "" << false << 0;
        QTest::newRow("No") << false << int(QMessageBox::No) << "" << true << 0;
        QTest::newRow("Yes, save dialog cancelled") << false << int(QMessageBox::Yes) << "" << false << 1;
        QTest::newRow("Yes, save failed") << false << int(QMessageBox::Yes) << unwritable("x.kipo") << false << 1;
        QTest::newRow("Yes, saved as") << false << int(QMessageBox::Yes) << path("new.kipo") << true << 1;
        QTest::newRow("Yes, saved to its file") << true << int(QMessageBox::Yes) << "" << true << 0;
        QTest::newRow("Yes on a file, cancelled") << true << int(QMessageBox::Cancel) << "" << false << 0;
    }

    void closingTheProgramAsksForEveryUnsavedFlight()
    {
        QFETCH(bool, hasFile);
        QFETCH(int, answer);
        QFETCH(QString, saveAs);
        QFETCH(bool, quits);
        QFETCH(int, fileDialogs);
        ScriptedAsker asker;
        Studio studio;
        OKUKIPOFlightWidget *window = studio.open(recordedFlight());
        studio.open(recordedFlight())->setWindowModified(false);
        const QString ownFile = path(QStringLiteral("own.kipo"));
        if (hasFile) {
            asker.fileNames = QStringList{ownFile};
            window->saveAs();
            window->notesEditor()->setPlainText(QStringLiteral("changed"));
            asker.fileCaptions.clear();
        }
        asker.messages.clear();
        asker.buttons = {QMessageBox::StandardButton(answer)};
        asker.fileNames = saveAs.isEmpty() ? QStringList() : QStringList{saveAs};

        QCOMPARE(studio.main.close(), quits);
        QCOMPARE(asker.messages.value(0).text, QStringLiteral("Flight not saved"));
        QCOMPARE(asker.fileCaptions.size(), fileDialogs);
        QCOMPARE(studio.flightSubWindows().size(), quits ? 0 : 2);
        if (quits && answer == QMessageBox::Yes) {
            OKUKIPOFlight saved;
            QVERIFY(saved.load(hasFile ? ownFile : saveAs));
            QCOMPARE(saved.notes, std::string(hasFile ? "changed" : ""));
        }
        QFile::remove(ownFile);
    }
};

QTEST_MAIN(TestFlightWindowEditing)
#include "test_flightwindow_editing.moc"
