#pragma once

#include "device/hidtransport.h"
#include "device/sim/virtualfirmware.h"

#include <QElapsedTimer>
#include <QMutex>
#include <QWaitCondition>
#include <deque>
#include <functional>

namespace okukipo::sim {

// The virtual flight computer behind its USB link: it enumerates in
// firmware or bootloader mode, takes 65-byte reports, and queues its replies
// for reading.  Reads wait (without spinning) until a reply is due or the
// time-out passes, so a caller on another thread sees real timing.
// Faults injected by tests change the next exchange of the given request
// code and are then used up.  Thread-safe.
class VirtualDevice
{
public:
    enum class Mode { Firmware, Bootloader };

    static const QString FirmwarePath;
    static const QString BootloaderPath;

    VirtualDevice();

    // ---- The USB side ----
    // The interface the device currently presents, if it is plugged in.
    QVector<HIDDeviceInfo> enumerate() const;
    // Each re-enumeration (mode change, unplug, plug) starts a new session;
    // a connection belongs to the session in which it was opened.
    // Returns 0 when the path is not present.
    quint64 openSession(const QString &path) const;
    bool write(quint64 session, const HIDReport &report);
    bool read(quint64 session, HIDReport &report, int timeoutMs);
    void flush(quint64 session);

    // Called with the paths that disappeared and appeared (either may be
    // empty) whenever the device re-enumerates; never with the lock held.
    void setEnumerationListener(std::function<void(const QString &removed, const QString &arrived)> listener);

    // ---- Test and demo controls ----
    Mode mode() const;
    bool isPlugged() const;
    void unplug();
    // Plugs the device in, in the given mode.
    void plug(Mode mode = Mode::Firmware);
    // The version numbers it enumerates with (for wrong-version cases).
    void setFirmwareVersion(quint16 version);
    void setBootloaderVersion(quint16 version);

    OKUKIPOSettings settings() const;
    void setSettings(const OKUKIPOSettings &settings);
    QByteArray flashImage() const;
    void setFlashImage(const QByteArray &image);
    std::array<quint8, 32> storedAlmanacs() const;
    int emulationSteps() const;

    // The next reply to this request is never sent.
    void dropNextReply(quint8 requestCode);
    // The next reply to this request comes only after the delay.
    void delayNextReply(quint8 requestCode, int delayMs);
    // The next reply to this request carries another code.
    void replaceNextReplyCode(quint8 requestCode, quint8 replyCode);
    // Data chunk `chunkNumber` (from 0) of the next reply to this request
    // announces `byteCount` payload bytes instead of its real count.
    void corruptNextChunkByteCount(quint8 requestCode, int chunkNumber, quint8 byteCount);
    // The next settings read is answered with 0x09, the next settings write
    // rejected with 0x09 whatever its checksum.
    void clashNextChecksum();
    // The device is pulled out after it has sent this many more reports.
    void unplugAfterReports(int count);
    // Reports written by the host so far, in firmware and bootloader mode.
    int reportsReceived() const;

private:
    enum class FaultKind { Drop, Delay, ReplyCode, ChunkByteCount };
    struct Fault {
        FaultKind kind;
        quint8 requestCode;
        int value = 0;
        int chunkNumber = 0;
    };
    struct QueuedReport {
        quint64 session;
        qint64 dueMs;
        HIDReport report;
    };
    // Data chunks still to be sent, made one at a time as the host reads.
    struct ChunkStream {
        quint64 session = 0;
        QByteArray bytes;
        int sent = 0;
        int chunkNumber = 0;
        qint64 dueMs = 0;
        int corruptChunk = -1;
        quint8 corruptByteCount = 0;
        quint8 firstCode = 0;
    };
    using Change = std::pair<QString, QString>;

    QString currentPath() const;
    bool sessionAlive(quint64 session) const;
    Change reenumerate(Mode mode, bool plugged);
    void queueAnswer(FirmwareAnswer answer);
    bool takeFault(quint8 requestCode, FaultKind kind, Fault &fault);
    bool nextReport(quint64 session, HIDReport &report, qint64 &dueMs);
    void notify(const Change &change);

    mutable QMutex mutex;
    QWaitCondition replyQueued;
    QElapsedTimer clock;
    VirtualFirmware firmware;
    Mode currentMode = Mode::Firmware;
    bool plugged = true;
    quint64 session = 1;
    quint16 firmwareVersion;
    quint16 bootloaderVersion;
    std::deque<QueuedReport> queue;
    ChunkStream stream;
    QVector<Fault> faults;
    int reportsUntilUnplug = -1;
    int received = 0;

    QMutex listenerMutex;
    std::function<void(const QString &, const QString &)> listener;
};

} // namespace okukipo::sim
