#include "device/transferprogress.h"
#include "tests/device/workerharness.h"

#include <QtTest>

class TestTransferProgress : public QObject
{
    Q_OBJECT

private slots:
    void text_data()
    {
        QTest::addColumn<qint64>("total");
        QTest::addColumn<qint64>("read");
        QTest::addColumn<qint64>("elapsedMs");
        QTest::addColumn<QString>("text");
        QTest::newRow("nothing yet") << qint64(120000) << qint64(0) << qint64(300) << "0.0 of 120.0 kB";
        QTest::newRow("seconds") << qint64(120000) << qint64(48000) << qint64(4000) << "48.0 of 120.0 kB, 12.0 kB/s, 6 s left";
        // 70 kB at 15 kB/s are 4.67 s.
        QTest::newRow("rounded up") << qint64(100000) << qint64(30000) << qint64(2000) << "30.0 of 100.0 kB, 15.0 kB/s, 5 s left";
        // A full flash memory: 4087480 bytes left at 4.1288 bytes/ms are 989.99 s.
        QTest::newRow("minutes") << qint64(4128768) << qint64(41288) << qint64(10000)
                                 << "41.3 of 4128.8 kB, 4.1 kB/s, 16 min 30 s left";
        QTest::newRow("done") << qint64(6000) << qint64(6000) << qint64(1500) << "6.0 of 6.0 kB, 4.0 kB/s, 0 s left";
    }

    void text()
    {
        QFETCH(qint64, total);
        QFETCH(qint64, read);
        QFETCH(qint64, elapsedMs);
        QFETCH(QString, text);
        TransferProgress progress;
        progress.update(total, read, elapsedMs);
        QCOMPARE(progress.text(), text);
    }

    void downloadFromADeviceThatWaitsBeforeAnswering()
    {
        WorkerHarness harness;
        harness.device().setFlashImage(QByteArray(6000, '\xff'));
        harness.connectFirmware();
        harness.device().delayNextReply(OKUPacketCode::ReadFlash, 1500);
        TransferProgress progress;
        QObject::connect(harness.worker, &OKUKIPOInterface::flightDownloadProgress, &harness.console,
                         [&progress](int total, int read) { progress.update(total, read); });
        progress.start();
        harness.call("downloadFlights");
        // 6000 bytes in 1.5 s and what the exchange itself takes: 4.0 kB/s at most.
        const QRegularExpression text("^6\\.0 of 6\\.0 kB, (\\d\\.\\d) kB/s, 0 s left$");
        const QRegularExpressionMatch match = text.match(progress.text());
        QVERIFY2(match.hasMatch(), qPrintable(progress.text()));
        const double rate = match.captured(1).toDouble();
        QVERIFY2(rate <= 4.0 && rate >= 2.0, qPrintable(progress.text()));
    }
};

QTEST_GUILESS_MAIN(TestTransferProgress)
#include "test_transferprogress.moc"
