#include "app/okustudio.h"
#include "app/applicationsettingswidget.h"
#include "app/studiowindows.h"
#include "device/hidtransport.h"
#include "model/flight.h"
#include "nodevices.h"
#include "scriptedasker.h"

#include <QCloseEvent>
#include <QDir>
#include <QStandardPaths>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QtTest>

namespace {

class FakeFlightWindow : public QWidget, public FlightWindow
{
public:
    explicit FakeFlightWindow(std::shared_ptr<OKUKIPOFlight> flight) : flight(std::move(flight)) {}

    void save() override { ++saves; }
    void saveAs() override { ++savesAs; }

    std::shared_ptr<OKUKIPOFlight> flight;
    int saves = 0;
    int savesAs = 0;
};

// Records the worker operations the main window asks for; refuses to close
// while told to, as a device window does during a firmware update.
class FakeDeviceWindow : public QWidget, public DeviceWindow
{
public:
    FakeDeviceWindow(QStringList *calls, const bool *busy) : calls(calls), busy(busy) {}

    void attemptConnection() override { calls->append(QStringLiteral("attemptConnection")); }
    void closeRemovedDevice(const QString &path) override { calls->append(QStringLiteral("closeRemovedDevice ") + path); }
    void reportFirmwareState() override { calls->append(QStringLiteral("reportFirmwareState")); }
    void closeEvent(QCloseEvent *event) override { event->setAccepted(!*busy); }

    QStringList *calls;
    const bool *busy;
};

class FakeWindows : public StudioWindowFactory
{
public:
    FlightWindow *createFlightWindow(std::shared_ptr<OKUKIPOFlight> flight, OKUStudio *owner) override
    {
        owners.append(owner);
        return new FakeFlightWindow(std::move(flight));
    }

    QMdiSubWindow *createFlightSubWindow(FlightWindow *) override { return new QMdiSubWindow; }

    DeviceWindow *createDeviceWindow(OKUStudio *owner) override
    {
        owners.append(owner);
        ++deviceWindowsCreated;
        return new FakeDeviceWindow(&deviceCalls, &deviceBusy);
    }

    QList<OKUStudio *> owners;
    bool deviceBusy = false;
    int deviceWindowsCreated = 0;
    QStringList deviceCalls;
};

QList<QMdiSubWindow *> subWindows(OKUStudio &studio)
{
    return studio.form().mdiArea->subWindowList(QMdiArea::CreationOrder);
}

QWidget *activeWidget(OKUStudio &studio)
{
    QMdiSubWindow *active = studio.form().mdiArea->currentSubWindow();
    return active ? active->widget() : nullptr;
}

// Which of the flight-dependent menu entries are enabled, in the order
// Flight menu, Save, Save As, Export to Excel, emulation data, thrust data.
QString menuStates(OKUStudio &studio)
{
    const Ui::OKUStudioClass &ui = studio.form();
    QString states;
    for (bool enabled : {ui.menuFlight->isEnabled(), ui.actionSave->isEnabled(), ui.actionSave_As->isEnabled(),
                         ui.actionExport_to_Excel->isEnabled(), ui.actionExport_emulation_data->isEnabled(),
                         ui.actionExport_thrust_data->isEnabled()})
        states += enabled ? QLatin1Char('1') : QLatin1Char('0');
    return states;
}

} // namespace

class TestOKUStudio : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir dir;
    QString firstFlight;
    QString secondFlight;

    QString writeFlight(const QString &name)
    {
        const QString path = QDir(dir.path()).filePath(name);
        OKUKIPOFlight flight;
        if (!flight.save(path))
            return {};
        return path;
    }

