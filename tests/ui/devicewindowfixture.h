#pragma once

#include "../app/scriptedasker.h"
#include "app/okustudio.h"
#include "app/units.h"
#include "device/okukipointerface.h"
#include "device/sim/virtualflightcomputer.h"
#include "model/trace.h"
#include "ui/okukipowidget.h"
#include "ui/programwindows.h"
#include "ui/updatecheck.h"

#include <QMdiArea>
#include <QMutex>
#include <QPushButton>
#include <QSignalSpy>
#include <QStatusBar>
#include <QTest>

namespace devicewindowtest {

// The main window with the program's device console talking to the virtual
// flight computer, without an update check; trace lines of every thread and
// the questions asked are recorded.  The console is opened again after the
// display units are chosen, because it reads them once.
struct DeviceStudio {
    QMutex traceMutex;
    QStringList traceLines;
    ScriptedAsker asker;
    VirtualFlightComputer computer;
    std::unique_ptr<OKUStudio> main;

    explicit DeviceStudio(bool metric = true, std::function<void(okukipo::sim::VirtualDevice &)> prepare = {})
    {
        okukipo::setTraceHandler([this](const QString &line) {
            QMutexLocker lock(&traceMutex);
            traceLines << line;
        });
        HIDTransport::setCurrent(&computer);
        if (prepare)
            prepare(computer.device());
        main = std::make_unique<OKUStudio>(programWindows(), QString());
        QSettings *settings = main->settings();
        settings->clear();
        settings->setValue(QLatin1String(NumberSystemKey), metric ? int(Metric) : int(Imperial));
        settings->setValue(QLatin1String(updatecheck::ServerKey), QString());
        main->form().mdiArea->closeAllSubWindows();
        QTRY_VERIFY(main->deviceWindow() == nullptr);
        main->openOKUKIPOInterface();
    }

    ~DeviceStudio()
    {
        main->settings()->clear();
        main.reset();
        HIDTransport::setCurrent(nullptr);
        okukipo::setTraceHandler(nullptr);
    }

    QStringList traces() { return QMutexLocker(&traceMutex), traceLines; }
    OKUKIPOWidget *window() const { return dynamic_cast<OKUKIPOWidget *>(main->deviceWindow()); }
    Ui::OKUStudioClass &form() { return main->form(); }
    okukipo::sim::VirtualDevice &device() { return computer.device(); }
    template<class T = QWidget>
    T *child(const QString &objectName = QString()) const { return window()->findChild<T *>(objectName); }
    QPushButton *button(const QString &objectName) const { return child<QPushButton>(objectName); }
    QString consoleText() { return form().console->toPlainText(); }

    // Clicks once the button is enabled: every device operation disables the controls while it runs.
    bool click(const QString &objectName)
    {
        QPushButton *pushButton = button(objectName);
        if (!QTest::qWaitFor([pushButton] { return pushButton->isEnabled(); }, 10000))
            return false;
        pushButton->click();
        return true;
    }
    bool waitConnected()
    {
        return QTest::qWaitFor([this] { return button(QStringLiteral("readSettings"))->isEnabled(); }, 10000);
    }
    // Closes the console's sub-window as the main window does; true when it closed.
    bool closeConsole()
    {
        form().mdiArea->closeAllSubWindows();
        return QTest::qWaitFor([this] { return main->deviceWindow() == nullptr; }, 200);
    }
};

} // namespace devicewindowtest
