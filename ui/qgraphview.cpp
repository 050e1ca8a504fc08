#include "ui/qgraphview.h"

#include "ui/curvethinning.h"
#include "ui/graphaxis.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QPointer>
#include <QWheelEvent>

#include <algorithm>
#include <cmath>

namespace {

const QGLFormat &viewFormat()
{
    static const QGLFormat format = [] {
        QGLFormat withoutDepth;
        withoutDepth.setDepth(false);
        return withoutDepth;
    }();
    return format;
}

// Later views share the first one's OpenGL context; when it is gone the next
// view created takes its place.
QPointer<QGraphView> &shareView()
{
    static QPointer<QGraphView> view;
    return view;
}

constexpr double tickLength = 3;
constexpr double labelGap = 6;
constexpr double curveLabelSpacing = 100;
constexpr double curveLabelLift = 10;
constexpr double markerStep = 20;
constexpr double timelineBand = 10;
constexpr double originHandleSize = 20;
constexpr double overviewSize = 100;
constexpr double wheelNotch = 120;

// Draws text the right way up at a point of a painter whose y axis points up.
// `box` is placed relative to the point in ordinary (y down) pixels.
void drawUprightText(QPainter &painter, const QPointF &at, const QRectF &box, int alignment, const QString &text)
{
    painter.save();
    painter.translate(at);
    painter.scale(1, -1);
    painter.drawText(box, alignment, text);
    painter.restore();
}

// Text on an opaque background whose baseline starts at the point.
void drawBoxedText(QPainter &painter, const QPointF &at, const QColor &background, const QString &text)
{
    painter.save();
    painter.translate(at);
    painter.scale(1, -1);
    painter.setPen(Qt::black);
    painter.setBackgroundMode(Qt::OpaqueMode);
    painter.setBackground(background);
    painter.drawText(QPointF(0, 0), text);
    painter.restore();
}

// The factor nearest to the wanted one that keeps the zoom within 1 and the maximum.
double withinZoomLimits(double factor, double zoom, double maximum)
{
    if (zoom * factor < 1)
        factor = 1 / zoom;
    if (zoom * factor > maximum)
        factor = maximum / zoom;
    return factor;
}

// The visible device columns of the painter, from its clip and the paint device.
PixelColumns visibleColumns(const QPainter &painter, double scaleX, double margin)
{
    QRectF visible(0, 0, painter.device()->width(), painter.device()->height());
    if (painter.hasClipping())
        visible &= painter.deviceTransform().mapRect(painter.clipBoundingRect());
    const QTransform device = painter.deviceTransform();
    return PixelColumns{device.m11() * scaleX, device.dx(), std::floor(visible.left() - margin),
                        std::ceil(visible.right() + margin)};
}

} // namespace

QGraphView::QGraphView(QList<Axis *> *axes, QWidget *parent)
    : QGLWidget(viewFormat(), parent, shareView()), m_axes(axes)
{
    if (!shareView())
        shareView() = this;
    setMouseTracking(true);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
    setFocusPolicy(Qt::StrongFocus);
    setCursor(Qt::OpenHandCursor);
}

void QGraphView::setTimelines(std::shared_ptr<Timelines> timelines)
{
    m_selectedTimeline.reset();
    // Every gesture reaches for the vector, so there always is one.
    m_timelines = timelines ? std::move(timelines) : std::make_shared<Timelines>();
}

void QGraphView::setOffset(const QPointF &offset)
{
    m_offsetX = offset.x();
    m_offsetY = offset.y();
    clampOffsets();
    clampOrigin();
    update();
}

void QGraphView::setOriginFraction(const QPointF &fraction)
{
    m_originFractionX = float(fraction.x());
    m_originFractionY = float(fraction.y());
    clampOffsets();
    clampOrigin();
    update();
}

void QGraphView::setTracking(bool tracking)
{
    m_tracking = tracking;
    setHandCursor(false);
    update();
}

