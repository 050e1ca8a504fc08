#include "app/okustudio.h"
#include "app/studiowindows.h"
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

struct FakeFlightWindow : QWidget, FlightWindow {
    void save() override {}
    void saveAs() override {}
};

// Records the worker operations the main window asks for; refuses to close
// while told to, as a device window does during a firmware update.
struct FakeDeviceWindow : QWidget, DeviceWindow {
    FakeDeviceWindow(QStringList *calls, const bool *busy) : calls(calls), busy(busy) {}

    void attemptConnection() override { calls->append(QStringLiteral("attemptConnection")); }
    void closeRemovedDevice(const QString &path) override { calls->append(QStringLiteral("closeRemovedDevice ") + path); }
    void reportFirmwareState() override { calls->append(QStringLiteral("reportFirmwareState")); }
    void closeEvent(QCloseEvent *event) override { event->setAccepted(!*busy); }

    QStringList *calls;
    const bool *busy;
};

struct FakeWindows : StudioWindowFactory {
    FlightWindow *createFlightWindow(std::shared_ptr<OKUKIPOFlight>, OKUStudio *owner) override
    {
        owners.append(owner);
        return new FakeFlightWindow;
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

// Flight menu, Save, Save As, Export to Excel, emulation and thrust data enabled.
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

private slots:
    void initTestCase()
    {
        QStandardPaths::setTestModeEnabled(true);
        QVERIFY(dir.isValid() && QDir::setCurrent(dir.path()) && QDir().mkpath("folder.kipo"));
        firstFlight = dir.filePath(QStringLiteral("first.kipo"));
        QVERIFY(OKUKIPOFlight().save(firstFlight));
    }

    void startOpensTheGivenFlight()
    {
        FakeWindows windows;
        ScriptedAsker asker;
        OKUStudio studio(windows, firstFlight);
        QCOMPARE(subWindows(studio).size(), 1);
        QVERIFY(!studio.deviceWindow());
        QWidget *window = activeWidget(studio);
        QVERIFY(dynamic_cast<FakeFlightWindow *>(window));
        QCOMPARE(window->windowTitle(), QStringLiteral("first.kipo[*]"));
        QCOMPARE(window->windowFilePath(), firstFlight);
        QVERIFY(!window->isWindowModified() && asker.messages.isEmpty());
    }

    // A flight that cannot be read gives only a box: no window, no status.
    void menuStatesFollowTheActiveWindow()
    {
        FakeWindows windows;
        ScriptedAsker asker;
        OKUStudio studio{windows, QString()};
        QCOMPARE(menuStates(studio), QStringLiteral("000000"));
        studio.statusBar()->showMessage(QStringLiteral("before"));
        const QStringList unreadable{dir.filePath("missing.kipo"), dir.filePath("folder.kipo")};
        asker.fileNames << unreadable << firstFlight;
        studio.form().actionOpen->trigger();
        studio.form().actionOpen->trigger();
        QCOMPARE(asker.messageTexts(), unreadable);
        QCOMPARE(subWindows(studio).size(), 1);
        QCOMPARE(studio.statusBar()->currentMessage(), QStringLiteral("before"));

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

    // Started without a flight, the program opens the device console: one at
    // most, not activated when asked for again; device changes reach it
    // while it is open.
    void deviceConsoleExistsOnceAndHearsOfDevices()
    {
        FakeWindows windows;
        NoDevices transport;
        OKUStudio studio{windows, QString()};
        QCOMPARE(activeWidget(studio), widgetOf(studio.deviceWindow()));
        QCOMPARE(windows.owners, QList<OKUStudio *>({&studio}));
        emit transport.deviceArrived(QStringLiteral("/dev/hidraw3"));
        emit transport.deviceRemoved(QStringLiteral("/dev/hidraw3"));
        QCOMPARE(windows.deviceCalls, QStringList({"attemptConnection", "reportFirmwareState",
                                                   "closeRemovedDevice /dev/hidraw3", "reportFirmwareState"}));
        studio.addFlight(std::make_shared<OKUKIPOFlight>(), QStringLiteral("Untitled"));
        QWidget *flightWindow = activeWidget(studio);
        studio.form().actionOKU_KIPO_Interface->trigger();
        QCOMPARE(windows.deviceWindowsCreated, 1);
        QCOMPARE(activeWidget(studio), flightWindow);

        subWindows(studio).first()->close();
        QTRY_VERIFY(!studio.deviceWindow());
        QCOMPARE(subWindows(studio).size(), 1);
        emit transport.deviceArrived(QStringLiteral("/dev/hidraw4"));
        QCOMPARE(windows.deviceCalls.size(), 4);
        studio.form().actionOKU_KIPO_Interface->trigger();
        QCOMPARE(windows.deviceWindowsCreated, 2);
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
        windows.deviceBusy = false;
        studio.form().actionExit->trigger();
        QVERIFY(!studio.isVisible() && subWindows(studio).isEmpty());
    }
};

QTEST_MAIN(TestOKUStudio)
#include "test_okustudio.moc"
