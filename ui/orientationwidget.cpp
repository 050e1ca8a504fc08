#include "ui/orientationwidget.h"

#include "model/trace.h"

#include <QMatrix4x4>
#include <QOpenGLTexture>
#include <array>

// Resources compiled into a static library are only linked in when referred to.
static void initBoardResources()
{
    Q_INIT_RESOURCE(okukipo_board);
}

namespace {

struct BoardVertex
{
    GLfloat position[3];
    GLfloat texCoord[2];
    GLfloat normal[3];
};

constexpr int verticesPerFace = 6;
constexpr int faceCount = 6;
using BoardGeometry = std::array<BoardVertex, verticesPerFace * faceCount>;

// One face of the unit cube: the axis it lies across and which side of it,
// the normal stored for lighting, and per corner the two remaining
// coordinates (in axis order, as signs) with the texture coordinate there.
struct FaceCorner
{
    int first;
    int second;
    GLfloat s;
    GLfloat t;
};

struct Face
{
    int axis;
    int side;
    std::array<GLfloat, 3> normal;
    std::array<FaceCorner, verticesPerFace> corners;
};

// Faces 0-3 carry the side texture, 4 the front and 5 the back; the winding
// is clockwise seen from outside, which is what the renderer treats as front.
const std::array<Face, faceCount> boardFaces{{
    {2, +1, {0, 0, -1}, {{{-1, +1, 0, 0}, {+1, -1, 1, 1}, {-1, -1, 1, 0}, {+1, -1, 1, 1}, {-1, +1, 0, 0}, {+1, +1, 0, 1}}}},
    {2, -1, {0, 0, +1}, {{{-1, -1, 1, 1}, {+1, -1, 1, 0}, {-1, +1, 0, 1}, {+1, +1, 0, 0}, {-1, +1, 0, 1}, {+1, -1, 1, 0}}}},
    {0, +1, {-1, 0, 0}, {{{-1, -1, 1, 1}, {-1, +1, 1, 0}, {+1, -1, 0, 1}, {+1, +1, 0, 0}, {+1, -1, 0, 1}, {-1, +1, 1, 0}}}},
    {0, -1, {+1, 0, 0}, {{{+1, -1, 0, 0}, {-1, +1, 1, 1}, {-1, -1, 1, 0}, {-1, +1, 1, 1}, {+1, -1, 0, 0}, {+1, +1, 0, 1}}}},
    {1, +1, {0, -1, 0}, {{{+1, -1, 0, 1}, {-1, +1, 1, 0}, {-1, -1, 1, 1}, {-1, +1, 1, 0}, {+1, -1, 0, 1}, {+1, +1, 0, 0}}}},
    {1, -1, {0, +1, 0}, {{{-1, -1, 1, 1}, {-1, +1, 1, 0}, {+1, -1, 0, 1}, {+1, +1, 0, 0}, {+1, -1, 0, 1}, {-1, +1, 1, 0}}}},
}};

BoardGeometry buildBoardGeometry()
{
    BoardGeometry geometry{};
    int index = 0;
    for (const Face &face : boardFaces) {
        const int firstAxis = face.axis == 0 ? 1 : 0;
        const int secondAxis = face.axis == 2 ? 1 : 2;
        for (const FaceCorner &corner : face.corners) {
            BoardVertex &vertex = geometry[index++];
            vertex.position[face.axis] = 0.5f * face.side;
            vertex.position[firstAxis] = 0.5f * corner.first;
            vertex.position[secondAxis] = 0.5f * corner.second;
            vertex.texCoord[0] = corner.s;
            vertex.texCoord[1] = corner.t;
            std::copy(face.normal.begin(), face.normal.end(), vertex.normal);
        }
    }
    return geometry;
}

const BoardGeometry &boardGeometry()
{
    static const BoardGeometry geometry = buildBoardGeometry();
    return geometry;
}

std::unique_ptr<QOpenGLTexture> loadTexture(const QString &resource)
{
    auto texture = std::make_unique<QOpenGLTexture>(QImage(resource).convertToFormat(QImage::Format_RGBA8888));
    texture->setMinificationFilter(QOpenGLTexture::Linear);
    texture->setMagnificationFilter(QOpenGLTexture::Linear);
    return texture;
}

void clearBackground(QOpenGLFunctions *gl)
{
    gl->glClearColor(0.1f, 0.1f, 0.2f, 1.0f);
    gl->glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
}

} // namespace

OrientationWidget::OrientationWidget(QWidget *parent)
    : QOpenGLWidget(parent)
{
    initBoardResources();
    setMinimumSize(300, 250);
    m_repaintTimer.setInterval(repaintIntervalMs);
    connect(&m_repaintTimer, &QTimer::timeout, this, [this] { repaint(); });
    m_repaintTimer.start();
}

