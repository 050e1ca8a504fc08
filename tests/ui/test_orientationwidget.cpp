#include "model/trace.h"
#include "ui/orientationwidget.h"

#include <QImage>
#include <QSignalSpy>
#include <QtTest>

class TestOrientationWidget : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void scalingMapsTheSliderRangeAroundOne_data();
    void scalingMapsTheSliderRangeAroundOne();
    void startsUprightAndAtLeastItsMinimumSize();
    void boardTexturesHaveTheirDrawnSizes_data();
    void boardTexturesHaveTheirDrawnSizes();
    void shadersBuildAndAreReported();
    void boardIsDrawnOnTheBackground();
    void turningTheBoardChangesThePicture();
    void scalingGrowsTheBoard();
    void repaintsOnItsOwnTimer();

private:
    QImage renderFrame();
    static int boardPixelCount(const QImage &frame);
    static bool isBackground(QRgb pixel);

    std::unique_ptr<OrientationWidget> m_widget;
    QStringList m_trace;
};

void TestOrientationWidget::init()
{
    m_trace.clear();
    okukipo::setTraceHandler([this](const QString &line) { m_trace << line; });
    m_widget = std::make_unique<OrientationWidget>();
    m_widget->resize(400, 300);
}

void TestOrientationWidget::cleanup()
{
    m_widget.reset();
    okukipo::setTraceHandler({});
}

QImage TestOrientationWidget::renderFrame()
{
    if (!m_widget->isVisible()) {
        m_widget->show();
        if (!QTest::qWaitForWindowExposed(m_widget.get()))
            return {};
    }
    return m_widget->grabFramebuffer();
}

// The clear colour (0.1, 0.1, 0.2) in 8-bit channels, with a step of slack
// for the driver's rounding.
bool TestOrientationWidget::isBackground(QRgb pixel)
{
    return qAbs(qRed(pixel) - 26) <= 1 && qAbs(qGreen(pixel) - 26) <= 1 && qAbs(qBlue(pixel) - 51) <= 1;
}

int TestOrientationWidget::boardPixelCount(const QImage &frame)
{
    int count = 0;
    for (int y = 0; y < frame.height(); ++y)
        for (int x = 0; x < frame.width(); ++x)
            count += isBackground(frame.pixel(x, y)) ? 0 : 1;
    return count;
}

void TestOrientationWidget::scalingMapsTheSliderRangeAroundOne_data()
{
    QTest::addColumn<int>("scale");
    QTest::addColumn<double>("scaling");
    QTest::newRow("smallest") << 0 << 0.5;
    QTest::newRow("below the middle") << 40 << 0.9;
    QTest::newRow("middle") << 50 << 1.0;
    QTest::newRow("above the middle") << 75 << 1.25;
    QTest::newRow("largest") << 100 << 1.5;
}

void TestOrientationWidget::scalingMapsTheSliderRangeAroundOne()
{
    QFETCH(int, scale);
    QFETCH(double, scaling);
    m_widget->setScaling(scale);
    if (scale == 50)
        QCOMPARE(m_widget->scaling(), 1.0);
    else
        QVERIFY(qAbs(m_widget->scaling() - scaling) < 1e-12);
}

void TestOrientationWidget::startsUprightAndAtLeastItsMinimumSize()
{
    QCOMPARE(m_widget->orientation(), QQuaternion());
    QCOMPARE(m_widget->orientation().scalar(), 1.0f);
    QCOMPARE(m_widget->scaling(), 1.0);
    QCOMPARE(m_widget->minimumSize(), QSize(300, 250));

    const QQuaternion turned = QQuaternion::fromAxisAndAngle(0, 0, 1, 30);
    m_widget->setOrientation(turned);
    QCOMPARE(m_widget->orientation(), turned);
}

void TestOrientationWidget::boardTexturesHaveTheirDrawnSizes_data()
{
    QTest::addColumn<QString>("resource");
    QTest::addColumn<QSize>("size");
    QTest::newRow("front") << ":/OKUStudio/KIPO_front.png" << QSize(534, 2028);
    QTest::newRow("back") << ":/OKUStudio/KIPO_back.png" << QSize(606, 2086);
    QTest::newRow("sides") << ":/OKUStudio/KIPO_sides.png" << QSize(625, 2100);
}

void TestOrientationWidget::boardTexturesHaveTheirDrawnSizes()
{
    QFETCH(QString, resource);
    QFETCH(QSize, size);
    const QImage image(resource);
    QCOMPARE(image.size(), size);
    // A drawing that failed to render would leave the image transparent.
    QCOMPARE(qAlpha(image.pixel(size.width() / 2, size.height() / 2)), 255);
}

void TestOrientationWidget::shadersBuildAndAreReported()
{
    QVERIFY(QFile::exists(":/OKUStudio/shaders/kipo_vshader.glsl"));
    QVERIFY(QFile::exists(":/OKUStudio/shaders/kipo_fshader.glsl"));
    QVERIFY(!renderFrame().isNull());
    QVERIFY(m_trace.contains("vertex"));
    QVERIFY(m_trace.contains("frag"));
    QVERIFY(m_trace.contains("Link result: true"));
    QVERIFY(m_trace.indexOf("vertex") < m_trace.indexOf("frag"));
}

void TestOrientationWidget::boardIsDrawnOnTheBackground()
{
    const QImage frame = renderFrame();
    QVERIFY(!frame.isNull());
    QVERIFY(isBackground(frame.pixel(2, 2)));
    QVERIFY(isBackground(frame.pixel(frame.width() - 3, frame.height() - 3)));
    QVERIFY(!isBackground(frame.pixel(frame.width() / 2, frame.height() / 2)));
    // Face on, the board covers a good part of the view but not all of it.
    const int covered = boardPixelCount(frame);
    QVERIFY2(covered > frame.width() * frame.height() / 20, qPrintable(QString::number(covered)));
    QVERIFY2(covered < frame.width() * frame.height() / 2, qPrintable(QString::number(covered)));
}

void TestOrientationWidget::turningTheBoardChangesThePicture()
{
    const QImage upright = renderFrame();
    m_widget->setOrientation(QQuaternion::fromAxisAndAngle(0, 0, 1, 60));
    const QImage turned = renderFrame();
    QVERIFY(!upright.isNull() && !turned.isNull());
    QVERIFY(upright != turned);
    int changed = 0;
    for (int y = 0; y < upright.height(); ++y)
        for (int x = 0; x < upright.width(); ++x)
            changed += upright.pixel(x, y) != turned.pixel(x, y) ? 1 : 0;
    QVERIFY2(changed > upright.width() * upright.height() / 20, qPrintable(QString::number(changed)));

    m_widget->setOrientation(QQuaternion());
    QCOMPARE(renderFrame(), upright);
}

void TestOrientationWidget::scalingGrowsTheBoard()
{
    m_widget->setScaling(0);
    const int small = boardPixelCount(renderFrame());
    m_widget->setScaling(100);
    const int large = boardPixelCount(renderFrame());
    QVERIFY2(large > small * 2, qPrintable(QStringLiteral("%1 %2").arg(small).arg(large)));
}

void TestOrientationWidget::repaintsOnItsOwnTimer()
{
    QVERIFY(!renderFrame().isNull());
    QSignalSpy frames(m_widget.get(), &QOpenGLWidget::frameSwapped);
    QTRY_VERIFY_WITH_TIMEOUT(frames.count() >= 3, 5000);
}

QTEST_MAIN(TestOrientationWidget)
#include "test_orientationwidget.moc"
