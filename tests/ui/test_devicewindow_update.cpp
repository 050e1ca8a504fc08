// Firmware update through a stand-in flashing program, and the online
// update check against a local server.

#include "devicewindowfixture.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTcpServer>
#include <QTcpSocket>
#include <QtTest>

using namespace devicewindowtest;

namespace {

// The firmware folder beside the test program, where the console looks for
// images and the flashing program; emptied again when the test ends.
class FirmwareFolder
{
public:
    FirmwareFolder()
        : m_directory(QCoreApplication::applicationDirPath() + QStringLiteral("/KIPO/firmware"))
    {
        m_directory.removeRecursively();
        QDir().mkpath(m_directory.path());
    }
    ~FirmwareFolder() { m_directory.removeRecursively(); }

    QString path(const QString &name) const { return m_directory.filePath(name); }

    void addImage(const QString &name) const
    {
        QFile image(path(name));
        QVERIFY(image.open(QIODevice::WriteOnly));
        image.write(":00000001FF\n");
    }

    // A flashing program that records its arguments and prints `output`.
    void addFlasher(const QByteArray &output, int exitCode) const
    {
        QFile program(path(QStringLiteral("bootload")));
        QVERIFY(program.open(QIODevice::WriteOnly));
        program.write("#!/bin/sh\nprintf '%s\\n' \"$@\" > \"$(dirname \"$0\")/arguments.txt\"\nprintf '" + output
                      + "'\nexit " + QByteArray::number(exitCode) + "\n");
        program.close();
        program.setPermissions(program.permissions() | QFileDevice::ExeOwner);
    }

    QString recordedArguments() const
    {
        QFile file(path(QStringLiteral("arguments.txt")));
        return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
    }

private:
    QDir m_directory;
};

// Answers every HTTP request with one status and body, and keeps the requests.
class UpdateServer : public QTcpServer
{
public:
    QByteArray status = "200 OK";
    QByteArray body;
    QList<QByteArray> requests;

    UpdateServer()
    {
        connect(this, &QTcpServer::newConnection, this, [this] {
            QTcpSocket *socket = nextPendingConnection();
            connect(socket, &QTcpSocket::readyRead, socket, [this, socket] {
                m_pending[socket] += socket->readAll();
                if (!m_pending[socket].contains("\r\n\r\n"))
                    return;
                requests << m_pending.take(socket);
                socket->write("HTTP/1.1 " + status + "\r\nContent-Type: text/plain\r\nContent-Length: "
                              + QByteArray::number(body.size()) + "\r\nConnection: close\r\n\r\n" + body);
                socket->disconnectFromHost();
            });
            connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
        });
        listen(QHostAddress::LocalHost);
    }

    QString address() const { return QStringLiteral("http://127.0.0.1:") + QString::number(serverPort()); }

private:
    QHash<QTcpSocket *, QByteArray> m_pending;
};

} // namespace

class TestDeviceWindowUpdate : public QObject
{
    Q_OBJECT

private slots:
    void updateFlashesTheFirstImageAndHoldsTheWindowOpen();
    void failedUpdateSaysSoAndReconnects_data();
    void failedUpdateSaysSoAndReconnects();
    void unconnectedDeviceIsExplained();
    void updateCheckReplies_data();
    void updateCheckReplies();
};

void TestDeviceWindowUpdate::updateFlashesTheFirstImageAndHoldsTheWindowOpen()
{
    FirmwareFolder folder;
    for (const char *name : {"OKU KIPO Firmware 2.21.hex.dat", "OKU KIPO Firmware 2.20.hex.dat", "OKU KIPO Firmware 1.00.hex.dat"})
        folder.addImage(QLatin1String(name));
    folder.addFlasher("Flashed 4096 bytes\\r\\n", 0);
    DeviceStudio studio;
    QVERIFY(studio.waitConnected());
    QPushButton *update = studio.button(QStringLiteral("updateFirmware"));
    update->click();
    QVERIFY(!update->isEnabled());
    QVERIFY(studio.traces.lines().contains(QStringLiteral("Requesting firmware update...")));
    QCOMPARE(studio.askedTexts(), QStringList({"Please do not disconnect the device while the update is taking "
                                               "place.\r\nThis will cause incomplete/corrupted firmware to be "
                                               "uploaded."}));
    QTRY_COMPARE(studio.device().mode(), okukipo::sim::VirtualDevice::Mode::Bootloader);
    // Closing now would kill the flashing program mid-write.
    QVERIFY(!studio.closeConsole());
    QVERIFY(studio.askedTexts().last().startsWith(QStringLiteral("A firmware update is running.")));

    QTRY_VERIFY_WITH_TIMEOUT(studio.traces.lines().contains(QStringLiteral("Firmware update complete 0")), 15000);
    QCOMPARE(folder.recordedArguments(),
             QStringLiteral("-p\n") + folder.path(QStringLiteral("OKU KIPO Firmware 2.20.hex.dat")) + QLatin1Char('\n'));
    QVERIFY(studio.consoleText().contains(QStringLiteral("Flashed 4096 bytes\n")));
    QVERIFY(!studio.consoleText().contains(QStringLiteral("Flashed 4096 bytes\r")));
    QVERIFY(!studio.consoleText().contains(QStringLiteral("Failed to update firmware.")));
    QVERIFY(update->isEnabled());
    QVERIFY(studio.waitConnected());
    QCOMPARE(studio.device().mode(), okukipo::sim::VirtualDevice::Mode::Firmware);
    QVERIFY(studio.closeConsole());
}

