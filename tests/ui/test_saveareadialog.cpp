#include "ui/saveareadialog.h"

#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QtTest>

class TestSaveAreaDialog : public QObject
{
    Q_OBJECT

private slots:
    // Counts worked out by hand from the slippy-map formula (as the plan's tests), 20 KiB a tile.
    void showsTheCountAndSizeBeforeItStarts()
    {
        QTemporaryDir cache;
        tiles::TileSettings offline;
        offline.urlTemplate = QStringLiteral("http://127.0.0.1:1/{z}/{x}/{y}.png");
        SaveAreaDialog dialog({{QStringLiteral("Playa"), {40.80, -119.20, 40.90, -119.05}},
                               {QStringLiteral("Valley"), {40.5, -119.6, 41.2, -118.6}},
                               {QStringLiteral("Point"), {40.85, -119.1, 40.85, -119.1}}},
                              offline, cache.path());
        auto *zoom = dialog.findChild<QSpinBox *>();
        QCOMPARE(dialog.summary(), QStringLiteral("969 tiles, about 18.9 MB (zoom levels 0 to 16)"));

        auto *area = dialog.findChild<QComboBox *>();
        area->setCurrentIndex(1);
        zoom->setValue(16);
        QCOMPARE(dialog.summary(), QStringLiteral("2770 tiles, about 54.1 MB (zoom levels 0 to 14)"));
        QString labels;
        for (const QLabel *label : dialog.findChildren<QLabel *>())
            labels += label->text();
        QVERIFY(labels.contains(QStringLiteral("at most 5000 tiles per save, so this save stops at zoom level 14")));

        // One tile a zoom level; the source cannot be reached.
        area->setCurrentIndex(2);
        zoom->setValue(2);
        const QList<QPushButton *> buttons = dialog.findChildren<QPushButton *>();
        QPushButton *save = *std::find_if(buttons.begin(), buttons.end(), [](auto *b) { return b->text() == "Save"; });
        save->click();
        QTRY_COMPARE(dialog.summary(), QStringLiteral("0 tiles saved; 3 could not be fetched."));
        QVERIFY(!save->isEnabled());
    }
};

QTEST_MAIN(TestSaveAreaDialog)
#include "test_saveareadialog.moc"
