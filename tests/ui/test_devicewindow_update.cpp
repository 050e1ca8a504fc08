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
    void firmwareUpdate_data()
    {
        QTest::addColumn<QStringList>("images");
        QTest::addColumn<int>("exitCode"); // of the flashing program; -1 without one
        QTest::addColumn<QString>("shown");
        const QString failed = QStringLiteral("Failed to update firmware.");
        // The first image of the 2.2x series, its output without carriage returns.
        QTest::newRow("flashed") << QStringList{"2.21", "2.20", "1.00"} << 0 << "Flashed 4096 bytes\n";
        QTest::newRow("no image") << QStringList() << 0 << "No firmware files found!\n" + failed;
        QTest::newRow("no flashing program") << QStringList{"2.20"} << -1 << failed;
        QTest::newRow("flashing failed") << QStringList{"2.20"} << 3 << failed;
    }

    void firmwareUpdate()
    {
        QFETCH(QStringList, images);
        QFETCH(int, exitCode);
        QFETCH(QString, shown);
        FirmwareFolder folder;
        for (const QString &version : images)
            folder.write("OKU KIPO Firmware " + version + ".hex.dat", ":00000001FF\n");
        if (exitCode >= 0)
            folder.addFlasher(exitCode ? "" : "Flashed 4096 bytes\\r\\n", exitCode);
        DeviceStudio studio;
        QVERIFY(studio.waitConnected());
        QPushButton *update = studio.button(QStringLiteral("updateFirmware"));
        update->click();
        if (exitCode == 0 && !images.isEmpty()) {
            QVERIFY(!update->isEnabled());
            QCOMPARE(studio.askedTexts(), QStringList({"Please do not disconnect the device while the update is taking "
                                                       "place.\r\nThis will cause incomplete/corrupted firmware to be uploaded."}));
            QTRY_COMPARE(studio.device().mode(), okukipo::sim::VirtualDevice::Mode::Bootloader);
            // Closing now would kill the flashing program mid-write.
            QVERIFY(!studio.closeConsole());
            QVERIFY(studio.askedTexts().last().startsWith(QStringLiteral("A firmware update is running.")));
            QTRY_VERIFY_WITH_TIMEOUT(studio.traces().contains(QStringLiteral("Firmware update complete 0")), 15000);
        }
        QTRY_VERIFY_WITH_TIMEOUT(studio.consoleText().contains(shown), 15000);
        QCOMPARE(folder.recordedArguments(), images.isEmpty() || exitCode < 0 ? QString()
                 : "-p\n" + folder.dir.filePath("OKU KIPO Firmware 2.20.hex.dat") + "\n");
        QTRY_VERIFY(update->isEnabled());
        QVERIFY(studio.waitConnected());
        QVERIFY(studio.closeConsole());
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
