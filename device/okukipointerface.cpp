#include "device/okukipointerface.h"

#include "device/emulation.h"
#include "model/eventcast.h"
#include "model/flashparser.h"
#include "model/trace.h"

#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QMutexLocker>
#include <QThread>
#include <QtEndian>
#include <algorithm>
#include <cmath>
#include <mutex>

namespace {

using okukipo::trace;
using Locker = QMutexLocker;

constexpr int PollIntervalMs = 10;
constexpr int LiveReadsPerPoll = 8;
constexpr int LiveQueueLimit = 8;
constexpr int BootloaderWriteTimeoutMs = 3000;
constexpr int MemoryUsedTimeoutMs = 3000000;
constexpr int LongCommandTimeoutMs = 60000;
constexpr int UploadAlmanacsTimeoutMs = 10000;
constexpr int FireLineTimeoutMs = 30000;
constexpr int AlmanacSlots = 32;
constexpr double FlashPercentPerByte = 2.422030047455337e-05; // 100 / 4128768
constexpr int EmulationSampleMs = 10;
constexpr int EmulationProgressEvery = 100;
constexpr float PressureOffsetLimit = 127.0f;
constexpr quint8 PressureEventCode = 3;

// Shared by every worker of the process, as the device sees one host.
int liveReadCalls = 0;
bool wrongFirmwareReported = false;
MagnetometerCalibration &magnetometerCalibration()
{
    static MagnetometerCalibration calibration;
    return calibration;
}

void registerSignalTypes()
{
    registerEventMetaTypes();
    qRegisterMetaType<OKUKIPOSettings>("OKUKIPOSettings");
    qRegisterMetaType<std::shared_ptr<OKUKIPOFlight>>("std::shared_ptr<OKUKIPOFlight>");
}

} // namespace

std::array<float, 3> MagnetometerCalibration::apply(const std::array<float, 3> &reading)
{
    std::array<float, 3> calibrated;
    for (int axis = 0; axis < 3; ++axis) {
        maximum[axis] = std::max(maximum[axis], reading[axis]);
        minimum[axis] = std::min(minimum[axis], reading[axis]);
        calibrated[axis] = reading[axis] - (maximum[axis] + minimum[axis]) * 0.5f;
    }
    calibrated[0] = -calibrated[0];
    return calibrated;
}

// The frame of every operation slot: device exchanges serialised by the
// operations mutex, and the window's controls disabled until it ends,
// whatever the outcome.
class OKUKIPOInterface::Operation
{
public:
    explicit Operation(OKUKIPOInterface *worker)
        : worker(worker)
        , lock(&worker->operationsMutex)
    {
        worker->enableControls(false);
    }
    ~Operation() { worker->enableControls(true); }

private:
    OKUKIPOInterface *worker;
    Locker lock;
};

OKUKIPOInterface::OKUKIPOInterface(QObject *consoleTarget, QObject *parent)
    : QObject(parent)
    , consoleTarget(consoleTarget)
    , pollTimer(this)
{
    static std::once_flag registered;
    std::call_once(registered, registerSignalTypes);
    pollTimer.setInterval(PollIntervalMs);
    connect(&pollTimer, &QTimer::timeout, this, &OKUKIPOInterface::processReadEvents);
    pollTimer.start();
    // The timer can only be stopped on the thread it runs on, and the owner
    // may delete the worker after that thread has ended: stop it as the
    // thread ends.  Queued, so that it runs on the thread the worker was moved to.
    QMetaObject::invokeMethod(
        this,
        [this] {
            connect(QThread::currentThread(), &QThread::finished, &pollTimer, &QTimer::stop, Qt::DirectConnection);
        },
        Qt::QueuedConnection);
}

OKUKIPOInterface::~OKUKIPOInterface() = default;

QList<int> OKUKIPOInterface::liveReadSchedule(int n)
{
    QList<int> codes;
    if (n % 2 == 0)
        codes << 2 << 11 << 12;
    if (n % 4 == 0)
        codes << 13;
    if (n % 20 == 0)
        codes << 3;
    if (n % 50 == 0)
        codes << 4 << 5 << 6;
    if (n % 20 == 0)
        codes << 7 << 8 << 9 << 10 << 16 << 14 << 18;
    if (n % 2 == 0)
        codes << 21;
    return codes;
}

