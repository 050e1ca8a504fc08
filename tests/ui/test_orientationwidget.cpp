#include "model/trace.h"
#include "ui/orientationwidget.h"

#include <QImage>
#include <QtTest>

class TestOrientationWidget : public QObject
{
    Q_OBJECT

    // Pixels other than the clear colour (0.1, 0.1, 0.2) in 8-bit channels,
    // with a step of slack for the driver's rounding.
    static int boardPixels(const QImage &frame)
    {
        int count = 0;
        for (int y = 0; y < frame.height(); ++y)
            for (int x = 0; x < frame.width(); ++x) {
                const QRgb pixel = frame.pixel(x, y);
                count += qAbs(qRed(pixel) - 26) <= 1 && qAbs(qGreen(pixel) - 26) <= 1 && qAbs(qBlue(pixel) - 51) <= 1 ? 0 : 1;
            }
        return count;
    }

private slots:
    void boardIsDrawnTurnedAndScaled()
    {
        okukipo::setTraceHandler([](const QString &) {});
        OrientationWidget widget;
        widget.resize(400, 300);
        widget.show();
        QVERIFY(QTest::qWaitForWindowExposed(&widget));
        const QImage upright = widget.grabFramebuffer();
        // Face on, the board covers a good part of the view but not all of it.
        const int area = upright.width() * upright.height(), covered = boardPixels(upright);
        QVERIFY2(covered > area / 20 && covered < area / 2, qPrintable(QString::number(covered)));
        widget.setOrientation(QQuaternion::fromAxisAndAngle(0, 0, 1, 60));
        const QImage turned = widget.grabFramebuffer();
        QVERIFY(turned != upright);
        widget.setOrientation(QQuaternion());
        QCOMPARE(widget.grabFramebuffer(), upright);
        // The slider's 0 to 100 scale the board from half to one and a half.
        widget.setScaling(0);
        QCOMPARE(widget.scaling(), 0.5);
        const int small = boardPixels(widget.grabFramebuffer());
        widget.setScaling(75);
        QVERIFY(qAbs(widget.scaling() - 1.25) < 1e-12);
        QVERIFY(boardPixels(widget.grabFramebuffer()) > small * 2);
        // It repaints on its own timer.
        QSignalSpy frames(&widget, &QOpenGLWidget::frameSwapped);
        QTRY_VERIFY_WITH_TIMEOUT(frames.count() >= 3, 5000);
    }
};

QTEST_MAIN(TestOrientationWidget)
#include "test_orientationwidget.moc"
