#include "ui/updatecheck.h"

#include "app/asker.h"
#include "model/trace.h"

#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QSettings>
#include <QStringList>

using okukipo::trace;

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
    // The server expects the version written twice in a row.
    return QUrl(server + QStringLiteral("/resources/update/OKUKIPO/updateavailable.php?v=")
                + QString::number(SoftwareVersion).repeated(2));
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

UpdateChecker::UpdateChecker(QWidget *window)
    : QObject(window)
    , m_window(window)
    , m_network(new QNetworkAccessManager(this))
{
}

void UpdateChecker::checkForUpdates(const QSettings &settings)
{
    const QUrl url = updatecheck::requestUrl(settings);
    if (url.isEmpty()) {
        trace(QStringLiteral("Update check switched off"));
        return;
    }
    trace(url.toString());
    QNetworkRequest request(url);
    request.setRawHeader("User-Agent", "Mozilla Firefox");
    QNetworkReply *reply = m_network->get(request);
    // The reply belongs to the manager: it cannot outlive this checker.
    connect(reply, &QNetworkReply::finished, this, [this, reply] { checkForUpdatesFinished(reply); });
}

void UpdateChecker::checkForUpdatesFinished(QNetworkReply *reply)
{
    reply->deleteLater();
    trace(QStringLiteral("checkForUpdatesFinished. Getting reply..."));
    const QString body = QString::fromUtf8(reply->readAll());
    trace(body);
    // An error page is no answer of the update server, whatever it says.
    if (reply->error() == QNetworkReply::NoError) {
        const updatecheck::Reply answer = updatecheck::parseReply(body);
        if (answer.updateAvailable)
            showMessage(m_window, QMessageBox::Information, tr("Update"), updatecheck::updateNotice());
        if (answer.message)
            showMessage(m_window, QMessageBox::Information, tr("Update"), *answer.message);
    }
    emit updateCheckAnswered();
}