OKUQuaternion OKUKIPOInterface::orientation() const
{
    Locker lock(&orientationMutex);
    return latestOrientation;
}

std::optional<OKUEvent_GPSLLSol> OKUKIPOInterface::latestGPSPosition() const
{
    Locker lock(&orientationMutex);
    return latestGPS;
}

void OKUKIPOInterface::setConnectionEnabled(bool enabled)
{
    connectionEnabled = enabled;
}

void OKUKIPOInterface::setAutoStart(bool enabled)
{
    autoStart = enabled;
}

void OKUKIPOInterface::setDownloadCancel(bool cancel)
{
    Locker lock(&cancelMutex);
    downloadCancel = cancel;
}

bool OKUKIPOInterface::isFirmwareOpen() const
{
    return firmware.isOpen();
}

quint16 OKUKIPOInterface::firmwareVersionNumber() const
{
    return firmware.versionNumber();
}

// The window calls in on plug events and tab changes, while an operation
// may hold the operations mutex for minutes: it must never wait for it.
bool OKUKIPOInterface::handedToWorkerThread(std::function<void()> call)
{
    if (QThread::currentThread() == thread())
        return false;
    QMetaObject::invokeMethod(this, std::move(call), Qt::QueuedConnection);
    return true;
}

void OKUKIPOInterface::closeDevices()
{
    if (handedToWorkerThread([this] { closeDevices(); }))
        return;
    Locker queueLock(&queueMutex);
    Locker operationsLock(&operationsMutex);
    const bool firmwareWasOpen = firmware.isOpen();
    liveQueue.clear();
    firmware.close();
    bootloader.close();
    if (firmwareWasOpen)
        emit firmwareDisconnected();
}

void OKUKIPOInterface::closeRemovedDevice(const QString &path)
{
    if (handedToWorkerThread([this, path] { closeRemovedDevice(path); }))
        return;
    Locker queueLock(&queueMutex);
    Locker operationsLock(&operationsMutex);
    // The attachment has ended: a wrong version is reported again on the next.
    wrongFirmwareReported = false;
    if (firmware.isOpen() && firmware.info().path == path) {
        liveQueue.clear();
        console(QStringLiteral("Firmware disconnected."));
        firmware.close();
    } else if (bootloader.isOpen() && bootloader.info().path == path) {
        console(QStringLiteral("Bootloader disconnected."));
        bootloader.close();
    }
}

void OKUKIPOInterface::reportFirmwareState()
{
    if (handedToWorkerThread([this] { reportFirmwareState(); }))
        return;
    if (!firmware.isOpen())
        emit firmwareDisconnected();
}

void OKUKIPOInterface::console(const QString &line)
{
    if (consoleTarget)
        QMetaObject::invokeMethod(consoleTarget, "appendConsoleNL", Qt::QueuedConnection, Q_ARG(QString, line));
}

void OKUKIPOInterface::consoleError(const QString &what, int result)
{
    console(what);
    console(QStringLiteral("Error: ") + OKUKIPODevice::resultText(result) + QLatin1Char('\n'));
}

void OKUKIPOInterface::enableControls(bool enabled)
{
    if (consoleTarget)
        QMetaObject::invokeMethod(consoleTarget, "enableControls", Qt::QueuedConnection, Q_ARG(bool, enabled));
}

int OKUKIPOInterface::command(quint8 code, const QByteArray &data, int replyTimeoutMs, OKUPacket *reply)
{
    return firmware.request(code, data, replyTimeoutMs, reply, OKUResultProtocolError);
}

bool OKUKIPOInterface::reportedCommand(const QString &announcement, quint8 code, int replyTimeoutMs,
                                       const QString &failure)
{
    console(announcement);
    const int result = command(code, {}, replyTimeoutMs);
    if (result != OKUResultOk) {
        consoleError(failure, result);
        return false;
    }
    console(QStringLiteral("Success.\n"));
    return true;
}

// ---------------------------------------------------------------- connection

