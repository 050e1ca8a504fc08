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

// Trace lines of every thread, for checking what went to standard output.
class TraceRecorder
{
public:
    TraceRecorder()
    {
        okukipo::setTraceHandler([this](const QString &line) {
            QMutexLocker lock(&m_mutex);
            m_lines << line;
        });
    }
    ~TraceRecorder() { okukipo::setTraceHandler(nullptr); }

    QStringList lines() const
    {
        QMutexLocker lock(&m_mutex);
        return m_lines;
    }

private:
    mutable QMutex m_mutex;
    QStringList m_lines;
};

// The main window with the program's device console talking to the virtual
// flight computer.  The console is opened again after the display units
// are chosen, because it reads them once.
struct DeviceStudio {
    TraceRecorder traces;
    ScriptedAsker asker;
    VirtualFlightComputer computer;
    std::unique_ptr<OKUStudio> main;

    explicit DeviceStudio(bool metric = true, std::function<void(okukipo::sim::VirtualDevice &)> prepare = {})
    {
        HIDTransport::setCurrent(&computer);
        if (prepare)
            prepare(computer.device());
        main = std::make_unique<OKUStudio>(programWindows(), QString());
        QSettings *settings = main->settings();
        settings->clear();
        settings->setValue(QLatin1String(NumberSystemKey), metric ? int(Metric) : int(Imperial));
        // No update check unless a test asks for one.
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
    }

    OKUKIPOWidget *window() const { return dynamic_cast<OKUKIPOWidget *>(main->deviceWindow()); }
    Ui::OKUStudioClass &form() { return main->form(); }
    okukipo::sim::VirtualDevice &device() { return computer.device(); }

    // A widget of the console by object name, or a part of it by type.
    template<class T = QWidget>
    T *child(const QString &objectName = QString()) const
    {
        return window()->findChild<T *>(objectName);
    }
    QPushButton *button(const QString &objectName) const { return child<QPushButton>(objectName); }

    // Clicks once the button is enabled: every device operation disables
    // the controls while it runs, the settings read of each connection too.
    bool click(const QString &objectName)
    {
        QPushButton *pushButton = button(objectName);
        if (!QTest::qWaitFor([pushButton] { return pushButton->isEnabled(); }, 10000))
            return false;
        pushButton->click();
        return true;
    }

    QString consoleText() { return form().console->toPlainText(); }
    QStringList askedTexts() const
    {
        QStringList texts;
        for (const MessageBoxRequest &box : asker.messages)
            texts << box.text;
        return texts;
    }

    // Waits until the device is connected and its controls are usable.
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
