#include "app/longpath.h"
#include "app/okustudio.h"
#include "app/applicationsettingswidget.h"
#include "app/studiowindows.h"
#include "device/hidtransport.h"
#include "device/sim/virtualflightcomputer.h"
#include "model/flight.h"
#include "nodevices.h"
#include "scriptedasker.h"

#include <QDir>
#include <QStandardPaths>
#include <QStatusBar>
#include <QTabBar>
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

// Records the worker operations the main window asks for.
class FakeDeviceWindow : public QWidget, public DeviceWindow
{
public:
    explicit FakeDeviceWindow(QStringList *calls) : calls(calls) {}

    void attemptConnection() override { calls->append(QStringLiteral("attemptConnection")); }
    void closeRemovedDevice(const QString &path) override { calls->append(QStringLiteral("closeRemovedDevice ") + path); }
    void reportFirmwareState() override { calls->append(QStringLiteral("reportFirmwareState")); }

    QStringList *calls;
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
        return new FakeDeviceWindow(&deviceCalls);
    }

    QList<OKUStudio *> owners;
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

QStringList tabTexts(OKUStudio &studio)
{
    const QTabBar *tabs = studio.form().mdiArea->findChild<QTabBar *>();
    QStringList texts;
    for (int i = 0; tabs && i < tabs->count(); ++i)
        texts << tabs->tabText(i);
    return texts;
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

    void formHasTheDockAndMenus()
    {
        FakeWindows windows;
        OKUStudio studio{windows, QString()};
        const Ui::OKUStudioClass &ui = studio.form();
        QCOMPARE(studio.windowTitle(), QStringLiteral("OKU KIPO"));
        QVERIFY(!studio.windowIcon().isNull());
        QVERIFY(studio.isMaximized());
        QCOMPARE(ui.mdiArea->viewMode(), QMdiArea::TabbedView);
        QCOMPARE(ui.consoleDock->windowTitle(), QStringLiteral("Console"));
        QCOMPARE(studio.dockWidgetArea(ui.consoleDock), Qt::LeftDockWidgetArea);
        QCOMPARE(ui.controlGroupBox->title(), QStringLiteral("Overview"));
        for (QLabel *label : {ui.liveMSLAltitudeLabel, ui.liveAccelerationLabel, ui.livePressureLabel,
                              ui.liveTemperatureLabel, ui.liveCompBatVoltageLabel, ui.liveEjectBatVoltageLabel}) {
            QCOMPARE(label->text(), QStringLiteral("-"));
            QCOMPARE(label->styleSheet(), QStringLiteral("color: red;"));
        }
        QCOMPARE(ui.liveLineALabel->text() + ui.liveLineBLabel->text() + ui.liveLineCLabel->text()
                     + ui.liveLineDLabel->text(),
                 QStringLiteral("ABCD"));
        QVERIFY(ui.console->isReadOnly());
        QCOMPARE(ui.console->toPlainText(), QStringLiteral("- OKU KIPO console -\n"));
        QVERIFY(!ui.firmConnImg_CtrlPanel->pixmap(Qt::ReturnByValue).isNull());

        QStringList menus;
        for (QAction *menu : ui.menuBar->actions())
            menus << menu->text();
        QCOMPARE(menus, QStringList({"File", "View", "Flight", "Tools", "Help"}));
        QStringList fileEntries;
        for (QAction *action : ui.menuFile->actions())
            fileEntries << (action->isSeparator() ? QStringLiteral("-") : action->text());
        QCOMPARE(fileEntries, QStringList({"Open...", "Compare flights…", "-", "Save", "Save As...", "-", "Export to Excel...", "-", "Exit"}));
        QCOMPARE(ui.actionSave->shortcut(), QKeySequence(QStringLiteral("Ctrl+S")));
        QStringList flightEntries;
        for (QAction *action : ui.menuFlight->actions())
            flightEntries << (action->isSeparator() ? QStringLiteral("-") : action->text());
        QCOMPARE(flightEntries, QStringList({"Trim time...", "Zero time...", "-", "Auto trim and zero", "-",
                                             "Export emulation data...", "Export thrust data...", "-", "Compare with…"}));
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
        QVERIFY(subWindows(studio).first()->isMaximized());
        QCOMPARE(studio.statusBar()->currentMessage(), QStringLiteral("Interface loaded."));
        QVERIFY(asker.messages.isEmpty());
    }

    void startWithMissingFlightOpensTheDeviceConsoleWithoutABox()
    {
        FakeWindows windows;
        ScriptedAsker asker;
        OKUStudio studio(windows, expandLongPath(dir.filePath(QStringLiteral("missing.kipo"))));
        QCOMPARE(subWindows(studio).size(), 1);
        QVERIFY(studio.deviceWindow());
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
        QCOMPARE(tabTexts(studio), QStringList({"first.kipo"}));
        QCOMPARE(studio.statusBar()->currentMessage(), QStringLiteral("Flight loaded"));
        QTRY_VERIFY(studio.statusBar()->currentMessage().isEmpty());
    }

    void openingAnOpenFileActivatesItsWindow()
    {
        FakeWindows windows;
        ScriptedAsker asker;
        OKUStudio studio(windows, firstFlight);
        asker.fileNames << secondFlight << firstFlight;
        studio.form().actionOpen->trigger();
        QCOMPARE(subWindows(studio).size(), 2);
        QCOMPARE(activeWidget(studio)->windowFilePath(), secondFlight);

        studio.form().actionOpen->trigger();
        QCOMPARE(subWindows(studio).size(), 2);
        QCOMPARE(activeWidget(studio)->windowFilePath(), firstFlight);
        QCOMPARE(asker.fileCaptions, QStringList({"Open OKU KIPO flight", "Open OKU KIPO flight"}));
        QCOMPARE(asker.fileFilters.first(), QStringLiteral("OKU KIPO flights (*.kipo)"));
        QVERIFY(asker.messages.isEmpty());
    }

    void cancelledOpenChangesNothing()
    {
        FakeWindows windows;
        ScriptedAsker asker;
        OKUStudio studio{windows, QString()};
        studio.form().actionOpen->trigger();
        QCOMPARE(asker.fileCaptions.size(), 1);
        QCOMPARE(subWindows(studio).size(), 1);
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
        QCOMPARE(asker.messages.first().icon, QMessageBox::Critical);
        QCOMPARE(asker.messages.first().title, QStringLiteral("Could not open flight"));
        QCOMPARE(asker.messages.first().text, path);
        QCOMPARE(asker.messages.first().buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
        QCOMPARE(subWindows(studio).size(), 1);
        QCOMPARE(studio.statusBar()->currentMessage(), QStringLiteral("before"));
    }

    void downloadedFlightIsUntitledAndModified()
    {
        FakeWindows windows;
        OKUStudio studio{windows, QString()};
        studio.addFlight(std::make_shared<OKUKIPOFlight>(), QStringLiteral("Untitled"));
        QWidget *window = activeWidget(studio);
        QVERIFY(dynamic_cast<FakeFlightWindow *>(window));
        QCOMPARE(window->windowTitle(), QStringLiteral("Untitled[*]"));
        QVERIFY(window->windowFilePath().isEmpty());
        QVERIFY(window->isWindowModified());
        QCOMPARE(tabTexts(studio).last(), QStringLiteral("Untitled*"));
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

    void deviceChangesWithoutDeviceConsoleAreIgnored()
    {
        FakeWindows windows;
        NoDevices transport;
        OKUStudio studio(windows, firstFlight);
        emit transport.deviceArrived(QStringLiteral("/dev/hidraw0"));
        emit transport.deviceRemoved(QStringLiteral("/dev/hidraw0"));
        QVERIFY(windows.deviceCalls.isEmpty());
        // An arrival does not reopen the device console.
        QVERIFY(!studio.deviceWindow());
        QCOMPARE(subWindows(studio).size(), 1);

        studio.openOKUKIPOInterface();
        subWindows(studio).last()->close();
        QTRY_VERIFY(!studio.deviceWindow());
        emit transport.deviceRemoved(QStringLiteral("/dev/hidraw0"));
        QVERIFY(windows.deviceCalls.isEmpty());
    }

    void virtualFlightComputerPluggingReachesTheDeviceConsole()
    {
        FakeWindows windows;
        VirtualFlightComputer computer;
        HIDTransport::setCurrent(&computer);
        OKUStudio studio{windows, QString()};
        const QString path = computer.enumerate().value(0).path;
        QVERIFY(!path.isEmpty());

        computer.device().unplug();
        QTRY_COMPARE(windows.deviceCalls,
                     QStringList({QStringLiteral("closeRemovedDevice ") + path, "reportFirmwareState"}));
        windows.deviceCalls.clear();
        computer.device().plug();
        QTRY_COMPARE(windows.deviceCalls, QStringList({"attemptConnection", "reportFirmwareState"}));
        HIDTransport::setCurrent(nullptr);
    }

    void aboutBox()
    {
        FakeWindows windows;
        ScriptedAsker asker;
        OKUStudio studio{windows, QString()};
        studio.form().actionAbout->trigger();
        QCOMPARE(asker.abouts.size(), 2);
        QCOMPARE(asker.abouts.first(), QStringLiteral("About"));
        const QStringList lines = asker.abouts.last().split(QLatin1Char('\n'));
        QCOMPARE(lines.size(), 5);
        QCOMPARE(lines.at(2), QStringLiteral("OKU KIPO software version 2.20"));
        QVERIFY(lines.at(1).isEmpty() && lines.at(3).isEmpty());
    }

    void settingsDialogEditsTheSettingsFile()
    {
        FakeWindows windows;
        ScriptedAsker asker;
        OKUStudio studio{windows, QString()};
        bool shown = false;
        asker.dialogs = [&](QDialog &dialog) {
            shown = true;
            auto *settingsDialog = qobject_cast<ApplicationSettingsWidget *>(&dialog);
            if (!settingsDialog || dialog.parentWidget() != &studio)
                return int(QDialog::Rejected);
            dialog.findChild<QComboBox *>(QStringLiteral("numberSystem"))->setCurrentIndex(1);
            QMetaObject::invokeMethod(&dialog, "on_OK_clicked");
            return dialog.result();
        };
        studio.form().actionSettings->trigger();
        QVERIFY(shown);
        QCOMPARE(asker.messages.size(), 1);
        QCOMPARE(studio.settings()->value(QStringLiteral("numberSystem")).toInt(), 1);
        studio.settings()->clear();
    }

    void settingsFileIsInTheUsersFolderUnlessStartedInTheProgramsFolder()
    {
        FakeWindows windows;
        {
            OKUStudio studio{windows, QString()};
            QCOMPARE(studio.settings()->fileName(),
                     QStandardPaths::writableLocation(QStandardPaths::AppConfigLocation) + "/settings.ini");
        }
        const QString previous = QDir::currentPath();
        QVERIFY(QDir::setCurrent(QCoreApplication::applicationDirPath()));
        OKUStudio studio{windows, QString()};
        QCOMPARE(studio.settings()->fileName(), QDir::current().absoluteFilePath(QStringLiteral("settings.ini")));
        QVERIFY(QDir::setCurrent(previous));
    }
};

QTEST_MAIN(TestOKUStudio)
#include "test_okustudio.moc"
