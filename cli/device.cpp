#include "cli/command.h"
#include "cli/flash.h"
#include "cli/settingsjson.h"
#include "device/transferprogress.h"
#include "device/workerthread.h"
#include "device/sim/virtualflightcomputer.h"
#include "model/eventfields.h"
#include "model/trace.h"

#include <QCommandLineParser>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QThread>
#include <cstdio>
#include <unistd.h>

namespace {

constexpr int ConnectionAttempts = 10;
// A device leaving its bootloader needs a moment to enumerate as firmware.
constexpr int ReenumerationWaitMs = 500;
// Often enough to look live, rarely enough not to flood a slow terminal.
constexpr qint64 ProgressRefreshMs = 200;

// The console of the headless device commands: its errors and warnings go
// to standard error (every line when verbose), a download's progress to a
// terminal, and the end of each operation (controls enabled again) is
// announced.
class CliConsole : public QObject
{
    Q_OBJECT

public:
    QStringList lines;

    // Rewrites the one progress line on a terminal.
    void showProgress(const QString &text)
    {
        std::fprintf(stderr, "\r%s\033[K", text.toLocal8Bit().constData());
        std::fflush(stderr);
        progressShown = true;
    }

    // Ends the progress line, so that what follows starts on a line of its own.
    void endProgress()
    {
        if (progressShown)
            std::fputc('\n', stderr);
        progressShown = false;
    }

public slots:
    void appendConsoleNL(QString line)
    {
        lines << line;
        if (line.endsWith(QLatin1Char('\n')))
            line.chop(1);
        endProgress();
        if (cliVerbose())
            okukipo::trace(line);
        else if (line.startsWith(QLatin1String("Error")) || line.startsWith(QLatin1String("Warning")))
            cliWarning(line);
    }

    void enableControls(bool enabled)
    {
        if (enabled)
            emit operationEnded();
    }

signals:
    void operationEnded();

private:
    bool progressShown = false;
};

// The device worker on its own thread, as the device window runs it.
class DeviceSession
{
public:
    CliConsole console;
    OKUKIPOInterface *worker;

    DeviceSession()
    {
        if (cliDemoRequested()) {
            demoDevice = std::make_unique<VirtualFlightComputer>();
            HIDTransport::setCurrent(demoDevice.get());
        }
        workerThread = std::make_unique<OKUKIPOWorkerThread>(&console);
        worker = workerThread->worker();
    }

    ~DeviceSession()
    {
        workerThread.reset();
        HIDTransport::setCurrent(nullptr);
    }

    // Attempts as the device window does until the firmware answers; a
    // device found in its bootloader is started on the way.
    bool connectFirmware()
    {
        for (int attempt = 0; attempt < ConnectionAttempts; ++attempt) {
            QMetaObject::invokeMethod(worker, "attemptConnection", Qt::BlockingQueuedConnection);
            QCoreApplication::processEvents();
            if (worker->isFirmwareOpen())
                return true;
            if (!console.lines.contains(QStringLiteral("Awaiting firmware initialization...")))
                return false;
            QThread::msleep(ReenumerationWaitMs);
        }
        return false;
    }

