#include "device/sim/virtualdevice.h"

#include "device/sim/virtualidentity.h"

#include <QDeadlineTimer>
#include <QMutexLocker>
#include <algorithm>

namespace okukipo::sim {
namespace {

constexpr quint8 ChunkCode = 0x21;
constexpr quint8 ReturnToIdleCode = 0xFF;
constexpr int ChunkPayload = 60;
constexpr int PacketDataSize = HIDReportSize - 2;

HIDReport reportOf(quint8 code, const QByteArray &data)
{
    HIDReport report{};
    report[1] = code;
    std::copy_n(data.constData(), std::min(data.size(), PacketDataSize), report.begin() + 2);
    return report;
}

} // namespace

const QString VirtualDevice::FirmwarePath = QStringLiteral("virtual-okukipo:firmware");
const QString VirtualDevice::BootloaderPath = QStringLiteral("virtual-okukipo:bootloader");

VirtualDevice::VirtualDevice()
    : firmwareVersion(FirmwareVersion)
    , bootloaderVersion(BootloaderVersion)
{
    clock.start();
}

QString VirtualDevice::currentPath() const
{
    return currentMode == Mode::Firmware ? FirmwarePath : BootloaderPath;
}

bool VirtualDevice::sessionAlive(quint64 candidate) const
{
    return plugged && candidate == session;
}

QVector<HIDDeviceInfo> VirtualDevice::enumerate() const
{
    QMutexLocker lock(&mutex);
    if (!plugged)
        return {};
    const bool inFirmware = currentMode == Mode::Firmware;
    return {HIDDeviceInfo{currentPath(), VendorId, inFirmware ? FirmwareProductId : BootloaderProductId,
                          inFirmware ? firmwareVersion : bootloaderVersion}};
}

quint64 VirtualDevice::openSession(const QString &path) const
{
    QMutexLocker lock(&mutex);
    return plugged && path == currentPath() ? session : 0;
}

bool VirtualDevice::write(quint64 writer, const HIDReport &report)
{
    Change change;
    {
        QMutexLocker lock(&mutex);
        if (!sessionAlive(writer))
            return false;
        ++received;
        const quint8 code = report[1];
        if (currentMode == Mode::Bootloader) {
            // The bootloader knows one command: start the firmware.
            if (code == 0x03)
                change = reenumerate(Mode::Firmware, true);
        } else {
            const bool streaming = stream.session == session && stream.sent < stream.bytes.size();
            if (code == ReturnToIdleCode)
                stream = ChunkStream();
            // While it streams chunks the device listens for nothing but the stop code.
            if (!streaming || code == ReturnToIdleCode) {
                const QByteArray data(reinterpret_cast<const char *>(report.data()) + 2, PacketDataSize);
                FirmwareAnswer answer = firmware.handle(code, data, clock.elapsed());
                const bool exits = answer.exitToBootloader;
                queueAnswer(std::move(answer));
                if (exits)
                    change = reenumerate(Mode::Bootloader, true);
            }
        }
        replyQueued.wakeAll();
    }
    notify(change);
    return true;
}

bool VirtualDevice::takeFault(quint8 requestCode, FaultKind kind, Fault &fault)
{
    const auto found = std::find_if(faults.begin(), faults.end(), [&](const Fault &candidate) {
        return candidate.requestCode == requestCode && candidate.kind == kind;
    });
    if (found == faults.end())
        return false;
    fault = *found;
    faults.erase(found);
    return true;
}

void VirtualDevice::queueAnswer(FirmwareAnswer answer)
{
    if (answer.packets.isEmpty() && answer.chunked.isEmpty())
        return;
    Fault fault;
    if (takeFault(answer.exchange, FaultKind::Drop, fault))
        return;
    const qint64 dueMs = clock.elapsed() + (takeFault(answer.exchange, FaultKind::Delay, fault) ? fault.value : 0);
    quint8 firstCode = answer.packets.isEmpty() ? quint8(ChunkCode) : answer.packets.first().code;
    if (takeFault(answer.exchange, FaultKind::ReplyCode, fault))
        firstCode = quint8(fault.value);
    for (int i = 0; i < answer.packets.size(); ++i)
        queue.push_back({session, dueMs, reportOf(i == 0 ? firstCode : answer.packets[i].code, answer.packets[i].data)});
    if (!answer.chunked.isEmpty()) {
        stream = ChunkStream();
        stream.session = session;
        stream.bytes = answer.chunked;
        stream.dueMs = dueMs;
        stream.firstCode = answer.packets.isEmpty() ? firstCode : quint8(ChunkCode);
        if (takeFault(answer.exchange, FaultKind::ChunkByteCount, fault)) {
            stream.corruptChunk = fault.chunkNumber;
            stream.corruptByteCount = quint8(fault.value);
        }
    }
}

bool VirtualDevice::nextReport(quint64 reader, HIDReport &report, qint64 &dueMs)
{
    // Replies of an earlier session can never be read once a newer one reads.
    if (reader == session) {
        queue.erase(std::remove_if(queue.begin(), queue.end(), [&](const QueuedReport &queued) { return queued.session != reader; }),
                    queue.end());
    }
    const auto mine = std::find_if(queue.begin(), queue.end(), [&](const QueuedReport &queued) { return queued.session == reader; });
    if (mine != queue.end()) {
        report = mine->report;
        dueMs = mine->dueMs;
        return true;
    }
    if (stream.session != reader || stream.sent >= stream.bytes.size())
        return false;
    // Made straight into the report: a full flash read passes here once per report.
    const int count = std::min(ChunkPayload, stream.bytes.size() - stream.sent);
    HIDReport chunk{};
    chunk[1] = stream.chunkNumber == 0 ? stream.firstCode : quint8(ChunkCode);
    chunk[2] = quint8(stream.chunkNumber & 0xFF);
    chunk[3] = quint8((stream.chunkNumber >> 8) & 0xFF);
    chunk[4] = stream.chunkNumber == stream.corruptChunk ? stream.corruptByteCount : quint8(count);
    std::copy_n(stream.bytes.constData() + stream.sent, count, chunk.begin() + 5);
    queue.push_back({reader, stream.chunkNumber == 0 ? stream.dueMs : 0, chunk});
    stream.sent += count;
    ++stream.chunkNumber;
    return nextReport(reader, report, dueMs);
}

bool VirtualDevice::read(quint64 reader, HIDReport &report, int timeoutMs)
{
    const QDeadlineTimer deadline(std::max(timeoutMs, 0));
    Change change;
    {
        QMutexLocker lock(&mutex);
        for (;;) {
            qint64 dueMs = 0;
            const bool pending = nextReport(reader, report, dueMs);
            const qint64 nowMs = clock.elapsed();
            if (pending && dueMs <= nowMs) {
                const auto mine = std::find_if(queue.begin(), queue.end(), [&](const QueuedReport &queued) { return queued.session == reader; });
                queue.erase(mine);
                if (reportsUntilUnplug > 0 && --reportsUntilUnplug == 0)
                    change = reenumerate(currentMode, false);
                break;
            }
            if (!pending && !sessionAlive(reader))
                return false;
            if (deadline.hasExpired())
                return false;
            const qint64 waitMs = pending ? std::min(dueMs - nowMs, deadline.remainingTime()) : deadline.remainingTime();
            replyQueued.wait(&mutex, QDeadlineTimer(waitMs));
        }
    }
    notify(change);
    return true;
}

void VirtualDevice::flush(quint64 reader)
{
    QMutexLocker lock(&mutex);
    queue.erase(std::remove_if(queue.begin(), queue.end(), [&](const QueuedReport &queued) { return queued.session == reader; }),
                queue.end());
}

VirtualDevice::Change VirtualDevice::reenumerate(Mode mode, bool pluggedIn)
{
    const QString removed = plugged ? currentPath() : QString();
    currentMode = mode;
    plugged = pluggedIn;
    ++session;
    stream = ChunkStream();
    replyQueued.wakeAll();
    return {removed, plugged ? currentPath() : QString()};
}

void VirtualDevice::notify(const Change &change)
{
    if (change.first.isEmpty() && change.second.isEmpty())
        return;
    QMutexLocker lock(&listenerMutex);
    if (listener)
        listener(change.first, change.second);
}

void VirtualDevice::setEnumerationListener(std::function<void(const QString &, const QString &)> newListener)
{
    QMutexLocker lock(&listenerMutex);
    listener = std::move(newListener);
}

VirtualDevice::Mode VirtualDevice::mode() const
{
    QMutexLocker lock(&mutex);
    return currentMode;
}

bool VirtualDevice::isPlugged() const
{
    QMutexLocker lock(&mutex);
    return plugged;
}

void VirtualDevice::unplug()
{
    Change change;
    {
        QMutexLocker lock(&mutex);
        if (!plugged)
            return;
        change = reenumerate(currentMode, false);
    }
    notify(change);
}

void VirtualDevice::plug(Mode mode)
{
    Change change;
    {
        QMutexLocker lock(&mutex);
        reportsUntilUnplug = -1;
        change = reenumerate(mode, true);
    }
    notify(change);
}

void VirtualDevice::setFirmwareVersion(quint16 version)
{
    QMutexLocker lock(&mutex);
    firmwareVersion = version;
}

void VirtualDevice::setBootloaderVersion(quint16 version)
{
    QMutexLocker lock(&mutex);
    bootloaderVersion = version;
}

OKUKIPOSettings VirtualDevice::settings() const
{
    QMutexLocker lock(&mutex);
    return firmware.settings;
}

void VirtualDevice::setSettings(const OKUKIPOSettings &settings)
{
    QMutexLocker lock(&mutex);
    firmware.settings = settings;
}

QByteArray VirtualDevice::flashImage() const
{
    QMutexLocker lock(&mutex);
    return firmware.flash;
}

void VirtualDevice::setFlashImage(const QByteArray &image)
{
    QMutexLocker lock(&mutex);
    firmware.flash = image.left(VirtualFirmware::FlashCapacity);
}

std::array<quint8, 32> VirtualDevice::storedAlmanacs() const
{
    QMutexLocker lock(&mutex);
    return firmware.storedAlmanacs;
}

int VirtualDevice::emulationSteps() const
{
    QMutexLocker lock(&mutex);
    return firmware.emulationSteps;
}

void VirtualDevice::dropNextReply(quint8 requestCode)
{
    QMutexLocker lock(&mutex);
    faults.append({FaultKind::Drop, requestCode});
}

void VirtualDevice::delayNextReply(quint8 requestCode, int delayMs)
{
    QMutexLocker lock(&mutex);
    faults.append({FaultKind::Delay, requestCode, delayMs});
}

void VirtualDevice::replaceNextReplyCode(quint8 requestCode, quint8 replyCode)
{
    QMutexLocker lock(&mutex);
    faults.append({FaultKind::ReplyCode, requestCode, replyCode});
}

void VirtualDevice::corruptNextChunkByteCount(quint8 requestCode, int chunkNumber, quint8 byteCount)
{
    QMutexLocker lock(&mutex);
    faults.append({FaultKind::ChunkByteCount, requestCode, byteCount, chunkNumber});
}

void VirtualDevice::clashNextChecksum()
{
    QMutexLocker lock(&mutex);
    firmware.clashNextChecksum = true;
}

void VirtualDevice::unplugAfterReports(int count)
{
    Change change;
    {
        QMutexLocker lock(&mutex);
        reportsUntilUnplug = count;
        if (count == 0)
            change = reenumerate(currentMode, false);
    }
    notify(change);
}

int VirtualDevice::reportsReceived() const
{
    QMutexLocker lock(&mutex);
    return received;
}

} // namespace okukipo::sim
