#include "tests/app/scriptedasker.h"
#include "tests/model/filecontents.h"
#include "tests/model/testflights.h"
#include "model/trace.h"
#include "ui/comparisonwindow.h"
#include "ui/graphaxis.h"
#include "ui/qgraph.h"

#include <QCheckBox>
#include <QLabel>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QtTest>

namespace {

// A climb to 400 m in 4 s and a slow descent, launched at 2 s.
const QByteArray simulation = "# Time (s),Altitude (m),Vertical velocity (m/s),Vertical acceleration (G)\n"
                              "0,0,0,0\n2,0,0,0\n4,250,100,5\n6,400,0,-1\n30,200,-8,0\n56,0,-8,0\n";

// The value of a plotted curve nearest to time 0.
double valueAtZero(const GraphSeries &curve)
{
    const auto nearest = std::min_element(curve.points().begin(), curve.points().end(),
                                          [](const QPointF &a, const QPointF &b) { return qAbs(a.x()) < qAbs(b.x()); });
    return nearest->y();
}

} // namespace

class TestComparisonWindow : public QObject {
    Q_OBJECT

private slots:
    void initTestCase()
    {
        okukipo::setTraceHandler([](const QString &) {});
        QVERIFY(m_dir.isValid());
        QVERIFY(writeFile(m_dir.filePath("sim.csv"), simulation));
        QVERIFY(writeFile(m_dir.filePath("bad.csv"), QByteArray(simulation).replace("30,200", "30,2oo")));
    }

    void overlaysAFlightAndASimulation()
    {
        ScriptedAsker asker;
        FlightComparisonWidget window(nullptr);
        window.addFlight(analysedFlight(), QStringLiteral("first.kipo"));
        QVERIFY(window.addFiles({m_dir.filePath("sim.csv")}));

        // Apogee 400 m, 100 m/s at burnout; the differences to the first flight beside them.
        const QStringList apogee = window.table()->item(0, 1)->text().split(' ');
        QCOMPARE(apogee.mid(0, 2), QStringList({"400.00", "m"}));
        const double firstApogee = window.table()->item(0, 0)->text().split(' ').first().toDouble();
        QCOMPARE(apogee[2], QStringLiteral("(+%1").arg(400.0 - firstApogee, 0, 'f', 2));
        QCOMPARE(window.table()->item(9, 1)->text(), "n/a");

        // Launch at 0: both start from the ground; on apogee both stand at their highest.
        const Axis *altitude = window.altitudeGraph()->first();
        QCOMPARE(altitude->series.size(), 2);
        for (const GraphSeries *curve : altitude->series)
            QVERIFY(qAbs(valueAtZero(*curve)) < 1.0);
        window.apogeeAlignment()->setChecked(true);
        QVERIFY(qAbs(valueAtZero(*altitude->series[1]) - 400.0) < 0.01);
        QVERIFY(qAbs(valueAtZero(*altitude->series[0]) - comparisonStatistics(window.items()[0])[0].value()) < 1.0);

        // A timeline reads every item at its moment.
        window.altitudeGraph()->view()->timelines()->push_back(std::make_shared<float>(0.0f));
        window.showTimelineReadings();
        QVERIFY2(window.timelineReadings()->text().contains("sim.csv: 400.00 m, "),
                 qPrintable(window.timelineReadings()->text()));
        QVERIFY(window.timelineReadings()->text().contains("first.kipo: "));

        // A file that cannot be read adds nothing, not even the good ones before it.
        QVERIFY(!window.addFiles({m_dir.filePath("sim.csv"), m_dir.filePath("bad.csv")}));
        QCOMPARE(window.items().size(), std::size_t(2));
        QCOMPARE(asker.messages.size(), 1);
        QVERIFY2(asker.messages[0].text.endsWith("bad.csv: line 6: \"2oo\" in column \"Altitude (m)\" is not a number"),
                 qPrintable(asker.messages[0].text));
    }

private:
    QTemporaryDir m_dir;
};

QTEST_MAIN(TestComparisonWindow)
#include "test_comparisonwindow.moc"