void OKUKIPOInterface::attemptConnection()
{
    if (handedToWorkerThread([this] { attemptConnection(); }))
        return;
    Locker lock(&operationsMutex);
    if (!connectionEnabled)
        return;
    const bool bootloaderWasOpen = bootloader.isOpen();
    trace(QStringLiteral("attempting connection"));
    if (firmware.isOpen())
        return;
    trace(QStringLiteral("not connected"));

    if (!bootloaderWasOpen) {
        bootloader.close();
        const QVector<HIDDeviceInfo> any = HIDDevice::findDevices(OKUBootloaderProductId, OKUBootloaderSeries, 0);
        const QVector<HIDDeviceInfo> accepted =
            HIDDevice::matching(any, OKUBootloaderProductId, OKUBootloaderSeries, OKUSeriesMask);
        if (!accepted.isEmpty()) {
            bootloader.select(accepted.first());
            if (!bootloader.open()) {
                reportOpenFailure(bootloader);
                return;
            }
            console(QStringLiteral("Connected to OKU KIPO bootloader."));
        } else if (!any.isEmpty()) {
            console(QStringLiteral("OKU KIPO connected, but with incorrect bootloader version. "
                                   "Please check your firmware/software versions."));
            return;
        } else {
            connectFirmwareStep();
            return;
        }
    }
    startFirmwareFromBootloader();
}

void OKUKIPOInterface::connectFirmwareStep()
{
    trace(QStringLiteral("auto: ") + QString::number(int(autoStart)));
    if (autoStart) {
        quint16 foundVersion = 0;
        const int result = firmware.connectFirmware(&foundVersion);
        if (result == OKUResultOk) {
            wrongFirmwareReported = false;
            trace(QStringLiteral("WAITING"));
            firmware.returnToIdle();
            console(QStringLiteral("Firmware initialized.\nOKU KIPO (firmware version: ")
                    + versionText(firmware.versionNumber()) + QStringLiteral(") is now connected."));
            emit firmwareInitialized();
        } else if (result == OKUResultIncorrectVersion) {
            // Said once per attachment, not at every periodic attempt.
            if (!wrongFirmwareReported) {
                wrongFirmwareReported = true;
                firmware.returnToIdle();
                console(QStringLiteral("OKU KIPO connected, but with incorrect firmware version."));
                console(QStringLiteral("This software is intended for devices with firmware version: ")
                        + seriesText(OKUFirmwareSeries));
                console(QStringLiteral("The connected device is version: ") + versionText(foundVersion));
                emit firmwareInitialized();
            }
        } else if (result == OKUResultGenericError) {
            wrongFirmwareReported = false;
            reportOpenFailure(firmware);
        }
    }
    if (!firmware.isOpen())
        emit firmwareDisconnected();
}

void OKUKIPOInterface::reportOpenFailure(const HIDDevice &device)
{
    console(QStringLiteral("There was a generic USB connection error. Please try reconnecting your device."));
    const QString advice = HIDTransport::current()->openFailureAdvice(device.info().path);
    if (advice.isEmpty())
        return;
    console(advice);
    emit openFailureAdvised(advice);
}

void OKUKIPOInterface::startFirmwareFromBootloader()
{
    trace(QStringLiteral("auto: ") + QString::number(int(autoStart)));
    if (!autoStart)
        return;
    wrongFirmwareReported = false;
    if (!bootloader.open())
        console(QStringLiteral("Bootloader connection failed."));
    if (bootloader.writeReport(packetReport({OKUPacketCode::StartFirmware, {}}), BootloaderWriteTimeoutMs)) {
        bootloader.close();
        console(QStringLiteral("Awaiting firmware initialization..."));
    } else {
        trace(QStringLiteral("Failed to write."));
    }
}

void OKUKIPOInterface::_toBootloader()
{
    if (handedToWorkerThread([this] { _toBootloader(); }))
        return;
    Locker lock(&operationsMutex);
    if (!firmware.isOpen())
        return;
    console(QStringLiteral("Exiting firmware..."));
    const int result = firmware.exitFirmware();
    if (result != OKUResultOk)
        consoleError(QStringLiteral("Error exiting firmware.\n"), result);
    else
        console(QStringLiteral("Awaiting bootloader initialization.\n"));
}

void OKUKIPOInterface::unblockControls()
{
    Locker lock(&operationsMutex);
    if (firmware.isOpen())
        enableControls(true);
}

// ---------------------------------------------------------------- live events

void OKUKIPOInterface::readLiveEvents()
{
    Locker lock(&queueMutex);
    if (liveQueue.size() >= LiveQueueLimit)
        return;
    liveQueue.append(liveReadSchedule(liveReadCalls));
    ++liveReadCalls;
}