OrientationWidget::~OrientationWidget()
{
    // Textures belong to this widget's context and must go while it is current.
    makeCurrent();
    m_frontTexture.reset();
    m_backTexture.reset();
    m_sidesTexture.reset();
    m_program.removeAllShaders();
    doneCurrent();
}

void OrientationWidget::setScaling(int scale)
{
    m_scaling = scale < 50 ? 1.0 - (50 - scale) * 0.01 : 1.0 + (scale - 50) * 0.01;
    update();
}

void OrientationWidget::setOrientation(QQuaternion orientation)
{
    // The console hands over the device's attitude every few milliseconds,
    // mostly unchanged; the same attitude needs no new frame.
    if (orientation == m_orientation)
        return;
    m_orientation = orientation;
    update();
}

void OrientationWidget::initializeGL()
{
    initializeOpenGLFunctions();
    m_frontTexture = loadTexture(QStringLiteral(":/OKUStudio/KIPO_front.png"));
    m_backTexture = loadTexture(QStringLiteral(":/OKUStudio/KIPO_back.png"));
    m_sidesTexture = loadTexture(QStringLiteral(":/OKUStudio/KIPO_sides.png"));
    buildShaderProgram();
    clearBackground(this);
}

// A shader that fails to build is reported and the board drawn as far as the
// driver allows: the view is a visual aid and must not stop the console.
void OrientationWidget::buildShaderProgram()
{
    m_program.addShaderFromSourceFile(QOpenGLShader::Vertex, QStringLiteral(":/OKUStudio/shaders/kipo_vshader.glsl"));
    okukipo::trace(QStringLiteral("vertex"));
    okukipo::trace(m_program.log());
    m_program.addShaderFromSourceFile(QOpenGLShader::Fragment, QStringLiteral(":/OKUStudio/shaders/kipo_fshader.glsl"));
    okukipo::trace(QStringLiteral("frag"));
    okukipo::trace(m_program.log());
    const bool linked = m_program.link();
    okukipo::trace(QStringLiteral("Link result: ") + (linked ? QStringLiteral("true") : QStringLiteral("false")));

    m_vertexAttribute = m_program.attributeLocation("vertex");
    m_normalAttribute = m_program.attributeLocation("normal");
    m_texCoordAttribute = m_program.attributeLocation("texCoord");
    m_matrixUniform = m_program.uniformLocation("matrix");
    m_modelUniform = m_program.uniformLocation("model");
    m_textureUniform = m_program.uniformLocation("tex");
}

void OrientationWidget::paintGL()
{
    glEnable(GL_DEPTH_TEST);
    glEnable(GL_CULL_FACE);
    glFrontFace(GL_CW);
    clearBackground(this);

    QMatrix4x4 projection;
    projection.perspective(60.0f, float(width()) / float(qMax(height(), 1)), 0.1f, 100.0f);
    projection.translate(0.0f, 0.0f, -5.0f);

    // The two fixed turns lay the board upright facing the viewer; the
    // flattening gives it the proportions of the real circuit board.
    QMatrix4x4 model;
    model.rotate(90.0f, 1.0f, 0.0f, 0.0f);
    model.rotate(180.0f, 1.0f, 0.0f, 0.0f);
    model.rotate(m_orientation);
    model.scale(0.3f, 0.01f, 1.0f);
    model.scale(float(4.0 * m_scaling));

    m_program.bind();
    m_program.setUniformValue(m_matrixUniform, projection * model);
    m_program.setUniformValue(m_modelUniform, model);
    drawBoard();
    m_program.release();

    glDisable(GL_DEPTH_TEST);
    glDisable(GL_CULL_FACE);
}

void OrientationWidget::drawBoard()
{
    const BoardVertex *vertices = boardGeometry().data();
    constexpr int stride = sizeof(BoardVertex);
    m_program.setAttributeArray(m_vertexAttribute, vertices->position, 3, stride);
    m_program.setAttributeArray(m_texCoordAttribute, vertices->texCoord, 2, stride);
    m_program.setAttributeArray(m_normalAttribute, vertices->normal, 3, stride);
    m_program.setUniformValue(m_textureUniform, 0);
    m_program.enableAttributeArray(m_vertexAttribute);
    m_program.enableAttributeArray(m_texCoordAttribute);
    m_program.enableAttributeArray(m_normalAttribute);

    const std::array<QOpenGLTexture *, faceCount> faceTextures{
        m_sidesTexture.get(), m_sidesTexture.get(), m_sidesTexture.get(), m_sidesTexture.get(),
        m_frontTexture.get(), m_backTexture.get()};
    for (int face = 0; face < faceCount; ++face) {
        faceTextures[face]->bind(0);
        glDrawArrays(GL_TRIANGLES, face * verticesPerFace, verticesPerFace);
    }

    m_program.disableAttributeArray(m_vertexAttribute);
    m_program.disableAttributeArray(m_texCoordAttribute);
    m_program.disableAttributeArray(m_normalAttribute);
}