void QGraphView::showOverview(bool overview)
{
    m_showOverview = overview;
    update();
}

void QGraphView::setTracker(GraphSeries *tracker)
{
    m_tracker = tracker;
}

void QGraphView::removeTracker()
{
    m_tracker = nullptr;
}

void QGraphView::zoomX(float zoom)
{
    zoomAbout(withinZoomLimits(zoom, m_zoomX, m_maximumZoomX), 1, QPointF(width() / 2, height() / 2));
}

void QGraphView::zoomY(float zoom)
{
    zoomAbout(1, withinZoomLimits(zoom, m_zoomY, m_maximumZoomY), QPointF(width() / 2, height() / 2));
}

void QGraphView::fit()
{
    m_zoomX = m_zoomY = 1.0;
    m_offsetX = m_offsetY = 0;
    clampOffsets();
    clampOrigin();
    update();
}

void QGraphView::optimizeAxis()
{
    if (!m_axes->isEmpty()) {
        const QPointF least = m_axes->first()->minimum();
        const QPointF most = m_axes->first()->maximum();
        // An axis without extent in a direction leaves the origin where it is.
        if (least.x() != most.x())
            m_originFractionX = float(least.x() / (least.x() - most.x()));
        if (least.y() != most.y())
            m_originFractionY = float(most.y() / (most.y() - least.y()));
    }
    clampOffsets();
    clampOrigin();
    update();
}

void QGraphView::placeAxes()
{
    const QRectF area = QRect(int(m_offsetX), int(m_offsetY), int(zoomedWidth()), int(zoomedHeight()));
    for (Axis *axis : *m_axes) {
        axis->rectangle = area;
        axis->originX = float(m_originFractionX * zoomedWidth());
        axis->originY = float(m_originFractionY * zoomedHeight());
    }
}

void QGraphView::clampOffsets()
{
    m_offsetX = std::min(std::max(m_offsetX, width() - zoomedWidth()), 0.0);
    m_offsetY = std::min(std::max(m_offsetY, height() - zoomedHeight()), 0.0);
}

void QGraphView::clampOrigin()
{
    if (!isVisible() || width() <= 0 || height() <= 0)
        return;
    const float reserved = m_axes->size() * m_axisStrip;
    const float w = width();
    const float h = height();
    m_originFractionX = std::max(m_originFractionX, (m_axisStrip + reserved) / w);
    m_originFractionY = std::max(m_originFractionY, reserved / h);
    m_originFractionX = std::min(m_originFractionX, (w - reserved) / w);
    m_originFractionY = std::min(m_originFractionY, (h - reserved) / h);
}

void QGraphView::followTracker()
{
    if (!m_tracker || m_tracker->points().isEmpty())
        return;
    placeAxes();
    for (const Axis *axis : *m_axes) {
        if (!axis->series.contains(m_tracker))
            continue;
        const QPointF newest = m_tracker->points().constLast();
        const QPointF scale = axis->scale();
        m_offsetY = scale.y() * newest.y() - axis->originY + height() / 2;
        m_offsetX = width() / 2 - (axis->originX + scale.x() * newest.x());
        clampOffsets();
    }
}

void QGraphView::zoomAbout(double factorX, double factorY, const QPointF &anchor)
{
    m_zoomX *= factorX;
    m_zoomY *= factorY;
    m_offsetX = (m_offsetX - anchor.x()) * factorX + anchor.x();
    m_offsetY = (m_offsetY - anchor.y()) * factorY + anchor.y();
    clampOffsets();
    clampOrigin();
    update();
}

double QGraphView::timeAt(const QPoint &position)
{
    placeAxes();
    return m_axes->first()->pixelToData(QPointF(position.x() - m_offsetX, 0)).x();
}