private slots:
    void initTestCase()
    {
        QVERIFY(dir.isValid());
        QStandardPaths::setTestModeEnabled(true);
        QVERIFY(QDir::setCurrent(dir.path()));
        firstFlight = writeFlight(QStringLiteral("first.kipo"));
        secondFlight = writeFlight(QStringLiteral("second.kipo"));
        QVERIFY(!firstFlight.isEmpty() && !secondFlight.isEmpty());
    }

    void startWithoutFlightOpensTheDeviceConsole()
    {
        FakeWindows windows;
        ScriptedAsker asker;
        OKUStudio studio{windows, QString()};
        QCOMPARE(subWindows(studio).size(), 1);
        QVERIFY(studio.deviceWindow());
        QCOMPARE(windows.owners, QList<OKUStudio *>({&studio}));
        QCOMPARE(activeWidget(studio), widgetOf(studio.deviceWindow()));
        QVERIFY(asker.messages.isEmpty());
    }

    void startWithFlightOpensIt()
    {
        FakeWindows windows;
        OKUStudio studio(windows, firstFlight);
        QCOMPARE(subWindows(studio).size(), 1);
        QVERIFY(!studio.deviceWindow());
        QWidget *window = activeWidget(studio);
        QVERIFY(dynamic_cast<FakeFlightWindow *>(window));
        QCOMPARE(window->windowTitle(), QStringLiteral("first.kipo[*]"));
        QCOMPARE(window->windowFilePath(), firstFlight);
        QVERIFY(!window->isWindowModified());
    }

    void unreadableFlightGivesOnlyABox_data()
    {
        QTest::addColumn<bool>("directory");
        QTest::newRow("missing") << false;
        QTest::newRow("a directory") << true;
    }

    void unreadableFlightGivesOnlyABox()
    {
        QFETCH(bool, directory);
        const QString path = dir.filePath(directory ? QStringLiteral("folder.kipo") : QStringLiteral("missing.kipo"));
        if (directory)
            QVERIFY(QDir(dir.path()).mkpath(path));
        FakeWindows windows;
        ScriptedAsker asker;
        OKUStudio studio{windows, QString()};
        studio.statusBar()->showMessage(QStringLiteral("before"));
        asker.fileNames << path;
        studio.form().actionOpen->trigger();

        QCOMPARE(asker.messages.size(), 1);
        QCOMPARE(asker.messages.first().text, path);
        QCOMPARE(subWindows(studio).size(), 1);
        QCOMPARE(studio.statusBar()->currentMessage(), QStringLiteral("before"));
    }

    void menuStatesFollowTheActiveWindow()
    {
        FakeWindows windows;
        ScriptedAsker asker;
        OKUStudio studio{windows, QString()};
        QCOMPARE(menuStates(studio), QStringLiteral("000000"));

        asker.fileNames << firstFlight;
        studio.form().actionOpen->trigger();
        QCOMPARE(menuStates(studio), QStringLiteral("101111"));

        studio.addFlight(std::make_shared<OKUKIPOFlight>(), QStringLiteral("Untitled"));
        QCOMPARE(menuStates(studio), QStringLiteral("111111"));

        studio.form().mdiArea->setActiveSubWindow(subWindows(studio).first());
        QCOMPARE(menuStates(studio), QStringLiteral("000000"));

        studio.form().mdiArea->closeAllSubWindows();
        QVERIFY(subWindows(studio).isEmpty());
        QCOMPARE(menuStates(studio), QStringLiteral("000000"));
    }

    void saveReachesTheActiveFlightWindow()
    {
        FakeWindows windows;
        OKUStudio studio(windows, firstFlight);
        studio.addFlight(std::make_shared<OKUKIPOFlight>(), QStringLiteral("Untitled"));
        auto *untitled = dynamic_cast<FakeFlightWindow *>(activeWidget(studio));
        studio.saveFlight();
        studio.saveFlightAs();
        studio.saveFlightAs();
        QCOMPARE(untitled->saves, 1);
        QCOMPARE(untitled->savesAs, 2);
        auto *first = dynamic_cast<FakeFlightWindow *>(subWindows(studio).first()->widget());
        QCOMPARE(first->saves + first->savesAs, 0);
    }

    void deviceConsoleExistsOnce()
    {
        FakeWindows windows;
        OKUStudio studio{windows, QString()};
        studio.addFlight(std::make_shared<OKUKIPOFlight>(), QStringLiteral("Untitled"));
        QWidget *flightWindow = activeWidget(studio);

        studio.form().actionOKU_KIPO_Interface->trigger();
        QCOMPARE(windows.deviceWindowsCreated, 1);
        QCOMPARE(subWindows(studio).size(), 2);
        // Not even activated.
        QCOMPARE(activeWidget(studio), flightWindow);

        subWindows(studio).first()->close();
        QTRY_VERIFY(!studio.deviceWindow());
        QCOMPARE(subWindows(studio).size(), 1);

        studio.form().actionOKU_KIPO_Interface->trigger();
        QCOMPARE(windows.deviceWindowsCreated, 2);
        QVERIFY(studio.deviceWindow());
        QCOMPARE(activeWidget(studio), widgetOf(studio.deviceWindow()));
    }

    void theProgramQuitsOnlyWhenEveryWindowAgrees()
    {
        FakeWindows windows;
        windows.deviceBusy = true;
        OKUStudio studio{windows, QString()};
        studio.addFlight(std::make_shared<OKUKIPOFlight>(), QStringLiteral("Untitled"));
        QVERIFY(!studio.close());
        QCOMPARE(subWindows(studio).size(), 2);
        QVERIFY(studio.deviceWindow());
        windows.deviceBusy = false;
        studio.form().actionExit->trigger();
        QVERIFY(!studio.isVisible());
        QVERIFY(subWindows(studio).isEmpty());
    }

    void deviceChangesReachTheOpenDeviceConsole()
    {
        FakeWindows windows;
        NoDevices transport;
        OKUStudio studio{windows, QString()};

        emit transport.deviceArrived(QStringLiteral("/dev/hidraw3"));
        QCOMPARE(windows.deviceCalls, QStringList({"attemptConnection", "reportFirmwareState"}));

        windows.deviceCalls.clear();
        emit transport.deviceRemoved(QStringLiteral("/dev/hidraw3"));
        QCOMPARE(windows.deviceCalls, QStringList({"closeRemovedDevice /dev/hidraw3", "reportFirmwareState"}));
    }
};

QTEST_MAIN(TestOKUStudio)
#include "test_okustudio.moc"