bool OKUKIPOInterface::takeQueuedCode(int &code)
{
    if (liveQueue.isEmpty())
        return false;
    code = liveQueue.takeFirst();
    return true;
}

void OKUKIPOInterface::processReadEvents()
{
    Locker lock(&queueMutex);
    int code;
    for (int read = 0; read < LiveReadsPerPoll && takeQueuedCode(code); ++read)
        readLiveEvent(code);
}

void OKUKIPOInterface::processReadEvent()
{
    Locker lock(&queueMutex);
    int code;
    if (takeQueuedCode(code))
        readLiveEvent(code);
}

void OKUKIPOInterface::readLiveEvent(int code)
{
    Locker lock(&operationsMutex);
    if (!firmware.isOpen() || code < 1 || code > 21)
        return;
    const std::unique_ptr<OKUEvent> record = firmware.readEvent(quint8(code));
    if (record)
        handleLiveEvent(code, record.get());
}

void OKUKIPOInterface::handleLiveEvent(int code, OKUEvent *record)
{
    switch (code) {
    case 1:
        if (auto *text = eventAs<OKUEvent_Text>(record)) {
            trace(QString::fromStdString(text->text));
            emit textEventRead(*text);
        }
        break;
    case 2: if (auto *e = eventAs<OKUEvent_AccelZ>(record)) emit accelZEventRead(*e); break;
    case 3: if (auto *e = eventAs<OKUEvent_Pressure>(record)) emit pressureEventRead(*e); break;
    case 4: if (auto *e = eventAs<OKUEvent_ComputerBattery>(record)) emit compBatEventRead(*e); break;
    case 5: if (auto *e = eventAs<OKUEvent_EjectionBattery>(record)) emit ejectBatEventRead(*e); break;
    case 6: if (auto *e = eventAs<OKUEvent_Temperature>(record)) emit temperatureEventRead(*e); break;
    case 7: if (auto *e = eventAs<OKUEvent_LineA>(record)) emit inputAEventRead(*e); break;
    case 8: if (auto *e = eventAs<OKUEvent_LineB>(record)) emit inputBEventRead(*e); break;
    case 9: if (auto *e = eventAs<OKUEvent_LineC>(record)) emit inputCEventRead(*e); break;
    case 10: if (auto *e = eventAs<OKUEvent_LineD>(record)) emit inputDEventRead(*e); break;
    case 11: if (auto *e = eventAs<OKUEvent_AccelXY>(record)) emit accelXYEventRead(*e); break;
    case 12: if (auto *e = eventAs<OKUEvent_GyroXYZ>(record)) emit gyroXYZEventRead(*e); break;
    case 13:
        if (auto *magnetometer = eventAs<OKUEvent_MagXYZ>(record)) {
            const std::array<float, 3> calibrated =
                magnetometerCalibration().apply({magnetometer->x, magnetometer->y, magnetometer->z});
            OKUEvent_MagXYZ e = *magnetometer;
            e.x = calibrated[0];
            e.y = calibrated[1];
            e.z = calibrated[2];
            emit magXYZEventRead(e);
        }
        break;
    case 14:
        if (auto *e = eventAs<OKUEvent_GPSLLSol>(record)) {
            {
                Locker lock(&orientationMutex);
                latestGPS = *e;
            }
            emit gpsLLSolEventRead(*e);
        }
        break;
    case 16: if (auto *e = eventAs<OKUEvent_Status>(record)) emit statusEventRead(*e); break;
    case 17: if (auto *e = eventAs<OKUEvent_Ident>(record)) emit identEventRead(*e); break;
    case 18: if (auto *e = eventAs<OKUEvent_GPSTime>(record)) emit gpsTimeEventRead(*e); break;
    case 21:
        if (auto *e = eventAs<OKUEvent_Orientation>(record)) {
            Locker lock(&orientationMutex);
            latestOrientation = {e->w, e->x, e->y, e->z};
        }
        break;
    default:
        break;
    }
}

// ---------------------------------------------------------------- settings

void OKUKIPOInterface::readDeviceSettings()
{
    const Operation operation(this);
    if (!firmware.isOpen())
        return;
    console(QStringLiteral("Reading settings... "));
    const int result = firmware.readSettings();
    if (result != OKUResultOk) {
        consoleError(QStringLiteral("Error reading settings.\n"), result);
        return;
    }
    emit settingsRead(firmware.settingsRecord());
    trace(QStringLiteral("done emitting"));
    console(QStringLiteral("Success.\n"));
}