std::shared_ptr<float> QGraphView::timelineAt(const QPoint &position)
{
    if (m_axes->isEmpty())
        return nullptr;
    placeAxes();
    const Axis *axis = m_axes->first();
    std::shared_ptr<float> found;
    for (const std::shared_ptr<float> &timeline : *m_timelines) {
        const double x = axis->dataToPixel(QPointF(*timeline, 0)).x() + m_offsetX;
        if (std::fabs(position.x() - x) <= timelineBand)
            found = timeline;
    }
    return found;
}

QRectF QGraphView::originHandle() const
{
    const QPointF centre(m_originFractionX * zoomedWidth() + m_offsetX, m_originFractionY * zoomedHeight() + m_offsetY);
    return QRectF(centre.x() - originHandleSize / 2, centre.y() - originHandleSize / 2, originHandleSize,
                  originHandleSize);
}

void QGraphView::setHandCursor(bool closed)
{
    if (m_tracking)
        setCursor(Qt::ArrowCursor);
    else
        setCursor(closed ? Qt::ClosedHandCursor : Qt::OpenHandCursor);
}

void QGraphView::wheelEvent(QWheelEvent *event)
{
    const QPoint angle = event->angleDelta();
    const int delta = angle.y() != 0 ? angle.y() : angle.x();
    const double wanted = std::clamp(std::pow(0.8, -delta / wheelNotch), 0.1, 10.0);
    // Each direction stops at its own limits: one factor for both would stay
    // 1 for good once one direction sat at its maximum and the other at 1.
    zoomAbout(withinZoomLimits(wanted, m_zoomX, m_maximumZoomX), withinZoomLimits(wanted, m_zoomY, m_maximumZoomY),
              event->position());
    event->accept();
}

void QGraphView::mousePressEvent(QMouseEvent *event)
{
    startGesture(event->pos(), true);
}

void QGraphView::mouseDoubleClickEvent(QMouseEvent *event)
{
    // The first press of the pair has placed its timeline already.
    startGesture(event->pos(), false);
}

void QGraphView::startGesture(const QPoint &position, bool mayPlaceTimeline)
{
    m_draggingOrigin = false;
    if (m_originHandleMode && originHandle().contains(position)) {
        m_draggingOrigin = true;
        setCursor(Qt::SizeAllCursor);
    } else {
        m_lastMousePosition = position;
        setHandCursor(false);
        m_panning = true;
    }
    setMouseTracking(false);

    // Grabbing the origin handle moves the origin only; any other press in
    // origin-handle mode places a timeline.
    if (!m_axes->isEmpty() && !m_draggingOrigin) {
        if (m_originHandleMode) {
            if (mayPlaceTimeline)
                m_timelines->push_back(std::make_shared<float>(float(timeAt(position))));
        } else {
            m_selectedTimeline = timelineAt(position);
            m_draggingTimeline = true;
        }
    }
    update();
}

void QGraphView::mouseMoveEvent(QMouseEvent *event)
{
    const QPoint position = event->pos();
    if (m_draggingOrigin) {
        m_originFractionX = float((position.x() - m_offsetX) / zoomedWidth());
        m_originFractionY = float((position.y() - m_offsetY) / zoomedHeight());
        clampOffsets();
        clampOrigin();
        update();
        setCursor(Qt::SizeAllCursor);
    } else if (m_draggingTimeline && m_selectedTimeline) {
        setHandCursor(true);
        *m_selectedTimeline = float(timeAt(position));
        update();
    } else if (m_panning) {
        setHandCursor(true);
        m_offsetX += position.x() - m_lastMousePosition.x();
        m_offsetY += position.y() - m_lastMousePosition.y();
        clampOffsets();
        clampOrigin();
        m_lastMousePosition = position;
        update();
    } else if (timelineAt(position) || (m_originHandleMode && originHandle().contains(position))) {
        setCursor(Qt::SizeAllCursor);
    } else {
        setHandCursor(false);
    }
}

void QGraphView::mouseReleaseEvent(QMouseEvent *event)
{
    m_draggingOrigin = m_panning = m_draggingTimeline = false;
    emit timelinesUpdated();
    setHandCursor(false);
    setMouseTracking(true);
    update();
}

