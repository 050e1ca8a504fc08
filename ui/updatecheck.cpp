#include "ui/updatecheck.h"

#include <QSettings>
#include <QStringList>

namespace updatecheck {

namespace {

// The software release the server compares with: 2.20.
constexpr int SoftwareVersion = 0x220;

} // namespace

QString defaultServer()
{
    return QStringLiteral("https://okukipo.example.org");
}

QString makerWebAddress()
{
    return QStringLiteral("https://okukipo.example.org");
}

QUrl requestUrl(const QSettings &settings)
{
    QString server = settings.value(QLatin1String(ServerKey), defaultServer()).toString();
    while (server.endsWith(QLatin1Char('/')))
        server.chop(1);
    if (server.isEmpty())
        return {};
    return QUrl(server + QStringLiteral("/resources/update/OKUKIPO/updateavailable.php?v=")
                + QString::number(SoftwareVersion));
}

Reply parseReply(const QString &body)
{
    Reply reply;
    if (body.isEmpty())
        return reply;
    const QStringList fields = body.split(QLatin1Char(','), Qt::KeepEmptyParts);
    reply.updateAvailable = fields.first() == QLatin1String("1");
    if (fields.size() >= 2)
        reply.message = fields.at(1);
    return reply;
}

QString updateNotice()
{
    return QStringLiteral("A new update is available online. Please visit ") + makerWebAddress()
        + QStringLiteral(" to download a new update for your device. Updates are important for device reliability "
                         "and feature enhancements.");
}

} // namespace updatecheck