void OKUKIPOInterface::writeDeviceSettings(OKUKIPOSettings settings)
{
    const Operation operation(this);
    if (!firmware.isOpen())
        return;
    // Bytes 0 to 4 (firmware version, pressure calibration, device bytes)
    // belong to the device: the caller's record may predate a calibration or
    // come from another device, so they are taken from the device itself.
    const int result = firmware.readSettings();
    if (result != OKUResultOk) {
        console(QStringLiteral("Writting settings... "));
        consoleError(QStringLiteral("Error writting settings.\n"), result);
        return;
    }
    const OKUKIPOSettings current = firmware.settingsRecord();
    settings.firmwareVersion = current.firmwareVersion;
    settings.pressureOffset = current.pressureOffset;
    settings.deviceByte3 = current.deviceByte3;
    settings.deviceByte4 = current.deviceByte4;
    writeSettingsRecord(settings);
}

void OKUKIPOInterface::writeSettingsRecord(const OKUKIPOSettings &settings)
{
    console(QStringLiteral("Writting settings... "));
    firmware.setSettingsRecord(settings);
    const int result = firmware.writeSettings();
    if (result != OKUResultOk)
        consoleError(QStringLiteral("Error writting settings.\n"), result);
    else
        console(QStringLiteral("Success.\n"));
}

void OKUKIPOInterface::resetDeviceSettings()
{
    const Operation operation(this);
    if (!firmware.isOpen())
        return;
    if (reportedCommand(QStringLiteral("Resetting settings... "), OKUPacketCode::ResetSettings, OKUDefaultTimeoutMs,
                        QStringLiteral("Error resetting settings.\n")))
        readDeviceSettings();
}

void OKUKIPOInterface::calibratePressure(double MSLAltitude)
{
    const Operation operation(this);
    if (!firmware.isOpen())
        return;
    if (firmware.readSettings() != OKUResultOk) {
        console(QStringLiteral("Error calibrating pressure - couldnt read settings."));
        return;
    }
    const std::unique_ptr<OKUEvent> record = firmware.readEvent(PressureEventCode);
    const auto *measured = dynamic_cast<const OKUEvent_Pressure *>(record.get());
    if (!measured) {
        console(QStringLiteral("Error calibrating pressure - no pressure reading."));
        return;
    }
    OKUKIPOSettings settings = firmware.settingsRecord();
    const float target = standardPressure(float(MSLAltitude));
    const float offset = target - measured->pressure + float(settings.pressureOffset);
    trace(QStringLiteral("offset: ") + QString::number(offset));
    if (offset < -PressureOffsetLimit || offset > PressureOffsetLimit)
        console(QStringLiteral("Warning! Target pressure out of range. MSL Pressure altitude readings will not be accurate."));
    settings.pressureOffset = qint8(std::trunc(std::clamp(offset, -PressureOffsetLimit, PressureOffsetLimit)));
    console(QStringLiteral("Calibrated pressure. Writing settings..."));
    writeSettingsRecord(settings);
}

// ---------------------------------------------------------------- flight memory

bool OKUKIPOInterface::downloadCancelRequested() const
{
    Locker lock(&cancelMutex);
    return downloadCancel;
}

void OKUKIPOInterface::downloadFlights()
{
    const Operation operation(this);
    if (!firmware.isOpen())
        return;
    OKUPacket reply;
    int result = command(OKUPacketCode::ReadMemoryUsed, {}, MemoryUsedTimeoutMs, &reply);
    if (result != OKUResultOk) {
        console(QStringLiteral("Can't get total data size: ") + OKUKIPODevice::resultText(result));
        return;
    }
    const quint32 size = qFromLittleEndian<quint32>(reply.data.constData());
    console(QStringLiteral("Memory used: ")
            + QString::number(std::ceil(std::min(size * FlashPercentPerByte, 100.0)), 'f', 0) + QLatin1Char('%'));
    trace(QStringLiteral("Total flight data size: ") + QString::number(size));

    QElapsedTimer clock;
    clock.start();
    QByteArray flash;
    if (size > 0) {
        result = firmware.readFlash(flash, size, [this](quint32 total, quint32 received) {
            emit flightDownloadProgress(int(total), int(received));
            return downloadCancelRequested();
        });
    }
    trace(QStringLiteral("Time: ") + QString::number(clock.elapsed()));
    // Whatever arrived before a failure still holds whole flights: keep them.
    if (result != OKUResultOk)
        consoleError(QStringLiteral("Error downloading flights.\n"), result);

    console(QStringLiteral("Parsing flights..."));
    const auto flights = parseFlights(flash);
    trace(QStringLiteral("size: ") + QString::number(flights.size()));
    for (const std::shared_ptr<OKUKIPOFlight> &flight : flights)
        emit flightDownloaded(flight);
    console(QString::number(flights.size()) + QStringLiteral(" flight(s) downloaded."));
}