void QGraphView::keyPressEvent(QKeyEvent *event)
{
    if (event->key() == Qt::Key_Space) {
        m_originHandleMode = !m_originHandleMode;
        update();
    } else if (event->key() == Qt::Key_Delete) {
        if (m_selectedTimeline) {
            m_timelines->erase(std::remove(m_timelines->begin(), m_timelines->end(), m_selectedTimeline),
                               m_timelines->end());
            // Deleted means gone: a second Delete must not find it again.
            m_selectedTimeline.reset();
            emit timelinesUpdated();
            update();
        }
    } else {
        QGLWidget::keyPressEvent(event);
    }
}

void QGraphView::resizeEvent(QResizeEvent *event)
{
    QGLWidget::resizeEvent(event);
    clampOffsets();
    clampOrigin();
}

void QGraphView::showEvent(QShowEvent *event)
{
    QGLWidget::showEvent(event);
    clampOffsets();
    clampOrigin();
}

void QGraphView::paintEvent(QPaintEvent *)
{
    if (m_tracking) {
        followTracker();
        clampOffsets();
        clampOrigin();
    }
    // Text and antialiased polylines cost several times more through a
    // software OpenGL stack than through the raster engine, so the frame is
    // drawn into an image and handed to the GL surface in one piece.
    const QSize pixels = size() * devicePixelRatioF();
    if (m_frame.size() != pixels) {
        m_frame = QImage(pixels, QImage::Format_ARGB32_Premultiplied);
        m_frame.setDevicePixelRatio(devicePixelRatioF());
    }
    QPainter painter(&m_frame);
    drawFrame(painter);
    painter.end();
    QPainter surface(this);
    surface.drawImage(0, 0, m_frame);
}

void QGraphView::drawFrame(QPainter &painter)
{
    painter.fillRect(rect(), Qt::white);
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    placeAxes();

    // The first value scale stays at the left edge when panning sideways.
    painter.save();
    painter.translate(0, m_offsetY);
    if (!m_axes->isEmpty())
        drawAxis(painter, *m_axes->first(), Direction::Vertical, Mode::Normal, true, m_axisStrip);
    painter.restore();

    painter.setClipRect(QRectF(m_axisStrip, 0, zoomedWidth(), zoomedHeight()), Qt::ReplaceClip);
    painter.translate(m_offsetX, m_offsetY);
    drawAxes(painter, Mode::Normal);
    if (!m_axes->isEmpty()) {
        const QPen selectedPen(Qt::green, 2.0, Qt::SolidLine, Qt::SquareCap, Qt::BevelJoin);
        for (const std::shared_ptr<float> &timeline : *m_timelines)
            drawTimeline(painter, *m_axes->first(), *timeline, timeline == m_selectedTimeline ? selectedPen : QPen(Qt::green));
    }
    if (m_originHandleMode)
        drawOriginHandle(painter);
    painter.restore();

    painter.setRenderHint(QPainter::Antialiasing);
    if (m_showOverview)
        drawOverview(painter);
}

void QGraphView::drawAxes(QPainter &painter, Mode mode)
{
    if (m_axes->isEmpty())
        return;
    drawAxis(painter, *m_axes->first(), Direction::Horizontal, mode, false, 0);
    // Each further value scale stands one strip further left of the origin.
    for (int i = 0; i < m_axes->size(); ++i)
        drawAxis(painter, *m_axes->at(i), Direction::Vertical, mode, false, -i * m_axisStrip);
}

