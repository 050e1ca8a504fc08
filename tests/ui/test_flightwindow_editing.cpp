// What the flight window does to its flight: trimming, zeroing, saving,
// exporting, the main window's menu actions and the close prompt.
#include "flightwindowfixture.h"
#include "ui/qgraph.h"

#include <QFile>
#include <QPlainTextEdit>
#include <QStandardPaths>
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

    void trimKeepsTheChosenStretch()
    {
        NumberRecordingAsker asker;
        Studio studio;
        OKUKIPOFlightWidget *window = studio.open(recordedFlight());
        window->setWindowModified(false);
        const OKUKIPOFlight &flight = *window->flight();
        const float first = flight.events.front()->time;
        const float last = flight.events.back()->time;

        // Cancelling either question leaves the flight alone.
        asker.numbers = {6.0};
        studio.main.form().actionTrimTime->trigger();
        QCOMPARE(asker.numberTitles, QStringList({"Start time", "End time"}));
        QCOMPARE(asker.numberLabels, QStringList({"Enter start time to trim to", "Enter end time to trim to"}));
        QCOMPARE(asker.numberStarts, QList<double>({first, last}));
        QCOMPARE(flight.events.back()->time, last);
        QVERIFY(!window->isWindowModified());

        QSignalSpy scripts(window, &OKUKIPOFlightWidget::mapScriptRun);
        asker.numbers = {6.0, 20.0};
        studio.main.form().actionTrimTime->trigger();
        QVERIFY(flight.events.back()->time <= 20.0f);
        QVERIFY(flight.events.front()->time < 6.0f);
        QVERIFY(flight.events[1]->time >= 6.0f);
        QVERIFY(window->isWindowModified());
        QVERIFY(studio.main.form().actionSave->isEnabled());
        QVERIFY(scripts.size() >= 2);
        const QVector<QPointF> &altitude = window->graph("livePressureGraph")->first()->series.first()->points();
        QVERIFY(altitude.last().x() <= 20.0);
    }

    void zeroMovesTheTimeAxis()
    {
        NumberRecordingAsker asker;
        Studio studio;
        OKUKIPOFlightWidget *window = studio.open(recordedFlight());
        window->setWindowModified(false);
        const std::vector<float> before = eventTimes(*window->flight());

        studio.main.form().actionZeroTime->trigger();
        QCOMPARE(asker.numberLabels, QStringList({"Enter start time to zero to"}));
        QVERIFY(!window->isWindowModified());

        asker.numbers = {5.0};
        studio.main.form().actionZeroTime->trigger();
        const std::vector<float> after = eventTimes(*window->flight());
        QCOMPARE(after.size(), before.size());
        QCOMPARE(after.back(), before.back() - 5.0f);
        QVERIFY(window->isWindowModified());
        const QVector<QPointF> &altitude = window->graph("livePressureGraph")->first()->series.first()->points();
        QCOMPARE(float(altitude.first().x()), after.front());
    }

    void questionsOfAnEmptyFlightStartAtZero()
    {
        NumberRecordingAsker asker;
        Studio studio;
        studio.open(std::make_shared<OKUKIPOFlight>());
        studio.main.form().actionZeroTime->trigger();
        asker.numbers = {1.0};
        studio.main.form().actionTrimTime->trigger();
        QCOMPARE(asker.numberStarts, QList<double>({0.0, 0.0, 0.0}));
    }

    void autoTrimPutsLaunchAtZero()
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
        window->setWindowModified(false);
        const OKUKIPOFlight &flight = *window->flight();
        QVERIFY(flight.events.back()->time > flight.landingTime() + 10.0f);

        QSignalSpy scripts(window, &OKUKIPOFlightWidget::mapScriptRun);
        studio.main.form().actionAutoTrimAll->trigger();
        QVERIFY(asker.messages.isEmpty());
        QVERIFY(std::fabs(flight.launchTime()) < 0.1f);
        QVERIFY(flight.events.front()->time < -4.0f);
        QVERIFY(flight.events.back()->time <= flight.landingTime() + 10.5f);
        QVERIFY(window->isWindowModified());
        QCOMPARE(scripts.last().first().toString(), QStringLiteral("try { flyTo(); } catch(e){}"));
    }

    void autoTrimRefusesAGroundTest()
    {
        ScriptedAsker asker;
        Studio studio;
        OKUKIPOFlightWidget *window = studio.open(groundTest());
        window->setWindowModified(false);
        const std::vector<float> before = eventTimes(*window->flight());
        studio.main.form().actionAutoTrimAll->trigger();
        QCOMPARE(asker.messages.size(), 1);
        QCOMPARE(asker.messages[0].icon, QMessageBox::Critical);
        QCOMPARE(asker.messages[0].title, QStringLiteral("Auto trim"));
        QCOMPARE(asker.messages[0].text,
                 QStringLiteral("Can't perform auto trim. The flight data is either not sufficient or this is not an actual flight"));
        QCOMPARE(eventTimes(*window->flight()), before);
        QVERIFY(!window->isWindowModified());
    }

    void saveAndReloadGiveTheSameFlight()
    {
        ScriptedAsker asker;
        Studio studio;
        OKUKIPOFlightWidget *window = studio.open(recordedFlight());
        window->notesEditor()->setPlainText(QStringLiteral("Second flight of the day\nwindy"));
        QVERIFY(window->isWindowModified());

        asker.fileNames = QStringList{path("saved.kipo")};
        studio.main.form().actionSave->trigger(); // no file yet: asks for one
        QCOMPARE(asker.fileCaptions, QStringList({"Save OKU KIPO flight"}));
        QCOMPARE(asker.fileFilters, QStringList({"OKU KIPO flights (*.kipo)"}));
        QCOMPARE(messageTexts(asker), QStringList({"Flight saved!"}));
        QCOMPARE(asker.messages[0].icon, QMessageBox::Information);
        QCOMPARE(window->windowTitle(), QStringLiteral("saved.kipo[*]"));
        QCOMPARE(window->windowFilePath(), path("saved.kipo"));
        QVERIFY(!window->isWindowModified());
        QVERIFY(!studio.main.form().actionSave->isEnabled());

        OKUKIPOFlight reloaded;
        QVERIFY(reloaded.load(path("saved.kipo")));
        const OKUKIPOFlight &flight = *window->flight();
        QCOMPARE(reloaded.events.size(), flight.events.size());
        QCOMPARE(eventTimes(reloaded), eventTimes(flight));
        QCOMPARE(reloaded.notes, std::string("Second flight of the day\nwindy"));
        QCOMPARE(reloaded.launchTime(), flight.launchTime());
        QCOMPARE(reloaded.settings.firmwareVersion, flight.settings.firmwareVersion);

        // With a file, Save writes it without asking.
        window->notesEditor()->appendPlainText(QStringLiteral("landed in a bush"));
        studio.main.form().actionSave->trigger();
        QCOMPARE(asker.fileCaptions.size(), 1);
        OKUKIPOFlight again;
        QVERIFY(again.load(path("saved.kipo")));
        QVERIFY(QString::fromStdString(again.notes).endsWith("landed in a bush"));

        // Save As always asks; a cancelled dialog writes nothing.
        studio.main.form().actionSave_As->trigger();
        QCOMPARE(asker.fileCaptions.size(), 2);
    }

    void aFailedSaveKeepsTheWindowUnsaved()
    {
        ScriptedAsker asker;
        Studio studio;
        OKUKIPOFlightWidget *window = studio.open(recordedFlight());
        asker.fileNames = QStringList{unwritable("flight.kipo")};
        window->saveAs();
        QCOMPARE(messageTexts(asker), QStringList({"Could not save flight"}));
        QCOMPARE(asker.messages[0].icon, QMessageBox::Critical);
        QVERIFY(window->isWindowModified());
        QCOMPARE(window->windowTitle(), QStringLiteral("Untitled[*]"));
        QVERIFY(window->windowFilePath().isEmpty());
    }

    void notesSurviveATrimBeforeSaving()
    {
        NumberRecordingAsker asker;
        Studio studio;
        OKUKIPOFlightWidget *window = studio.open(recordedFlight());
        window->notesEditor()->setPlainText(QStringLiteral("motor F20"));
        asker.numbers = {2.0, 30.0};
        window->trimTime();
        QCOMPARE(window->notesEditor()->toPlainText(), QStringLiteral("motor F20"));
        QCOMPARE(window->flight()->notes, std::string("motor F20"));
    }

    void exportsWriteTheirFiles()
    {
        ScriptedAsker asker;
        Studio studio;
        OKUKIPOFlightWidget *window = studio.open(recordedFlight());
        const Ui::OKUStudioClass &form = studio.main.form();

        asker.fileNames = QStringList{path("flight.kml")};
        window->exportKML();
        asker.fileNames = QStringList{path("flight.csv")};
        form.actionExport_to_Excel->trigger();
        asker.fileNames = QStringList{path("emulation.csv")};
        form.actionExport_emulation_data->trigger();
        asker.numbers = {2.5, 0.4};
        asker.fileNames = QStringList{path("thrust.csv")};
        form.actionExport_thrust_data->trigger();

        QCOMPARE(asker.fileCaptions, QStringList({"Export flight to KML", "Export flight to Excel",
                                                  "Export emulation data", "Export thrust data"}));
        QCOMPARE(asker.fileFilters, QStringList({"KML files (*.kml)", "CSV files (*.csv)", "CSV files (*.csv)",
                                                 "CSV files (*.csv)"}));
        QCOMPARE(asker.numberTitles, QStringList({"Total rocket mass (including propellent) [kg]",
                                                  "Total propellent mass [kg]"}));
        QCOMPARE(messageTexts(asker), QStringList({"Flight data exported!", "Flight data exported!",
                                                   "Data exported!", "Data exported!"}));
        for (const char *name : {"flight.kml", "flight.csv", "emulation.csv", "thrust.csv"}) {
            QFile file(path(name));
            QVERIFY2(file.size() > 100, name);
        }
        QFile kml(path("flight.kml"));
        QVERIFY(kml.open(QIODevice::ReadOnly));
        QVERIFY(kml.readAll().contains("<coordinates>"));
        QFile thrust(path("thrust.csv"));
        QVERIFY(thrust.open(QIODevice::ReadOnly));
        QVERIFY(thrust.readAll().contains("2.5"));
    }

    void exportFailuresAreReported()
    {
        ScriptedAsker asker;
        Studio studio;
        OKUKIPOFlightWidget *window = studio.open(recordedFlight());
        asker.fileNames = QStringList{unwritable("a.kml"), unwritable("a.csv"), unwritable("b.csv"), unwritable("c.csv")};
        window->exportKML();
        window->exportCSV();
        window->exportEmulationData();
        asker.numbers = {2.5, 0.4};
        window->exportThrustData();
        QCOMPARE(messageTexts(asker), QStringList({"Could not export flight data", "Could not export flight data",
                                                   "Could not export data", "Could not export data"}));
        for (const MessageBoxRequest &request : asker.messages)
            QCOMPARE(request.icon, QMessageBox::Critical);
        QVERIFY(!QDir(path("missing")).exists());
    }

    void cancelledOrImpossibleExportsAskNoFurther()
    {
        ScriptedAsker asker;
        Studio studio;
        OKUKIPOFlightWidget *window = studio.open(recordedFlight());
        asker.numbers = {2.5};
        window->exportThrustData(); // the propellant mass is cancelled
        QCOMPARE(asker.numberTitles.size(), 2);
        window->exportCSV();
        QCOMPARE(asker.fileCaptions.size(), 1);
        QVERIFY(asker.messages.isEmpty());

        // A rocket that would weigh nothing after burnout is refused before any file is asked for.
        asker.numbers = {1.0, 1.0};
        window->exportThrustData();
        QCOMPARE(asker.fileCaptions.size(), 1);
        QCOMPARE(messageTexts(asker), QStringList({"The propellent mass must be less than the total rocket mass"}));
        QCOMPARE(asker.messages[0].icon, QMessageBox::Critical);
    }

    void onlyTheWindowInFrontAnswersTheMenu()
    {
        ScriptedAsker asker;
        Studio studio;
        OKUKIPOFlightWidget *back = studio.open(recordedFlight());
        OKUKIPOFlightWidget *front = studio.open(std::make_shared<OKUKIPOFlight>());
        QVERIFY(back != front);
        QCOMPARE(studio.current(), front);

        asker.fileNames = QStringList{path("front.kipo")};
        studio.main.form().actionSave_As->trigger();
        QCOMPARE(asker.fileCaptions.size(), 1);
        QCOMPARE(front->windowFilePath(), path("front.kipo"));
        QVERIFY(back->windowFilePath().isEmpty());

        // A closed window no longer listens.
        studio.main.form().mdiArea->setActiveSubWindow(studio.flightSubWindows().first());
        QCOMPARE(studio.current(), back);
        asker.buttons = {QMessageBox::No};
        studio.main.form().mdiArea->closeActiveSubWindow();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QCOMPARE(studio.flightSubWindows().size(), 1);
        asker.fileNames = QStringList{path("again.kipo")};
        studio.main.form().actionSave_As->trigger();
        QCOMPARE(asker.fileCaptions.size(), 2);
        QCOMPARE(front->windowFilePath(), path("again.kipo"));
    }

    void closePromptOfAnUnsavedFlight()
    {
        ScriptedAsker asker;
        Studio studio;
        studio.open(recordedFlight());
        QMdiSubWindow *window = studio.flightSubWindows().first();

        asker.buttons = {QMessageBox::Cancel};
        QVERIFY(!window->close());
        QCOMPARE(asker.messages.size(), 1);
        const MessageBoxRequest &prompt = asker.messages[0];
        QCOMPARE(prompt.icon, QMessageBox::Warning);
        QCOMPARE(prompt.text, QStringLiteral("Flight not saved"));
        QCOMPARE(prompt.informativeText, QStringLiteral("Would you like to save this flight?"));
        QCOMPARE(prompt.buttons, QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
        QCOMPARE(prompt.defaultButton, QMessageBox::Yes);

        // Yes with the save dialog cancelled keeps the flight.
        asker.buttons = {QMessageBox::Yes};
        QVERIFY(!window->close());
        QCOMPARE(asker.fileCaptions, QStringList({"Save OKU KIPO flight"}));

        asker.buttons = {QMessageBox::Yes};
        asker.fileNames = QStringList{path("closing.kipo")};
        QVERIFY(window->close());
        QVERIFY(QFile::exists(path("closing.kipo")));
        QCOMPARE(messageTexts(asker).last(), QStringLiteral("Flight saved!"));
    }

    void closePromptNoDiscardsAndSavedFlightsCloseQuietly()
    {
        ScriptedAsker asker;
        Studio studio;
        studio.open(recordedFlight());
        asker.buttons = {QMessageBox::No};
        QVERIFY(studio.flightSubWindows().first()->close());
        QCOMPARE(asker.messages.size(), 1);
        QVERIFY(asker.fileCaptions.isEmpty());

        OKUKIPOFlightWidget *saved = studio.open(recordedFlight());
        saved->setWindowModified(false);
        QVERIFY(studio.flightSubWindows().last()->close());
        QCOMPARE(asker.messages.size(), 1);
    }
};

QTEST_MAIN(TestFlightWindowEditing)
#include "test_flightwindow_editing.moc"