void OKUKIPOInterface::clearFlightData()
{
    const Operation operation(this);
    if (!firmware.isOpen())
        return;
    console(QStringLiteral("Clearing flight memory (this may up to a minute)..."));
    const int result = command(OKUPacketCode::ClearFlightMemory, {}, LongCommandTimeoutMs);
    if (result != OKUResultOk) {
        console(QStringLiteral("Failed to clear flight memory: ") + OKUKIPODevice::resultText(result));
        return;
    }
    console(QStringLiteral("Flight memory cleared!"));
    emit flightDataCleared();
}

void OKUKIPOInterface::fireLine(int line)
{
    const Operation operation(this);
    if (!firmware.isOpen())
        return;
    trace(QStringLiteral("firing line ") + QString::number(line));
    // The device answers when the line has done its on-time; nobody waits on the outcome.
    if (firmware.writePacket({OKUPacketCode::FireLine, QByteArray(1, char(line))}, OKUDefaultTimeoutMs)) {
        OKUPacket reply;
        firmware.readPacket(reply, FireLineTimeoutMs);
    }
}

// ---------------------------------------------------------------- GPS almanacs

void OKUKIPOInterface::viewStoredAlmanacs()
{
    const Operation operation(this);
    if (!firmware.isOpen())
        return;
    console(QStringLiteral("Reading almanac SV list..."));
    int result = OKUResultGenericError;
    OKUPacket reply;
    if (firmware.writePacket({OKUPacketCode::ReadAlmanacList, {}}, OKUDefaultTimeoutMs)) {
        const bool answered = firmware.readPacket(reply, OKUDefaultTimeoutMs);
        result = answered && reply.code == OKUPacketCode::AlmanacList ? OKUResultOk : OKUResultProtocolError;
    }
    if (result != OKUResultOk) {
        consoleError(QStringLiteral("Error viewing stored almanac list.\n"), result);
        return;
    }
    QString list = QStringLiteral("Stored SV almanacs:");
    QList<quint8> stored;
    for (int slot = 0; slot < AlmanacSlots; ++slot) {
        const quint8 entry = quint8(reply.data.at(slot));
        const bool empty = entry == 0 || entry == 0xFF;
        list += QLatin1Char('[') + (empty ? QStringLiteral(".") : QString::number(entry)) + QLatin1Char(']');
        if (!empty)
            stored.append(entry);
    }
    console(list);
    for (quint8 entry : stored)
        printAlmanac(entry);
}

void OKUKIPOInterface::printAlmanac(quint8 entry)
{
    OKUPacket reply;
    if (!firmware.writePacket({OKUPacketCode::ReadAlmanac, QByteArray(1, char(entry))}, OKUDefaultTimeoutMs)
        || !firmware.readPacket(reply, OKUDefaultTimeoutMs))
        return;
    // Reply data: satellite number, GPS week (2 bytes), then the almanac words.
    trace(QStringLiteral("SV: ") + QString::number(quint8(reply.data.at(0))));
    trace(QStringLiteral("Week: ") + QString::number(qFromLittleEndian<quint16>(reply.data.constData() + 1)));
    trace(QStringLiteral("data: ") + QString::fromLatin1(reply.data.mid(3).toHex(' ')));
}

void OKUKIPOInterface::storeAlmanacs()
{
    const Operation operation(this);
    if (!firmware.isOpen())
        return;
    reportedCommand(QStringLiteral("Storing almanacs (this could take up to a minute)..."), OKUPacketCode::StoreAlmanacs,
                    LongCommandTimeoutMs, QStringLiteral("Error storing almanacs.\n"));
}

