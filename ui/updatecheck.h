#pragma once

#include <QObject>
#include <QString>
#include <QUrl>
#include <optional>

class QNetworkAccessManager;
class QNetworkReply;
class QSettings;
class QWidget;

// The question the device console asks the update server once it opens,
// and what the answer means.
namespace updatecheck {

// The "settings.ini" key of the update server's address.
inline constexpr char ServerKey[] = "updateServer";
QString defaultServer();
// Where users download updates, named in the update message.
QString makerWebAddress();

// Empty when the address is set empty, which switches the check off.
QUrl requestUrl(const QSettings &settings);

struct Reply {
    bool updateAvailable = false;
    // Shown after the update notice; present whenever the reply has a
    // second field, even an empty one.
    std::optional<QString> message;
};
// "1" announces an update; a second comma-separated field is a message.
Reply parseReply(const QString &body);

QString updateNotice();

} // namespace updatecheck

// Asks the update server whether a newer release exists and shows the user
// what it answers, in boxes over the window.
class UpdateChecker : public QObject
{
    Q_OBJECT

public:
    explicit UpdateChecker(QWidget *window);

    void checkForUpdates(const QSettings &settings);

signals:
    void updateCheckAnswered();

private:
    void checkForUpdatesFinished(QNetworkReply *reply);

    QWidget *m_window;
    QNetworkAccessManager *m_network;
};
