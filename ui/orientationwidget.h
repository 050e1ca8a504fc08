#pragma once

#include <QOpenGLFunctions>
#include <QOpenGLShaderProgram>
#include <QOpenGLWidget>
#include <QQuaternion>
#include <QTimer>
#include <memory>

class QOpenGLTexture;

// The flight computer drawn as a textured, lit board, turned by the device's
// orientation quaternion.  It repaints on its own timer, so callers only hand
// it new attitudes, however often they arrive.
class OrientationWidget : public QOpenGLWidget, private QOpenGLFunctions
{
    Q_OBJECT

public:
    explicit OrientationWidget(QWidget *parent = nullptr);
    ~OrientationWidget() override;

    QQuaternion orientation() const { return m_orientation; }
    double scaling() const { return m_scaling; }

    static constexpr int repaintIntervalMs = 50;

public slots:
    // 50 is the natural size; every step away from it grows or shrinks the board by 1 %.
    void setScaling(int scale);
    void setOrientation(QQuaternion orientation);

protected:
    void initializeGL() override;
    void paintGL() override;

private:
    void buildShaderProgram();
    void drawBoard();

    QOpenGLShaderProgram m_program;
    int m_vertexAttribute = -1;
    int m_normalAttribute = -1;
    int m_texCoordAttribute = -1;
    int m_matrixUniform = -1;
    int m_modelUniform = -1;
    int m_textureUniform = -1;

    QQuaternion m_orientation;
    double m_scaling = 1.0;

    std::unique_ptr<QOpenGLTexture> m_frontTexture;
    std::unique_ptr<QOpenGLTexture> m_backTexture;
    std::unique_ptr<QOpenGLTexture> m_sidesTexture;

    QTimer m_repaintTimer;
};
