#pragma once

#include "device/hidtransport.h"
#include "device/okukipodevice.h"
#include "model/trace.h"

#include <QByteArray>
#include <QStringList>
#include <QVector>
#include <deque>
#include <functional>
#include <vector>

// A transport whose device answers from a script: every written report is
// recorded and handed to `respond`, whose reports are queued for reading.
// Reads never wait, so time-outs cost nothing in tests.
class ScriptedTransport : public HIDTransport
{
public:
    QVector<HIDDeviceInfo> devices;
    std::function<std::vector<HIDReport>(const HIDReport &written)> respond;
    QVector<HIDReport> written;
    std::deque<HIDReport> pending;
    bool failOpen = false;
    QString advice; // for a failed open

    static HIDReport report(quint8 code, const QByteArray &data = {})
    {
        HIDReport made{};
        made[1] = code;
        for (int i = 0; i < data.size() && i < HIDReportSize - 2; ++i)
            made[size_t(2 + i)] = quint8(data.at(i));
        return made;
    }

    static QByteArray dataOf(const HIDReport &report)
    {
        return QByteArray(reinterpret_cast<const char *>(report.data() + 2), HIDReportSize - 2);
    }

    // The device answers `request` with `replies`, and the stop code with the idle code.
    void answer(quint8 request, const std::vector<HIDReport> &replies)
    {
        respond = [request, replies](const HIDReport &written) -> std::vector<HIDReport> {
            if (written[1] == OKUPacketCode::ReturnToIdle)
                return {report(OKUPacketCode::Idle)};
            return written[1] == request ? replies : std::vector<HIDReport>();
        };
    }

    QVector<HIDDeviceInfo> enumerate() override { return devices; }

    std::unique_ptr<HIDConnection> open(const QString &) override
    {
        return failOpen ? nullptr : std::unique_ptr<HIDConnection>(new Connection(this));
    }

    QString openFailureAdvice(const QString &) const override { return advice; }

private:
    class Connection : public HIDConnection
    {
    public:
        explicit Connection(ScriptedTransport *transport) : transport(transport) {}

        bool writeReport(const HIDReport &report, int) override
        {
            transport->written.append(report);
            for (const HIDReport &reply : transport->respond ? transport->respond(report) : std::vector<HIDReport>())
                transport->pending.push_back(reply);
            return true;
        }

        bool readReport(HIDReport &report, int) override
        {
            if (transport->pending.empty())
                return false;
            report = transport->pending.front();
            transport->pending.pop_front();
            return true;
        }

        void setInputBufferCount(int) override {}
        void flushInput() override { transport->pending.clear(); }

    private:
        ScriptedTransport *transport;
    };
};

// A fresh scripted transport installed for one test, and the trace lines written meanwhile.
struct ScriptedSession {
    ScriptedTransport transport;
    QStringList traced;

    ScriptedSession()
    {
        HIDTransport::setCurrent(&transport);
        okukipo::setTraceHandler([this](const QString &line) { traced << line; });
    }

    ~ScriptedSession()
    {
        okukipo::setTraceHandler({});
        HIDTransport::setCurrent(nullptr);
    }
};