void OKUKIPOInterface::uploadAlmanacs()
{
    const Operation operation(this);
    if (!firmware.isOpen())
        return;
    console(QStringLiteral("Uploading almanacs..."));
    OKUPacket reply;
    const int result = command(OKUPacketCode::UploadAlmanacs, {}, UploadAlmanacsTimeoutMs, &reply);
    if (result == OKUResultOk) {
        console(QStringLiteral("Almanacs uploaded: ") + QString::number(quint8(reply.data.at(0))) + QLatin1Char('\n'));
        return;
    }
    if (!reply.data.isEmpty())
        trace(QStringLiteral("Error uploading almanacs. code: ") + QString::number(reply.code));
    consoleError(QStringLiteral("Error uploading almanacs.\n"), result);
}

void OKUKIPOInterface::clearSVData()
{
    const Operation operation(this);
    if (!firmware.isOpen())
        return;
    reportedCommand(QStringLiteral("Clearing space vehicle data..."), OKUPacketCode::ClearSVData, OKUDefaultTimeoutMs,
                    QStringLiteral("Error clearing data.\n"));
}

// ---------------------------------------------------------------- emulation

bool OKUKIPOInterface::emulationStopRequested() const
{
    Locker lock(&emulationMutex);
    return emulationStop;
}

void OKUKIPOInterface::stopEmulation()
{
    Locker lock(&emulationMutex);
    emulationStop = true;
}

void OKUKIPOInterface::emulateLaunch(QString sourceFile, QString targetFile, bool realTime)
{
    const Operation operation(this);
    {
        Locker lock(&emulationMutex);
        emulationStop = false;
    }
    console(QStringLiteral("Emulating flight on device..."));

    QFile input(sourceFile);
    if (!input.open(QIODevice::ReadOnly | QIODevice::Text)) {
        console(QStringLiteral("Failed to read input file!"));
        emit emulationComplete();
        return;
    }
    // Opening the output truncates it: the input would be lost.
    if (QFileInfo(targetFile).canonicalFilePath() == QFileInfo(input).canonicalFilePath()) {
        console(QStringLiteral("Failed to write to output file: it is the input file!"));
        emit emulationComplete();
        return;
    }
    QFile output(targetFile);
    if (!output.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Text)) {
        console(QStringLiteral("Failed to write to output file!"));
        emit emulationComplete();
        return;
    }
    trace(QString::fromLocal8Bit(input.readLine().trimmed()));
    output.write(EmulationResultHeader);
    output.write("\n");

    QElapsedTimer clock;
    clock.start();
    bool failed = false;
    for (qint64 sampleIndex = 0; !input.atEnd(); ++sampleIndex) {
        if (emulationStopRequested()) {
            input.close();
            output.close();
            console(QStringLiteral("Emulation stoped prematurely!"));
            emit emulationComplete();
            return;
        }
        EmulationSample sample;
        if (!parseEmulationLine(input.readLine(), sample))
            break;
        const OKUEmulationInput converted = emulationInput(sample);
        if (sampleIndex == 0 && firmware.isOpen()) {
            QByteArray pressure(4, '\0');
            qToLittleEndian(converted.pressure, pressure.data());
            if (firmware.request(OKUPacketCode::BeginEmulation, pressure, OKUDefaultTimeoutMs, nullptr,
                                 OKUResultGenericError)
                != OKUResultOk) {
                trace(QStringLiteral("init emulation error"));
                failed = true;
                break;
            }
        }
        OKUEmulationResult result;
        if (firmware.emulationStep(converted, result) != OKUResultOk) {
            trace(QStringLiteral("emulation error"));
            failed = true;
            break;
        }
        output.write(emulationResultLine(sample.time, result));
        output.write("\n");
        if (sampleIndex % EmulationProgressEvery == 0)
            console(QStringLiteral("Emulation time: ") + QString::number(sample.time, 'f', 0) + QStringLiteral(" s"));
        // Paced from the start tick, so one slow exchange is caught up by shorter waits.
        if (realTime) {
            const qint64 wait = (sampleIndex + 1) * EmulationSampleMs - clock.elapsed();
            if (wait > 0)
                QThread::msleep(quint64(wait));
        }
    }
    input.close();
    output.close();
    console(failed ? QStringLiteral("Emulation failed - the data might not be formatted correctly!")
                   : QStringLiteral("Emulation complete!"));
    emit emulationComplete();
}