void QGraphView::drawAxis(QPainter &painter, const Axis &axis, Direction direction, Mode mode, bool pinned,
                          double shift)
{
    if (axis.series.isEmpty())
        return;
    painter.save();
    painter.translate(pinned ? shift : axis.originX + shift, axis.originY);
    painter.scale(1, -1);

    const QPointF low = axis.lowEdge();
    const QPointF high = axis.highEdge();
    painter.setPen(axis.axisPen);
    if (direction == Direction::Horizontal)
        painter.drawLine(QPointF(low.x(), 0), QPointF(high.x(), 0));
    else
        painter.drawLine(QPointF(0, low.y()), QPointF(0, high.y()));
    if (mode == Mode::Normal)
        drawTicks(painter, axis, direction, pinned);

    painter.translate(-shift, 0);
    if (direction == Direction::Vertical && !pinned) {
        drawCurves(painter, axis, mode);
        if (mode == Mode::Normal)
            drawMarkers(painter, axis);
    }
    painter.restore();
}

void QGraphView::drawTicks(QPainter &painter, const Axis &axis, Direction direction, bool pinned)
{
    const bool horizontal = direction == Direction::Horizontal;
    const double step = horizontal ? axis.tickStepX() : axis.tickStepY();
    const double pixelStep = step * (horizontal ? axis.scale().x() : axis.scale().y());
    if (!(pixelStep > 0) || !std::isfinite(pixelStep))
        return;
    // The visible device area in the painter's local coordinates.
    const QRectF visible = painter.deviceTransform().inverted().mapRect(
        QRectF(0, 0, painter.device()->width(), painter.device()->height()));
    const double from = horizontal ? visible.left() : visible.top();
    const double to = horizontal ? visible.right() : visible.bottom();
    const int first = int(std::ceil(from / pixelStep));
    const int last = int(std::floor(to / pixelStep));
    const QString &unit = horizontal ? axis.xUnit : axis.yUnit;
    const double textHeight = painter.fontMetrics().height();
    // Wide enough for any label; the text is aligned inside it.
    const double textRoom = 1000;

    for (int k = first; k <= last; ++k) {
        if (k == 0 && !pinned)
            continue;
        const double at = k * pixelStep;
        painter.setPen(axis.tickPen);
        if (horizontal)
            painter.drawLine(QPointF(at, 0), QPointF(at, -tickLength));
        else
            painter.drawLine(QPointF(-tickLength, at), QPointF(0, at));
        painter.setPen(axis.labelPen);
        const QString text = valueLabel(k * step, unit);
        if (horizontal)
            drawUprightText(painter, QPointF(at, 0), QRectF(-textRoom / 2, labelGap, textRoom, textHeight),
                            Qt::AlignHCenter | Qt::AlignVCenter, text);
        else
            drawUprightText(painter, QPointF(0, at), QRectF(-labelGap - textRoom, -textHeight / 2, textRoom, textHeight),
                            Qt::AlignRight | Qt::AlignVCenter, text);
    }
}

void QGraphView::drawCurves(QPainter &painter, const Axis &axis, Mode mode)
{
    const QPointF scale = axis.scale();
    for (const GraphSeries *curve : axis.series) {
        QPen pen = curve->pen;
        if (mode == Mode::Overview)
            pen.setWidthF(0);
        painter.setPen(pen);
        // A wide pen reaches into view from just outside it.
        const double reach = pen.isCosmetic() || pen.widthF() == 0 ? 1 : pen.widthF() * painter.deviceTransform().m11();
        thinToPixelColumns(curve->points(), curve->isSortedByX(), visibleColumns(painter, scale.x(), reach + 1),
                           m_polyline);
        // The line stops at each gap marker and starts again after it.
        int segmentStart = 0;
        for (int i = 0; i <= m_polyline.size(); ++i) {
            if (i < m_polyline.size() && std::isfinite(m_polyline[i].y())) {
                m_polyline[i] = QPointF(m_polyline[i].x() * scale.x(), m_polyline[i].y() * scale.y());
                continue;
            }
            painter.drawPolyline(m_polyline.constData() + segmentStart, i - segmentStart);
            segmentStart = i + 1;
        }
        if (mode == Mode::Normal && curve->showLabels)
            drawPointLabels(painter, *curve, scale, axis.yUnit);
    }
}