    // Runs one operation slot queued and returns when it has ended.
    template <typename... Arguments>
    void run(const char *slot, Arguments... arguments)
    {
        QEventLoop loop;
        QObject::connect(&console, &CliConsole::operationEnded, &loop, &QEventLoop::quit);
        QMetaObject::invokeMethod(worker, slot, Qt::QueuedConnection, arguments...);
        loop.exec();
    }

private:
    std::unique_ptr<VirtualFlightComputer> demoDevice;
    std::unique_ptr<OKUKIPOWorkerThread> workerThread;
};

int noDevice()
{
    return cliFailure(QStringLiteral("no usable OKU KIPO connected"));
}

int info(DeviceSession &session)
{
    const QVector<HIDDeviceInfo> found = HIDDevice::findDevices(OKUFirmwareProductId, OKUFirmwareSeries, OKUSeriesMask);
    if (found.isEmpty())
        return noDevice();
    const HIDDeviceInfo &device = found.first();
    QByteArray json = "{\"path\": " + jsonString(device.path);
    json += ", \"vendorId\": " + QByteArray::number(device.vendorId);
    json += ", \"productId\": " + QByteArray::number(device.productId);
    json += ", \"versionNumber\": " + QByteArray::number(device.versionNumber);
    json += ", \"firmwareVersion\": " + jsonString(versionText(session.worker->firmwareVersionNumber())) + "}";
    cliPrint(json);
    return 0;
}

int readSettings(DeviceSession &session)
{
    std::optional<OKUKIPOSettings> settings;
    QObject::connect(session.worker, &OKUKIPOInterface::settingsRead, &session.console,
                     [&settings](const OKUKIPOSettings &read) { settings = read; });
    session.run("readDeviceSettings");
    if (!settings)
        return cliFailure(QStringLiteral("reading the settings failed"));
    cliPrint(settingsJson(*settings));
    return 0;
}

int download(DeviceSession &session, const QString &directory)
{
    std::vector<std::shared_ptr<OKUKIPOFlight>> flights;
    QObject::connect(session.worker, &OKUKIPOInterface::flightDownloaded, &session.console,
                     [&flights](const std::shared_ptr<OKUKIPOFlight> &flight) { flights.push_back(flight); });
    TransferProgress progress;
    QElapsedTimer sinceShown;
    // A progress line is for people; a script reading standard error gets none.
    if (isatty(fileno(stderr))) {
        QObject::connect(session.worker, &OKUKIPOInterface::flightDownloadProgress, &session.console,
                         [&](int total, int received) {
                             progress.update(total, received);
                             if (sinceShown.isValid() && sinceShown.elapsed() < ProgressRefreshMs && !progress.isComplete())
                                 return;
                             sinceShown.start();
                             session.console.showProgress(progress.text());
                             if (progress.isComplete())
                                 session.console.endProgress();
                         });
    }
    progress.start();
    session.run("downloadFlights");
    session.console.endProgress();
    const QStringList &lines = session.console.lines;
    if (lines.isEmpty() || !lines.last().endsWith(QLatin1String(" flight(s) downloaded.")))
        return cliFailure(QStringLiteral("the download failed"));
    const int status = saveFlightsAndPrintList(flights, directory);
    // Flights that arrived before a failure are saved, yet the command failed.
    if (status == 0 && lines.contains(QStringLiteral("Error downloading flights.\n")))
        return cliFailure(QStringLiteral("the download was cut short; the flights received were saved"));
    return status;
}

int emulate(DeviceSession &session, const QString &input, const QString &output, bool realTime)
{
    session.run("emulateLaunch", Q_ARG(QString, input), Q_ARG(QString, output), Q_ARG(bool, realTime));
    const QString outcome = session.console.lines.value(session.console.lines.size() - 1);
    if (outcome != QLatin1String("Emulation complete!"))
        return cliFailure(outcome);
    QFile results(output);
    int samples = 0;
    if (results.open(QIODevice::ReadOnly)) {
        results.readLine();
        while (!results.readLine().isEmpty())
            ++samples;
    }
    cliPrint("{\"output\": " + jsonString(output) + ", \"samples\": " + QByteArray::number(samples) + "}");
    return 0;
}

int deviceCommand(const QStringList &arguments)
{
    QCommandLineParser parser;
    const QCommandLineOption outOption(QStringLiteral("out"), QStringLiteral("Directory for the flight files."),
                                       QStringLiteral("DIR"));
    const QCommandLineOption fastOption(QStringLiteral("fast"), QStringLiteral("Emulate as fast as the device answers."));
    parser.addOptions({outOption, fastOption});
    if (!parser.parse(QStringList(QStringLiteral("device")) + arguments))
        return cliFailure(parser.errorText());
    const QStringList words = parser.positionalArguments();
    const QString operation = words.value(0);
    const bool valid = (words.size() == 1 && (operation == QLatin1String("info") || operation == QLatin1String("read-settings")))
        || (words.size() == 1 && operation == QLatin1String("download") && parser.isSet(outOption))
        || (words.size() == 3 && operation == QLatin1String("emulate"));
    if (!valid)
        return cliFailure(QStringLiteral("usage: okukipo-cli [--demo] device info | read-settings | download --out DIR | "
                                         "emulate IN.csv OUT.csv [--fast]"));

    DeviceSession session;
    if (!session.connectFirmware())
        return noDevice();
    if (operation == QLatin1String("info"))
        return info(session);
    if (operation == QLatin1String("read-settings"))
        return readSettings(session);
    if (operation == QLatin1String("download"))
        return download(session, parser.value(outOption));
    return emulate(session, words.at(1), words.at(2), !parser.isSet(fastOption));
}

const CliCommand deviceCommandEntry(
    "device", "info | read-settings | download --out DIR | emulate IN.csv OUT.csv [--fast]",
    "Works the connected flight computer (with --demo the virtual one):\n"
    "  info           print its path, USB ids and firmware version as JSON\n"
    "  read-settings  print its settings record as JSON\n"
    "  download       read the flash memory and save each flight as DIR/flight-N.kipo;\n"
    "                 on a terminal one line on standard error shows the bytes read,\n"
    "                 the rate and the time left\n"
    "  emulate        run an emulation of IN.csv on the device and write OUT.csv;\n"
    "                 --fast runs it as fast as the device answers, not in real time\n\n"
    "  --out DIR  the folder for the downloaded flights (made when missing)",
    deviceCommand);

} // namespace

#include "device.moc"
