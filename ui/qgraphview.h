#pragma once

#include <QGLWidget>
#include <QImage>
#include <QList>
#include <QPoint>
#include <QPointF>
#include <QVector>

#include <memory>
#include <vector>

class Axis;
class GraphSeries;
class QPainter;

// Time positions of the vertical markers the user places; views share one
// vector so that every chart of a flight shows the same markers.
using Timelines = std::vector<std::shared_ptr<float>>;

// The drawing surface of a plot.  It keeps the view state (zoom, pan, where
// the data origin sits, the overview box, timelines) and handles the mouse,
// wheel and keys; the data lives in the axes it is given.
class QGraphView : public QGLWidget
{
    Q_OBJECT

public:
    // `axes` belongs to the owning graph and must outlive the view.
    explicit QGraphView(QList<Axis *> *axes, QWidget *parent = nullptr);

    std::shared_ptr<Timelines> timelines() const { return m_timelines; }
    // Uses the given vector from now on (shared, not copied).
    void setTimelines(std::shared_ptr<Timelines> timelines);
    std::shared_ptr<float> selectedTimeline() const { return m_selectedTimeline; }

    double horizontalZoom() const { return m_zoomX; }
    double verticalZoom() const { return m_zoomY; }
    double maximumZoomX() const { return m_maximumZoomX; }
    double maximumZoomY() const { return m_maximumZoomY; }
    // Pan offset in pixels; never positive.
    QPointF offset() const { return QPointF(m_offsetX, m_offsetY); }
    void setOffset(const QPointF &offset);
    // Where the data origin sits, as fractions of the zoomed size.
    QPointF originFraction() const { return QPointF(m_originFractionX, m_originFractionY); }
    void setOriginFraction(const QPointF &fraction);
    bool isOriginHandleMode() const { return m_originHandleMode; }
    bool isTracking() const { return m_tracking; }
    bool isShowingOverview() const { return m_showOverview; }
    // Pixels reserved per value axis for its labels.
    float axisStrip() const { return m_axisStrip; }

signals:
    void timelinesUpdated();

public slots:
    void setTracking(bool tracking = true);
    void showOverview(bool overview = true);
    void setTracker(GraphSeries *tracker);
    void removeTracker();
    void zoomX(float zoom = 1.0);
    void zoomY(float zoom = 1.0);
    void fit();
    void optimizeAxis();

protected:
    void paintEvent(QPaintEvent *event) override;
    void wheelEvent(QWheelEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseDoubleClickEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void showEvent(QShowEvent *event) override;

private:
    enum class Direction { Horizontal, Vertical };
    enum class Mode { Normal, Overview };

    double zoomedWidth() const { return width() * m_zoomX; }
    double zoomedHeight() const { return height() * m_zoomY; }
    void placeAxes();
    void clampOffsets();
    void clampOrigin();
    void followTracker();
    // Multiplies the zooms, keeping the widget pixel `anchor` over the same content.
    void zoomAbout(double factorX, double factorY, const QPointF &anchor);
    // A press: grab the origin handle, or pan and place or pick a timeline.
    void startGesture(const QPoint &position, bool mayPlaceTimeline);
    double timeAt(const QPoint &position);
    std::shared_ptr<float> timelineAt(const QPoint &position);
    QRectF originHandle() const;
    void setHandCursor(bool closed);

    void drawFrame(QPainter &painter);
    void drawAxes(QPainter &painter, Mode mode);
    void drawAxis(QPainter &painter, const Axis &axis, Direction direction, Mode mode, bool pinned, double shift);
    void drawTicks(QPainter &painter, const Axis &axis, Direction direction, bool pinned);
    void drawCurves(QPainter &painter, const Axis &axis, Mode mode);
    void drawPointLabels(QPainter &painter, const GraphSeries &curve, const QPointF &scale, const QString &unit);
    void drawMarkers(QPainter &painter, const Axis &axis);
    void drawTimeline(QPainter &painter, const Axis &axis, float time, const QPen &pen);
    void drawOriginHandle(QPainter &painter);
    void drawOverview(QPainter &painter);

    QList<Axis *> *m_axes;
    float m_originFractionX = 0.5f;
    float m_originFractionY = 0.5f;
    bool m_originHandleMode = false;
    bool m_draggingOrigin = false;
    bool m_panning = false;
    bool m_draggingTimeline = false;
    QPoint m_lastMousePosition;
    double m_offsetX = 0;
    double m_offsetY = 0;
    double m_zoomX = 1.0;
    double m_zoomY = 1.0;
    double m_maximumZoomX = 20.0;
    double m_maximumZoomY = 20.0;
    float m_axisStrip = 60.0f;
    bool m_tracking = false;
    bool m_showOverview = true;
    GraphSeries *m_tracker = nullptr;
    std::shared_ptr<Timelines> m_timelines = std::make_shared<Timelines>();
    std::shared_ptr<float> m_selectedTimeline;
    // Reused by every paint so that drawing allocates nothing.
    QVector<QPointF> m_polyline;
    QImage m_frame;
};
