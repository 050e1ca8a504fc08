// Firmware update through a stand-in flashing program, and the online
// update check against a local server.

#include "devicewindowfixture.h"

#include <QCoreApplication>
#include <QDir>
#include <QTcpServer>
#include <QTcpSocket>
#include <QtTest>

using namespace devicewindowtest;

namespace {

// The firmware folder beside the test program, where the console looks for
// images and the flashing program; removed again when the test ends.
struct FirmwareFolder {
    QDir dir{QCoreApplication::applicationDirPath() + QStringLiteral("/KIPO/firmware")};
    FirmwareFolder() { dir.removeRecursively(), dir.mkpath(dir.path()); }
    ~FirmwareFolder() { dir.removeRecursively(); }

    void write(const QString &name, const QByteArray &content, QFileDevice::Permissions extra = {}) const
    {
        QFile file(dir.filePath(name));
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write(content) == content.size());
        file.setPermissions(file.permissions() | extra);
    }
    void addImage(const QString &name) const { write(name, ":00000001FF\n"); }
    // A flashing program that records its arguments and prints `output`.
    void addFlasher(const QByteArray &output, int exitCode) const
    {
        write(QStringLiteral("bootload"), "#!/bin/sh\nprintf '%s\\n' \"$@\" > \"$(dirname \"$0\")/arguments.txt\"\nprintf '"
              + output + "'\nexit " + QByteArray::number(exitCode) + "\n", QFileDevice::ExeOwner);
    }
    QString recordedArguments() const
    {
        QFile file(dir.filePath(QStringLiteral("arguments.txt")));
        return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
    }
};

// Answers every HTTP request with one status and body, and keeps the requests.
struct UpdateServer : QTcpServer {
    QByteArray status = "200 OK", body;
    QList<QByteArray> requests;
    UpdateServer()
    {
        connect(this, &QTcpServer::newConnection, this, [this] {
            QTcpSocket *socket = nextPendingConnection();
            connect(socket, &QTcpSocket::readyRead, socket, [this, socket] {
                socket->setProperty("request", socket->property("request").toByteArray() + socket->readAll());
                if (!socket->property("request").toByteArray().contains("\r\n\r\n"))
                    return;
                requests << socket->property("request").toByteArray();
                socket->write("HTTP/1.1 " + status + "\r\nContent-Length: " + QByteArray::number(body.size())
                              + "\r\nConnection: close\r\n\r\n" + body);
                socket->disconnectFromHost();
            });
        });
        listen(QHostAddress::LocalHost);
    }
};

} // namespace

class TestDeviceWindowUpdate : public QObject
{
    Q_OBJECT

private slots:
    void updateFlashesTheFirstImageAndHoldsTheWindowOpen()
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
        QCOMPARE(studio.askedTexts(), QStringList({"Please do not disconnect the device while the update is taking "
                                                   "place.\r\nThis will cause incomplete/corrupted firmware to be uploaded."}));
        QTRY_COMPARE(studio.device().mode(), okukipo::sim::VirtualDevice::Mode::Bootloader);
        // Closing now would kill the flashing program mid-write.
        QVERIFY(!studio.closeConsole());
        QVERIFY(studio.askedTexts().last().startsWith(QStringLiteral("A firmware update is running.")));

        QTRY_VERIFY_WITH_TIMEOUT(studio.traces().contains(QStringLiteral("Firmware update complete 0")), 15000);
        QCOMPARE(folder.recordedArguments(), "-p\n" + folder.dir.filePath("OKU KIPO Firmware 2.20.hex.dat") + "\n");
        QVERIFY(studio.consoleText().contains(QStringLiteral("Flashed 4096 bytes\n")));
        QVERIFY(!studio.consoleText().contains(QStringLiteral("Flashed 4096 bytes\r")));
        QVERIFY(update->isEnabled());
        QVERIFY(studio.waitConnected());
        QVERIFY(studio.closeConsole());
    }

    void failedUpdateSaysSoAndReconnects_data()
    {
        QTest::addColumn<bool>("image");
        QTest::addColumn<bool>("flasher");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QString>("before");
        QTest::newRow("no image") << false << true << 0 << "No firmware files found!\n";
        QTest::newRow("no flashing program") << true << false << 0 << "";
        QTest::newRow("flashing failed") << true << true << 3 << "";
    }

    void failedUpdateSaysSoAndReconnects()
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
        QTRY_VERIFY_WITH_TIMEOUT(studio.consoleText().contains(before + "Failed to update firmware."), 15000);
        QCOMPARE(folder.recordedArguments().isEmpty(), !(image && flasher));
        QVERIFY(studio.button(QStringLiteral("updateFirmware"))->isEnabled());
        QVERIFY(studio.waitConnected());
    }

    void updateCheckReplies_data()
    {
        QTest::addColumn<QByteArray>("status");
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<QStringList>("shown");
        const QString notice = updatecheck::updateNotice();
        QTest::newRow("update") << QByteArray("200 OK") << QByteArray("1") << QStringList{notice};
        QTest::newRow("message only") << QByteArray("200 OK") << QByteArray("0,Down tonight") << QStringList{"Down tonight"};
        QTest::newRow("update, empty message") << QByteArray("200 OK") << QByteArray("1,") << QStringList{notice, ""};
        QTest::newRow("no update") << QByteArray("200 OK") << QByteArray("0") << QStringList{};
        QTest::newRow("empty") << QByteArray("200 OK") << QByteArray() << QStringList{};
        QTest::newRow("error page") << QByteArray("404 Not Found") << QByteArray("1,<html>Not found</html>") << QStringList{};
    }

    void updateCheckReplies()
    {
        QFETCH(QByteArray, status);
        QFETCH(QByteArray, body);
        QFETCH(QStringList, shown);
        UpdateServer server;
        server.status = status;
        server.body = body;
        DeviceStudio studio(true, [](okukipo::sim::VirtualDevice &device) { device.unplug(); });
        studio.main->settings()->setValue(QLatin1String(updatecheck::ServerKey),
                                          QStringLiteral("http://127.0.0.1:%1/").arg(server.serverPort()));
        QSignalSpy answered(studio.child<UpdateChecker>(), &UpdateChecker::updateCheckAnswered);
        studio.window()->checkForUpdates();
        QVERIFY(answered.wait(10000));
        QCOMPARE(server.requests.size(), 1);
        // The server expects the version, 544, written twice.
        QVERIFY(server.requests.first().startsWith("GET /resources/update/OKUKIPO/updateavailable.php?v=544544 HTTP/1.1\r\n"));
        QVERIFY(server.requests.first().contains("\r\nUser-Agent: Mozilla Firefox\r\n"));
        QCOMPARE(studio.askedTexts(), shown);
    }
};

QTEST_MAIN(TestDeviceWindowUpdate)
#include "test_devicewindow_update.moc"