void TestDeviceWindowUpdate::failedUpdateSaysSoAndReconnects_data()
{
    QTest::addColumn<bool>("image");
    QTest::addColumn<bool>("flasher");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("before");
    QTest::newRow("no image") << false << true << 0 << "No firmware files found!\n";
    QTest::newRow("no flashing program") << true << false << 0 << "";
    QTest::newRow("flashing failed") << true << true << 3 << "";
}

void TestDeviceWindowUpdate::failedUpdateSaysSoAndReconnects()
{
    QFETCH(bool, image);
    QFETCH(bool, flasher);
    QFETCH(int, exitCode);
    QFETCH(QString, before);
    FirmwareFolder folder;
    if (image)
        folder.addImage(QStringLiteral("OKU KIPO Firmware 2.20.hex.dat"));
    if (flasher)
        folder.addFlasher("", exitCode);
    DeviceStudio studio;
    QVERIFY(studio.waitConnected());
    QVERIFY(studio.click(QStringLiteral("updateFirmware")));
    QTRY_VERIFY_WITH_TIMEOUT(studio.consoleText().contains(before + QStringLiteral("Failed to update firmware.")),
                             15000);
    QCOMPARE(folder.recordedArguments().isEmpty(), !(image && flasher));
    QVERIFY(studio.button(QStringLiteral("updateFirmware"))->isEnabled());
    QVERIFY(studio.waitConnected());
}

void TestDeviceWindowUpdate::unconnectedDeviceIsExplained()
{
    DeviceStudio studio(true, [](okukipo::sim::VirtualDevice &device) { device.unplug(); });
    studio.window()->updateFirmware();
    QCOMPARE(studio.askedTexts(),
             QStringList({"We can't connect to the device to automatically place it in \"bootloader\" mode.\r\nThis "
                          "is possibly because the existing firmware is too old for this software version.",
                          "To continue the update, please disconnect your device and then reconnect it again.",
                          "Please do not disconnect the device while the update is taking place.\r\nThis will cause "
                          "incomplete/corrupted firmware to be uploaded."}));
}

void TestDeviceWindowUpdate::updateCheckReplies_data()
{
    QTest::addColumn<QByteArray>("status");
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<QStringList>("shown");
    const QString notice = updatecheck::updateNotice();
    QTest::newRow("update") << QByteArray("200 OK") << QByteArray("1") << QStringList{notice};
    QTest::newRow("message only") << QByteArray("200 OK") << QByteArray("0,Maintenance tonight")
                                  << QStringList{"Maintenance tonight"};
    QTest::newRow("update and empty message") << QByteArray("200 OK") << QByteArray("1,") << QStringList{notice, ""};
    QTest::newRow("no update") << QByteArray("200 OK") << QByteArray("0") << QStringList{};
    QTest::newRow("empty") << QByteArray("200 OK") << QByteArray() << QStringList{};
    QTest::newRow("error page") << QByteArray("404 Not Found") << QByteArray("1,<html>Not found</html>")
                                << QStringList{};
}

void TestDeviceWindowUpdate::updateCheckReplies()
{
    QFETCH(QByteArray, status);
    QFETCH(QByteArray, body);
    QFETCH(QStringList, shown);
    UpdateServer server;
    server.status = status;
    server.body = body;
    DeviceStudio studio(true, [](okukipo::sim::VirtualDevice &device) { device.unplug(); });
    QVERIFY(studio.traces.lines().contains(QStringLiteral("Update check switched off")));
    studio.main->settings()->setValue(QLatin1String(updatecheck::ServerKey), server.address() + QLatin1Char('/'));
    QSignalSpy answered(studio.child<UpdateChecker>(), &UpdateChecker::updateCheckAnswered);
    studio.window()->checkForUpdates();
    QVERIFY(answered.wait(10000));
    QCOMPARE(server.requests.size(), 1);
    // The server expects the version, 544, written twice.
    QVERIFY(server.requests.first().startsWith("GET /resources/update/OKUKIPO/updateavailable.php?v=544544 HTTP/1.1\r\n"));
    QVERIFY(server.requests.first().contains("\r\nUser-Agent: Mozilla Firefox\r\n"));
    for (const MessageBoxRequest &box : qAsConst(studio.asker.messages))
        QCOMPARE(box.title, QStringLiteral("Update"));
    QCOMPARE(studio.askedTexts(), shown);
}

QTEST_MAIN(TestDeviceWindowUpdate)
#include "test_devicewindow_update.moc"
