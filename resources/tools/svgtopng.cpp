// Renders an SVG drawing to a PNG of a given pixel size.  The build uses it
// to turn the board drawings into the texture images the orientation view
// samples, so only the drawings' text is kept under version control.
//
//   okukipo_svgtopng INPUT.svg OUTPUT.png WIDTH HEIGHT

#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QSvgRenderer>
#include <cstdio>

int main(int argc, char *argv[])
{
    // Rendering needs fonts but no display.
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication application(argc, argv);
    const QStringList arguments = application.arguments();
    if (arguments.size() != 5) {
        std::fprintf(stderr, "usage: okukipo_svgtopng INPUT.svg OUTPUT.png WIDTH HEIGHT\n");
        return 2;
    }
    bool widthOk = false;
    bool heightOk = false;
    const int width = arguments.at(3).toInt(&widthOk);
    const int height = arguments.at(4).toInt(&heightOk);
    if (!widthOk || !heightOk || width <= 0 || height <= 0) {
        std::fprintf(stderr, "okukipo_svgtopng: the size must be two positive whole numbers\n");
        return 2;
    }
    QSvgRenderer renderer(arguments.at(1));
    if (!renderer.isValid()) {
        std::fprintf(stderr, "okukipo_svgtopng: cannot read %s\n", qPrintable(arguments.at(1)));
        return 1;
    }
    QImage image(width, height, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    renderer.render(&painter);
    painter.end();
    if (!image.save(arguments.at(2), "PNG")) {
        std::fprintf(stderr, "okukipo_svgtopng: cannot write %s\n", qPrintable(arguments.at(2)));
        return 1;
    }
    return 0;
}