void QGraphView::drawPointLabels(QPainter &painter, const GraphSeries &curve, const QPointF &scale,
                                 const QString &unit)
{
    // Labels of points out of view are skipped, but the choice of labelled
    // points still starts from the first one so they do not jump while panning.
    const PixelColumns visible = visibleColumns(painter, scale.x(), 2 * curveLabelSpacing);
    const QVector<int> labelled = labelledPointIndices(curve.points(), curve.isSortedByX(), scale.x(), curveLabelSpacing);
    painter.save();
    for (int index : labelled) {
        const QPointF &point = curve.points().at(index);
        const double column = std::floor(point.x() * visible.scale + visible.offset);
        if (column < visible.first || column > visible.last)
            continue;
        const QPointF at(point.x() * scale.x(), point.y() * scale.y());
        drawBoxedText(painter, at + QPointF(0, curveLabelLift), Qt::white, valueLabel(point.y(), unit));
        if (curve.showMarkers) {
            painter.setPen(curve.markerPen);
            painter.setBrush(curve.markerBrush);
            painter.drawEllipse(at, curve.markerRadius, curve.markerRadius);
        }
    }
    painter.restore();
}

void QGraphView::drawMarkers(QPainter &painter, const Axis &axis)
{
    const QPointF scale = axis.scale();
    const QColor background(0, 196, 0, 196);
    double previousHeight = -100000;
    for (const AxisMarker &marker : axis.markers) {
        double height = marker.position.y() * scale.y();
        // Markers at about the same height would hide each other.
        if (std::fabs(height - previousHeight) < markerStep)
            height += markerStep;
        previousHeight = height;
        drawBoxedText(painter, QPointF(marker.position.x() * scale.x(), height), background, marker.text);
    }
}

void QGraphView::drawTimeline(QPainter &painter, const Axis &axis, float time, const QPen &pen)
{
    const double x = time * axis.scale().x();
    painter.save();
    painter.translate(axis.originX, axis.originY);
    painter.scale(1, -1);
    painter.setPen(pen);
    painter.drawLine(QPointF(x, axis.lowEdge().y()), QPointF(x, axis.highEdge().y()));
    painter.restore();

    painter.save();
    QFont font = painter.font();
    font.setPointSize(18);
    painter.setFont(font);
    painter.setPen(Qt::black);
    painter.setBackgroundMode(Qt::OpaqueMode);
    painter.setBackground(QColor(128, 128, 255, 128));
    painter.drawText(QPointF(axis.originX + x, height() / 2.0 - m_offsetY),
                     QString::number(time, 'f', 2) + axis.xUnit);
    painter.restore();
}

void QGraphView::drawOriginHandle(QPainter &painter)
{
    const QRectF handle = originHandle().translated(-m_offsetX, -m_offsetY);
    painter.save();
    painter.setPen(QPen(Qt::darkGray, 1));
    painter.setBrush(QColor(255, 128, 0, 128));
    painter.drawRect(handle);
    painter.restore();
}

void QGraphView::drawOverview(QPainter &painter)
{
    const QRectF box(width() - overviewSize, 0, overviewSize, overviewSize);
    painter.save();
    painter.setClipRect(box);
    painter.fillRect(box, QColor::fromRgbF(1, 1, 1, 0.8));
    painter.translate(box.topLeft());
    painter.scale(overviewSize / zoomedWidth(), overviewSize / zoomedHeight());
    drawAxes(painter, Mode::Overview);

    QPen windowPen(Qt::blue, 0, Qt::DotLine);
    windowPen.setCosmetic(true);
    painter.setPen(windowPen);
    painter.setBrush(QColor::fromRgbF(1.0, 0.5, 0.0, 0.5));
    painter.drawRect(QRect(int(-m_offsetX), int(-m_offsetY), width() + 1, height() + 1));
    painter.restore();
}
