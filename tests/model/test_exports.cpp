#include "model/polynomialfit.h"
#include "model/sheetgrid.h"
#include "model/textfile.h"

#include <QTemporaryDir>
#include <QtTest>
#include <cmath>

namespace {

QByteArray readAll(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return QByteArray("<missing>");
    return file.readAll();
}

bool writeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

} // namespace

class TestExports : public QObject {
    Q_OBJECT

private slots:
    // ---- The writers every export uses ----

    void textFileAppearsOnlyWhenCommitted()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath("out.csv");
        QVERIFY(writeFile(path, "previous contents\n"));
        {
            AtomicTextFile file(path);
            QVERIFY(file.isOpen());
            file.line().append("half");
            file.endLine();
            // Abandoned without commit: the old file stays as it was.
        }
        QCOMPARE(readAll(path), QByteArray("previous contents\n"));
        AtomicTextFile file(path);
        file.line().append("a,b");
        file.endLine();
        file.line().append("c");
        file.endLine();
        QVERIFY(file.commit());
        QCOMPARE(readAll(path), QByteArray("a,b\nc\n"));
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files), QStringList{"out.csv"});
    }

    void textFileInAMissingFolderFails()
    {
        QTemporaryDir dir;
        AtomicTextFile file(dir.filePath("no/such/folder/out.csv"));
        QVERIFY(!file.isOpen());
        file.line().append("x");
        file.endLine();
        QVERIFY(!file.commit());
        QVERIFY(!QFile::exists(dir.filePath("no/such/folder/out.csv")));
    }

    void numbersPrintLikeAStream()
    {
        QByteArray text;
        for (double v : {0.0, 1.5, -0.25, 123456.0, 1234567.0, 0.0001, 0.00001, double(0.1f), 9.81 * 1.0})
            appendNumber(text, v), text.append(' ');
        QCOMPARE(text, QByteArray("0 1.5 -0.25 123456 1.23457e+06 0.0001 1e-05 0.1 9.81 "));
        text.clear();
        appendNumber(text, 47.123456789, 8);
        text.append(' ');
        appendNumber(text, 3.2998, 3);
        text.append(' ');
        appendFixed(text, -4.98, 2);
        text.append(' ');
        appendFixed(text, 2.0, 6);
        text.append(' ');
        appendFixed(text, -0.004, 2);
        QCOMPARE(text, QByteArray("47.123457 3.3 -4.98 2.000000 -0.00"));
    }

    void sheetRowsSpanTheUsedColumns()
    {
        SheetGrid grid;
        grid.set(0, 0, "A");
        grid.set(0, 3, "D");
        grid.setNumber(2, 1, 1.5);
        grid.set(1, 4, "E");
        QTemporaryDir dir;
        AtomicTextFile file(dir.filePath("sheet.csv"));
        grid.write(file);
        QVERIFY(file.commit());
        QCOMPARE(readAll(dir.filePath("sheet.csv")), QByteArray("A,,,D,\n"
                                                                ",,,,E\n"
                                                                ",1.500000,,,\n"));
    }

    // ---- The least-squares cubic of the thrust sheet ----

    void cubicFitRecoversACubicAtHighVelocities()
    {
        // Drag-like data over 40..320 m/s, where x^3 reaches 3e7 and plain
        // normal equations lose most of their digits.
        std::vector<double> x, y;
        for (int i = 0; i <= 280; ++i) {
            const double v = 40.0 + i;
            x.push_back(v);
            y.push_back(-9.81 - 2.0e-4 * v * v + 3.0e-7 * v * v * v + 0.01 * v);
        }
        QString error;
        const std::optional<CubicFit> fit = CubicFit::fit(x, y, &error);
        QVERIFY(fit);
        QVERIFY(error.isEmpty());
        for (std::size_t i = 0; i < x.size(); ++i)
            QVERIFY(std::fabs((*fit)(x[i]) - y[i]) < 1e-9);
    }

    void cubicFitMinimisesTheSquaredResiduals()
    {
        // Noisy samples: the residuals of a least-squares fit are orthogonal
        // to every column of the design matrix (1, x, x^2, x^3).
        std::vector<double> x, y;
        for (int i = 0; i < 200; ++i) {
            const double v = 20.0 + 1.3 * i;
            x.push_back(v);
            y.push_back(-0.001 * v * v + std::sin(i * 1.7) * 3.0);
        }
        QString error;
        const std::optional<CubicFit> fit = CubicFit::fit(x, y, &error);
        QVERIFY(fit);
        for (int power = 0; power < 4; ++power) {
            double dot = 0.0, scale = 0.0;
            for (std::size_t i = 0; i < x.size(); ++i) {
                const double column = std::pow((x[i] - 150.0) / 130.0, power);
                dot += ((*fit)(x[i]) - y[i]) * column;
                scale += std::fabs(y[i] * column);
            }
            QVERIFY2(std::fabs(dot) < 1e-9 * scale, qPrintable(QString::number(power)));
        }
    }

    void cubicFitNeedsFourSamples()
    {
        QString error;
        QVERIFY(!CubicFit::fit({}, {}, &error));
        QCOMPARE(error, QString("invalid matrix size"));
        error.clear();
        QVERIFY(!CubicFit::fit({1, 2, 3}, {1, 2, 3}, &error));
        QCOMPARE(error, QString("invalid matrix size"));
        QVERIFY(!CubicFit::fit({5, 5, 5, 5, 5}, {1, 2, 3, 4, 5}, &error));
        QCOMPARE(error, QString("singular matrix"));
        QVERIFY(!CubicFit::fit({1, 2, 1, 2, 1}, {1, 2, 3, 4, 5}, &error));
        QVERIFY(CubicFit::fit({1, 2, 3, 4}, {1, 8, 27, 64}, &error));
    }
};

QTEST_APPLESS_MAIN(TestExports)
#include "test_exports.moc"
