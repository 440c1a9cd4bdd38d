#include "render/SceneRenderer.h"

#include "core/ImageFile.h"
#include "render/MatrixMath.h"

#include <epoxy/gl.h>

#include <QFile>
#include <QPolygonF>
#include <QSysInfo>
#include <QTransform>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstddef>

namespace pelorin {

namespace {

// The vertex layout keeps the texture coordinate at byte 16 and a 32-byte stride, the layout
// the shading programs were written against.
struct Vertex {
    float position[3];
    float pad0;
    float texCoord[2];
    float pad1[2];
};
static_assert(sizeof(Vertex) == 32 && offsetof(Vertex, texCoord) == 16);

constexpr std::array<Vertex, 4> unitQuad{{
    {{-0.5f, -0.5f, 0}, 0, {0, 1}, {0, 0}},
    {{0.5f, -0.5f, 0}, 0, {1, 1}, {0, 0}},
    {{0.5f, 0.5f, 0}, 0, {1, 0}, {0, 0}},
    {{-0.5f, 0.5f, 0}, 0, {0, 0}, {0, 0}},
}};
constexpr std::array<GLushort, 6> unitQuadIndices{0, 1, 2, 0, 2, 3};

// A 4 × 4 grid of vertices, row by row: two triangles for each cell around the centre one,
// then the centre cell's two.
constexpr std::size_t ringIndexCount = 48;
constexpr std::array<GLushort, ringIndexCount + 6> gridIndices = [] {
    std::array<GLushort, ringIndexCount + 6> indices{};
    std::size_t n = 0;
    const auto cell = [&](GLushort row, GLushort column) {
        const GLushort a = GLushort(row * 4 + column), b = GLushort(a + 1), c = GLushort(a + 5), d = GLushort(a + 4);
        for (GLushort index : {a, b, c, a, c, d})
            indices[n++] = index;
    };
    for (GLushort row = 0; row < 3; ++row) {
        for (GLushort column = 0; column < 3; ++column) {
            if (row != 1 || column != 1)
                cell(row, column);
        }
    }
    cell(1, 1);
    return indices;
}();

void setVertexLayout()
{
    glEnableVertexAttribArray(0);
    glVertexAttribPointer(0, 3, GL_FLOAT, GL_FALSE, sizeof(Vertex), reinterpret_cast<void*>(offsetof(Vertex, position)));
    glEnableVertexAttribArray(1);
    glVertexAttribPointer(1, 2, GL_FLOAT, GL_FALSE, sizeof(Vertex), reinterpret_cast<void*>(offsetof(Vertex, texCoord)));
}

constexpr float fillQuadDepth = 0.999f;
constexpr float checkerCellPoints = 8;

void drainErrors()
{
    // Bounded: a lost context may keep reporting.
    for (int i = 0; i < 16 && glGetError() != GL_NO_ERROR; ++i) {
    }
}

bool readResource(const QString& name, QByteArray* text, QString* error)
{
    QFile file(name);
    if (!file.open(QIODevice::ReadOnly)) {
        *error = QStringLiteral("Shading program %1 is missing").arg(name);
        return false;
    }
    *text = file.readAll();
    return true;
}

// `prelude` goes right after the #version line, which must stay first.
GLuint compileShader(GLenum type, const QByteArray& source, const QByteArray& prelude, const QString& name,
                     QString* error)
{
    QByteArray text = source;
    if (!prelude.isEmpty()) {
        const qsizetype versionEnd = text.startsWith("#version") ? text.indexOf('\n') + 1 : 0;
        text.insert(versionEnd, prelude);
    }
    const GLuint shader = glCreateShader(type);
    const char* data = text.constData();
    const GLint length = GLint(text.size());
    glShaderSource(shader, 1, &data, &length);
    glCompileShader(shader);
    GLint ok = GL_FALSE;
    glGetShaderiv(shader, GL_COMPILE_STATUS, &ok);
    if (ok != GL_TRUE) {
        GLint logLength = 0;
        glGetShaderiv(shader, GL_INFO_LOG_LENGTH, &logLength);
        QByteArray log(std::max(logLength, 1), '\0');
        glGetShaderInfoLog(shader, logLength, nullptr, log.data());
        *error = QStringLiteral("Shading program %1 does not compile: %2").arg(name, QString::fromUtf8(log).trimmed());
        glDeleteShader(shader);
        return 0;
    }
    return shader;
}

GLuint linkProgram(GLuint vertex, GLuint fragment, QString* error)
{
    const GLuint program = glCreateProgram();
    glAttachShader(program, vertex);
    glAttachShader(program, fragment);
    glBindAttribLocation(program, 0, "aPosition");
    glBindAttribLocation(program, 1, "aTexCoord");
    glLinkProgram(program);
    glDetachShader(program, vertex);
    glDetachShader(program, fragment);
    GLint linked = GL_FALSE;
    glGetProgramiv(program, GL_LINK_STATUS, &linked);
    if (linked != GL_TRUE) {
        GLint logLength = 0;
        glGetProgramiv(program, GL_INFO_LOG_LENGTH, &logLength);
        QByteArray log(std::max(logLength, 1), '\0');
        glGetProgramInfoLog(program, logLength, nullptr, log.data());
        *error = QStringLiteral("The scene's shading programs do not link: %1").arg(QString::fromUtf8(log).trimmed());
        glDeleteProgram(program);
        return 0;
    }
    return program;
}

// Shadow colours are drawn as plain device RGB; a colour with unusable components is black.
std::array<float, 3> deviceRgb(const CodableColor& color)
{
    const std::array<double, 3> c{color.red, color.green, color.blue};
    if (!std::all_of(c.begin(), c.end(), [](double v) { return std::isfinite(v); }))
        return {0, 0, 0};
    return {float(std::clamp(c[0], 0.0, 1.0)), float(std::clamp(c[1], 0.0, 1.0)), float(std::clamp(c[2], 0.0, 1.0))};
}

// The larger of the two centred rectangles of `covered` (half sizes) in the unit coordinates
// of a quad drawn over `quad`, clipped to it.
QRectF holeIn(const std::array<float, 4>& covered, const QRectF& quad)
{
    const bool first = covered[0] * covered[1] >= covered[2] * covered[3];
    const double halfWidth = first ? covered[0] : covered[2];
    const double halfHeight = first ? covered[1] : covered[3];
    const auto toUnit = [](double value, double centre, double size) {
        return std::clamp((value - centre) / size, -0.5, 0.5);
    };
    return QRectF(QPointF(toUnit(-halfWidth, quad.center().x(), quad.width()),
                          toUnit(-halfHeight, quad.center().y(), quad.height())),
                  QPointF(toUnit(halfWidth, quad.center().x(), quad.width()),
                          toUnit(halfHeight, quad.center().y(), quad.height())));
}

QMatrix4x4 fillQuadMatrix()
{
    QMatrix4x4 m;
    m.translate(0, 0, fillQuadDepth);
    m.scale(2, 2, 1);
    return m;
}

} // namespace

bool RotationEasing::step(float targetYaw, float targetPitch, double now)
{
    const double dt = std::clamp(hasDrawn ? now - lastDrawTime : 1.0 / 60.0, 0.0, 0.1);
    lastDrawTime = now;
    hasDrawn = true;
    const float f = float(1.0 - std::exp(-dt / tau));
    auto ease = [f](float& current, float target) {
        current += (target - current) * f;
        if (std::abs(target - current) < snapDistance)
            current = target;
    };
    ease(currentYaw, targetYaw);
    ease(currentPitch, targetPitch);
    return currentYaw != targetYaw || currentPitch != targetPitch;
}

bool SceneRenderer::initialize(QString* error)
{
    QString scratch;
    if (!error)
        error = &scratch;
    if (isInitialized())
        return true;
    if (!epoxy_is_desktop_gl() || epoxy_gl_version() < 33) {
        *error = QStringLiteral("The scene needs OpenGL 3.3 core; this context offers %1")
                     .arg(QString::fromLatin1(reinterpret_cast<const char*>(glGetString(GL_VERSION))));
        return false;
    }
    drainErrors();

    QByteArray vertexSource, fragmentSource;
    const QString vertexName = QStringLiteral(":/shaders/vertexShader");
    const QString fragmentName = QStringLiteral(":/shaders/fragmentShader");
    if (!readResource(vertexName, &vertexSource, error) || !readResource(fragmentName, &fragmentSource, error))
        return false;
    const GLuint vertex = compileShader(GL_VERTEX_SHADER, vertexSource, {}, vertexName, error);
    if (!vertex)
        return false;
    bool built = true;
    for (int mode = 0; mode < modeCount && built; ++mode) {
        const QByteArray prelude = "#define SCENE_MODE " + QByteArray::number(mode) + "\n";
        const GLuint fragment = compileShader(GL_FRAGMENT_SHADER, fragmentSource, prelude, fragmentName, error);
        const GLuint program = fragment ? linkProgram(vertex, fragment, error) : 0;
        if (fragment)
            glDeleteShader(fragment);
        built = program != 0;
        if (!built)
            break;
        auto location = [program](const char* name) { return glGetUniformLocation(program, name); };
        Program& target = m_programs[std::size_t(mode)];
        target.id = program;
        Uniforms& u = target.uniforms;
        u.matrix = location("uMatrix");
        u.pan = location("uPan");
        u.flipY = location("uFlipY");
        u.texture = location("uTexture");
        u.texCrop = location("uTexCrop");
        u.pixelsPerPoint = location("uPixelsPerPoint");
        u.checkerCell = location("uCheckerCell");
        u.cardSize = location("uCardSize");
        u.cornerRadius = location("uCornerRadius");
        u.dimAmount = location("uDimAmount");
        u.dimCount = location("uDimCount");
        u.dimRects = location("uDimRects");
        u.dimShapes = location("uDimShapes");
        u.shadowMap = location("uShadowMap");
        u.shadowQuad = location("uShadowQuad");
        u.shadowHalf = location("uShadowHalf");
        u.shadowRadius = location("uShadowRadius");
        u.shadowBlur = location("uShadowBlur");
        u.shadowColor = location("uShadowColor");
        u.shadowHidden = location("uShadowHidden");
    }
    glDeleteShader(vertex);
    if (!built) {
        releaseResources();
        return false;
    }

    glGenVertexArrays(1, &m_vertexArray);
    glBindVertexArray(m_vertexArray);
    glGenBuffers(1, &m_vertexBuffer);
    glBindBuffer(GL_ARRAY_BUFFER, m_vertexBuffer);
    glBufferData(GL_ARRAY_BUFFER, sizeof(unitQuad), unitQuad.data(), GL_STATIC_DRAW);
    glGenBuffers(1, &m_indexBuffer);
    glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, m_indexBuffer);
    glBufferData(GL_ELEMENT_ARRAY_BUFFER, sizeof(unitQuadIndices), unitQuadIndices.data(), GL_STATIC_DRAW);
    setVertexLayout();
    glGenVertexArrays(1, &m_gridArray);
    glBindVertexArray(m_gridArray);
    glGenBuffers(1, &m_gridVertexBuffer);
    glBindBuffer(GL_ARRAY_BUFFER, m_gridVertexBuffer);
    glBufferData(GL_ARRAY_BUFFER, 16 * sizeof(Vertex), nullptr, GL_DYNAMIC_DRAW);
    glGenBuffers(1, &m_gridIndexBuffer);
    glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, m_gridIndexBuffer);
    glBufferData(GL_ELEMENT_ARRAY_BUFFER, sizeof(gridIndices), gridIndices.data(), GL_STATIC_DRAW);
    setVertexLayout();
    glBindVertexArray(0);
    glBindBuffer(GL_ARRAY_BUFFER, 0);

    glGenSamplers(1, &m_sampler);
    glGenSamplers(1, &m_flatSampler);
    glGenSamplers(1, &m_nearestLevelSampler);
    for (GLuint sampler : {m_sampler, m_flatSampler, m_nearestLevelSampler}) {
        glSamplerParameteri(sampler, GL_TEXTURE_MIN_FILTER, GL_LINEAR_MIPMAP_LINEAR);
        glSamplerParameteri(sampler, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
        glSamplerParameteri(sampler, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
        glSamplerParameteri(sampler, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
    }
    glSamplerParameteri(m_nearestLevelSampler, GL_TEXTURE_MIN_FILTER, GL_LINEAR_MIPMAP_NEAREST);
    if (epoxy_gl_version() >= 46 || epoxy_has_gl_extension("GL_ARB_texture_filter_anisotropic")
        || epoxy_has_gl_extension("GL_EXT_texture_filter_anisotropic")) {
        GLfloat maxAnisotropy = 1;
        glGetFloatv(GL_MAX_TEXTURE_MAX_ANISOTROPY_EXT, &maxAnisotropy);
        glSamplerParameterf(m_sampler, GL_TEXTURE_MAX_ANISOTROPY_EXT, std::min(8.0f, maxAnisotropy));
    }
    glGetIntegerv(GL_MAX_TEXTURE_SIZE, &m_maxTextureSize);

    if (const GLenum status = glGetError(); status != GL_NO_ERROR) {
        *error = QStringLiteral("Setting up the scene failed with GL error 0x%1").arg(status, 0, 16);
        releaseResources();
        return false;
    }
    m_ready = true;
    return true;
}

void SceneRenderer::releaseResources()
{
    for (Texture* texture : {&m_background, &m_screenshot, &m_annotation}) {
        if (texture->id)
            glDeleteTextures(1, &texture->id);
        *texture = {};
    }
    // Name 0 is skipped by GL itself; each name is cleared once released.
    for (unsigned* sampler : {&m_sampler, &m_flatSampler, &m_nearestLevelSampler}) {
        glDeleteSamplers(1, sampler);
        *sampler = 0;
    }
    for (unsigned* buffer : {&m_vertexBuffer, &m_indexBuffer, &m_gridVertexBuffer, &m_gridIndexBuffer}) {
        glDeleteBuffers(1, buffer);
        *buffer = 0;
    }
    for (unsigned* array : {&m_vertexArray, &m_gridArray}) {
        glDeleteVertexArrays(1, array);
        *array = 0;
    }
    glDeleteFramebuffers(1, &m_copyFramebuffer);
    m_copyFramebuffer = 0;
    for (Program& program : m_programs) {
        if (program.id)
            glDeleteProgram(program.id);
        program = {};
    }
    m_ready = false;
    m_annotationRectPts = {};
    m_screenshotOpaque = false;
}

bool SceneRenderer::upload(Texture& target, const QImage& image, bool mipmapsNow)
{
    if (!isInitialized() || image.isNull() || image.width() < 1 || image.height() < 1)
        return false;
    QImage pixels = image;
    // An image beyond the GPU's limit is drawn from a reduced copy rather than not at all;
    // the card never shows more pixels than an export frame holds anyway.
    if (m_maxTextureSize > 0 && std::max(image.width(), image.height()) > m_maxTextureSize)
        pixels = image.scaled(m_maxTextureSize, m_maxTextureSize, Qt::KeepAspectRatio, Qt::SmoothTransformation);
    // The pixels go up as stored, without colour-space conversion; the two premultiplied
    // 8-bit layouts GL reads directly are taken without a conversion pass.
    // (RGB32 is the premultiplied layout with every alpha 255, what an opaque capture comes as.)
    GLenum layout = GL_RGBA;
    if ((pixels.format() == QImage::Format_ARGB32_Premultiplied || pixels.format() == QImage::Format_RGB32)
        && QSysInfo::ByteOrder == QSysInfo::LittleEndian)
        layout = GL_BGRA;
    else if (pixels.format() != QImage::Format_RGBA8888_Premultiplied)
        pixels = std::move(pixels).convertToFormat(QImage::Format_RGBA8888_Premultiplied);
    if (pixels.isNull())
        return false;

    drainErrors();
    GLuint id = 0;
    glGenTextures(1, &id);
    glBindTexture(GL_TEXTURE_2D, id);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 4);
    glPixelStorei(GL_UNPACK_ROW_LENGTH, GLint(pixels.bytesPerLine() / 4));
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, pixels.width(), pixels.height(), 0, layout, GL_UNSIGNED_BYTE,
                 pixels.constBits());
    if (mipmapsNow) {
        // Each level is half the one before, rounded down, as GL counts them. Qt's area
        // averaging makes them in less time than the software driver, which also compiles
        // code of its own on first use: a tenth of a second before the first picture.
        QImage level = pixels;
        for (GLint index = 1; level.width() > 1 || level.height() > 1; ++index) {
            level = level.scaled(std::max(1, level.width() / 2), std::max(1, level.height() / 2), Qt::IgnoreAspectRatio,
                                 Qt::SmoothTransformation);
            if (level.format() != pixels.format())
                level = std::move(level).convertToFormat(pixels.format());
            glPixelStorei(GL_UNPACK_ROW_LENGTH, GLint(level.bytesPerLine() / 4));
            glTexImage2D(GL_TEXTURE_2D, index, GL_RGBA8, level.width(), level.height(), 0, layout, GL_UNSIGNED_BYTE,
                         level.constBits());
        }
    } else {
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAX_LEVEL, 0); // complete without further levels
    }
    glPixelStorei(GL_UNPACK_ROW_LENGTH, 0);
    glBindTexture(GL_TEXTURE_2D, 0);
    if (glGetError() != GL_NO_ERROR) {
        glDeleteTextures(1, &id);
        return false;
    }
    if (target.id)
        glDeleteTextures(1, &target.id);
    target = {id, image.size(), pixels.size(), mipmapsNow};
    return true;
}

void SceneRenderer::bindForSampling(Texture& texture, double texelsPerPixel, double mipmapsBeyond)
{
    glBindTexture(GL_TEXTURE_2D, texture.id);
    if (texture.mipmapped || !(texelsPerPixel > mipmapsBeyond))
        return;
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAX_LEVEL, 1000);
    glGenerateMipmap(GL_TEXTURE_2D);
    texture.mipmapped = true;
}

bool SceneRenderer::setBackgroundImage(const QImage& image)
{
    // Backgrounds are smooth (colours, gradients) or drawn near their own size, and their
    // mipmaps cost more than the card's on a software rasteriser: made only when needed.
    return upload(m_background, image, false);
}

bool SceneRenderer::setScreenshotImage(const QImage& image)
{
    if (!upload(m_screenshot, image, !m_mipmapsOnDemand))
        return false;
    m_screenshotOpaque = isOpaque(image);
    return true;
}

bool SceneRenderer::setAnnotationImage(const QImage& image, const QRectF& rectPts)
{
    if (!upload(m_annotation, image, !m_mipmapsOnDemand))
        return false;
    m_annotationRectPts = rectPts;
    return true;
}

void SceneRenderer::clearAnnotationImage()
{
    if (m_annotation.id)
        glDeleteTextures(1, &m_annotation.id);
    m_annotation = {};
    m_annotationRectPts = {};
}

void SceneRenderer::clearBackgroundImage()
{
    if (m_background.id)
        glDeleteTextures(1, &m_background.id);
    m_background = {};
}

SceneCamera SceneRenderer::buildViewProjection(bool isPerspective, float viewAspect, float visibleWorldHeight,
                                               float cameraDistance)
{
    const float nearZ = std::max(0.01f, 0.02f * cameraDistance);
    const float farZ = cameraDistance + 100.0f;
    const QMatrix4x4 view = MatrixMath::makeLookAt({0, 0, cameraDistance}, {0, 0, 0}, {0, 1, 0});
    const QMatrix4x4 projection = isPerspective
        ? MatrixMath::makePerspective(45.0f, viewAspect, nearZ, farZ)
        : MatrixMath::makeOrthographic(visibleWorldHeight * viewAspect, visibleWorldHeight, nearZ, farZ);
    return {projection * view, visibleWorldHeight, cameraDistance};
}

SceneCamera SceneRenderer::cameraFor(const SceneRenderParams& params, QSize drawablePixels)
{
    const float cardHeight = std::max(1.0f, float(params.imageSize.height()));
    const float visibleHeight =
        float(drawablePixels.height()) / std::max(0.001f, params.zoom * cardHeight * params.scaleFactor);
    // At 2 × tan(22.5°) the 45° frustum is exactly `visibleHeight` high in the card's plane.
    const float distance = visibleHeight / 0.8284271f;
    return buildViewProjection(params.isPerspective, float(drawablePixels.width()) / float(drawablePixels.height()),
                               visibleHeight, distance);
}

void SceneRenderer::bindDimUniforms(const Uniforms& uniforms, const SceneRenderParams& params)
{
    const int count = int(std::min<std::size_t>(params.dimHoles.size(), maxDimHoles));
    std::array<float, maxDimHoles * 4> rects{};
    std::array<float, maxDimHoles * 2> shapes{};
    const double imageWidth = params.imageSize.width();
    const double imageHeight = params.imageSize.height();
    for (int i = 0; i < count; ++i) {
        const DimHoleSpec& hole = params.dimHoles[std::size_t(i)];
        const QRectF rect = hole.rect.normalized();
        const double halfWidth = rect.width() / 2;
        const double halfHeight = rect.height() / 2;
        rects[std::size_t(i * 4) + 0] = float(rect.center().x() - imageWidth / 2);
        rects[std::size_t(i * 4) + 1] = float(imageHeight / 2 - rect.center().y());
        rects[std::size_t(i * 4) + 2] = float(halfWidth);
        rects[std::size_t(i * 4) + 3] = float(halfHeight);
        shapes[std::size_t(i * 2) + 0] = float(std::clamp(hole.cornerRadius, 0.0, std::min(halfWidth, halfHeight)));
        shapes[std::size_t(i * 2) + 1] = hole.isEllipse ? 1.0f : 0.0f;
    }
    glUniform1f(uniforms.dimAmount, std::clamp(params.dimAmount, 0.0f, 1.0f));
    glUniform1i(uniforms.dimCount, count);
    if (count > 0) {
        glUniform4fv(uniforms.dimRects, count, rects.data());
        glUniform2fv(uniforms.dimShapes, count, shapes.data());
    }
}

const SceneRenderer::Uniforms& SceneRenderer::use(Mode mode)
{
    const Program& program = m_programs[std::size_t(mode)];
    glUseProgram(program.id);
    glUniform1i(program.uniforms.texture, 0);
    glUniform1f(program.uniforms.flipY, m_frameFlipY);
    glUniform1f(program.uniforms.pixelsPerPoint, m_framePixelsPerPoint);
    glUniform4f(program.uniforms.texCrop, 1, 1, 0, 0);
    return program.uniforms;
}

void SceneRenderer::drawQuad(const Uniforms& uniforms, const QMatrix4x4& matrix, QPointF pan)
{
    glUniformMatrix4fv(uniforms.matrix, 1, GL_FALSE, matrix.constData());
    glUniform2f(uniforms.pan, float(pan.x()), float(pan.y()));
    glDrawElements(GL_TRIANGLES, GLsizei(unitQuadIndices.size()), GL_UNSIGNED_SHORT, nullptr);
}

void SceneRenderer::drawGridPart(const Uniforms& uniforms, const QMatrix4x4& matrix, QPointF pan, const QRectF& hole,
                                 GridPart part)
{
    const std::array<float, 4> xs{-0.5f, float(hole.left()), float(hole.right()), 0.5f};
    const std::array<float, 4> ys{-0.5f, float(hole.top()), float(hole.bottom()), 0.5f};
    std::array<Vertex, 16> grid{};
    for (std::size_t row = 0; row < 4; ++row) {
        for (std::size_t column = 0; column < 4; ++column) {
            Vertex& v = grid[row * 4 + column];
            v.position[0] = xs[column];
            v.position[1] = ys[row];
            v.texCoord[0] = xs[column] + 0.5f;
            v.texCoord[1] = 0.5f - ys[row];
        }
    }
    glBindVertexArray(m_gridArray);
    glBindBuffer(GL_ARRAY_BUFFER, m_gridVertexBuffer);
    glBufferSubData(GL_ARRAY_BUFFER, 0, sizeof(grid), grid.data());
    glBindBuffer(GL_ARRAY_BUFFER, 0);
    glUniformMatrix4fv(uniforms.matrix, 1, GL_FALSE, matrix.constData());
    glUniform2f(uniforms.pan, float(pan.x()), float(pan.y()));
    if (part == GridPart::ring)
        glDrawElements(GL_TRIANGLES, GLsizei(ringIndexCount), GL_UNSIGNED_SHORT, nullptr);
    else
        glDrawElements(GL_TRIANGLES, 6, GL_UNSIGNED_SHORT, reinterpret_cast<void*>(ringIndexCount * sizeof(GLushort)));
    glBindVertexArray(m_vertexArray);
}

std::array<float, 4> SceneRenderer::fullyCoveredArea(const SceneRenderParams& params, const QMatrix4x4& rotation,
                                                     QSizeF card) const
{
    // Tilted, the card's pixels no longer line up with what lies behind it.
    if (params.isPerspective || !m_screenshot.id || !m_screenshotOpaque || !rotation.isIdentity())
        return {0, 0, 0, 0};
    const double radius = std::clamp(params.styling.cornerRadius, 0.0, std::min(card.width(), card.height()) / 2);
    // Half a pixel past the edge ramp plus two pixels: a pixel beside the area still needs its
    // neighbours there for its own ramp.
    const double margin = 2.0 / std::max(1e-3f, m_framePixelsPerPoint) + 0.5;
    const double edgeX = card.width() / 2 - margin;
    const double edgeY = card.height() / 2 - margin;
    if (edgeX - radius <= 0 || edgeY - radius <= 0)
        return {0, 0, 0, 0};
    return {float(edgeX), float(edgeY - radius), float(edgeX - radius), float(edgeY)};
}

void SceneRenderer::drawShadow(const SceneRenderParams& params, const SceneCamera& camera, const QMatrix4x4& rotation,
                               QSizeF card, const std::array<float, 4>& covered)
{
    const ShadowConfiguration& shadow = params.styling.shadow;
    const double cw = card.width();
    const double ch = card.height();
    const double radius = std::clamp(params.styling.cornerRadius, 0.0, std::min(cw, ch) / 2);
    const double halfWidth = std::max(1.0, cw / 2 - radius);
    const double halfHeight = std::max(1.0, ch / 2 - radius);
    const double planeDepth = shadowPlaneDepth * ch;
    const double eyeDistance = double(camera.distance) * ch;

    const std::array<QPointF, 4> inner{QPointF(-halfWidth, -halfHeight), QPointF(halfWidth, -halfHeight),
                                       QPointF(halfWidth, halfHeight), QPointF(-halfWidth, halfHeight)};
    QPolygonF footprint;
    double largestFactor = 1;
    for (const QPointF& corner : inner) {
        const QVector3D turned = rotation.map(QVector3D(float(corner.x()), float(corner.y()), 0));
        const double z = turned.z();
        const double depthFactor = std::max(0.05, (planeDepth + z) / planeDepth);
        QPointF point(turned.x() + shadow.offsetX * depthFactor, turned.y() - shadow.offsetY * depthFactor);
        double scale = 1;
        if (params.isPerspective)
            scale = std::min(6.0, (planeDepth + eyeDistance) / std::max(0.05 * eyeDistance, eyeDistance - z));
        footprint << point * scale;
        largestFactor = std::max(largestFactor, std::max(1.0, depthFactor) * scale);
    }

    QTransform toInner;
    if (!QTransform::quadToQuad(footprint, QPolygonF({inner[0], inner[1], inner[2], inner[3]}), toInner))
        return;
    // A projective map is only defined up to a factor; keep w positive inside the footprint
    // so the shading program can tell the footprint's side of the horizon.
    const QPointF centroid = (footprint[0] + footprint[1] + footprint[2] + footprint[3]) / 4;
    const double sign = (toInner.m13() * centroid.x() + toInner.m23() * centroid.y() + toInner.m33()) < 0 ? -1 : 1;
    const std::array<float, 9> map{
        float(sign * toInner.m11()), float(sign * toInner.m12()), float(sign * toInner.m13()),
        float(sign * toInner.m21()), float(sign * toInner.m22()), float(sign * toInner.m23()),
        float(sign * toInner.m31()), float(sign * toInner.m32()), float(sign * toInner.m33())};

    const double blur = shadow.radius;
    const QRectF bounds = footprint.boundingRect();
    const double grow = (radius + blur) * largestFactor + 2;
    const QRectF quad = bounds.adjusted(-grow, -grow, grow, grow);

    QMatrix4x4 model;
    model.translate(float(quad.center().x() / ch), float(quad.center().y() / ch), -shadowPlaneDepth);
    model.scale(float(quad.width() / ch), float(quad.height() / ch), 1);

    const auto rgb = deviceRgb(shadow.color);
    const Uniforms& u = use(Mode::shadow);
    // The opaque card paints over whatever is under its fully covered area: the shadow there
    // is left alone rather than shaded and painted over.
    glUniform4f(u.shadowHidden, covered[0], covered[1], covered[2], covered[3]);
    glUniformMatrix3fv(u.shadowMap, 1, GL_FALSE, map.data());
    glUniform4f(u.shadowQuad, float(quad.center().x()), float(quad.center().y()), float(quad.width()),
                float(quad.height()));
    glUniform2f(u.shadowHalf, float(halfWidth), float(halfHeight));
    glUniform1f(u.shadowRadius, float(radius));
    glUniform1f(u.shadowBlur, float(blur));
    glUniform4f(u.shadowColor, rgb[0], rgb[1], rgb[2], float(std::clamp(shadow.opacity, 0.0, 1.0)));
    // The larger of the two rectangles is left out of the drawn area altogether (the program
    // skips the rest); a software rasteriser otherwise shades all of it.
    if (const QRectF hole = holeIn(covered, quad); !hole.isEmpty())
        drawGridPart(u, camera.viewProjection * model, params.panNDC, hole, GridPart::ring);
    else
        drawQuad(u, camera.viewProjection * model, params.panNDC);
}

QRect SceneRenderer::alignedCardPixels(const SceneRenderParams& params, const QMatrix4x4& matrix, QSize drawablePixels,
                                       const std::array<float, 4>& covered, QRectF* cardPixels) const
{
    if (covered[0] <= 0 || params.dimAmount > 0 || m_screenshot.pixels != m_screenshot.size)
        return {};
    // The card's corners where the vertex program puts them, in framebuffer pixels.
    const auto pixel = [&](float x, float y) {
        QVector4D clip = matrix * QVector4D(x, y, 0, 1);
        const double w = clip.w();
        const double ndcX = (clip.x() + params.panNDC.x() * w) / w;
        const double ndcY = m_frameFlipY * (clip.y() + params.panNDC.y() * w) / w;
        return QPointF(params.framebufferOrigin.x() + (ndcX + 1) / 2 * drawablePixels.width(),
                       params.framebufferOrigin.y() + (ndcY + 1) / 2 * drawablePixels.height());
    };
    const QRectF card = QRectF(pixel(-0.5f, -0.5f), pixel(0.5f, 0.5f)).normalized();
    // A thousandth of a pixel off moves no texel's weight in the filtering.
    const auto whole = [](double value) { return std::fabs(value - std::round(value)) < 1e-3; };
    const QSize texels = m_screenshot.pixels;
    if (std::fabs(card.width() - texels.width()) > 1e-3 || std::fabs(card.height() - texels.height()) > 1e-3
        || !whole(card.left()) || !whole(card.top()))
        return {};
    *cardPixels = QRectF(std::round(card.left()), std::round(card.top()), texels.width(), texels.height());
    // The covered rectangle in unit-quad coordinates, centred, so the same either way up.
    const QSizeF points(std::max(1.0, params.imageSize.width()), std::max(1.0, params.imageSize.height()));
    const QRectF hole = holeIn(covered, QRectF(QPointF(-points.width() / 2, -points.height() / 2), points));
    const double halfWidth = hole.width() / 2 * texels.width();
    const double halfHeight = hole.height() / 2 * texels.height();
    const QPointF centre = cardPixels->center();
    const int left = int(std::ceil(centre.x() - halfWidth));
    const int right = int(std::floor(centre.x() + halfWidth));
    const int bottom = int(std::ceil(centre.y() - halfHeight));
    const int top = int(std::floor(centre.y() + halfHeight));
    return right > left && top > bottom ? QRect(QPoint(left, bottom), QPoint(right - 1, top - 1)) : QRect();
}

bool SceneRenderer::copyCardPixels(const QRect& target, const QRectF& cardPixels)
{
    GLint readFramebuffer = 0;
    glGetIntegerv(GL_READ_FRAMEBUFFER_BINDING, &readFramebuffer);
    if (!m_copyFramebuffer)
        glGenFramebuffers(1, &m_copyFramebuffer);
    glBindFramebuffer(GL_READ_FRAMEBUFFER, m_copyFramebuffer);
    glFramebufferTexture2D(GL_READ_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, m_screenshot.id, 0);
    const bool complete = glCheckFramebufferStatus(GL_READ_FRAMEBUFFER) == GL_FRAMEBUFFER_COMPLETE;
    if (complete) {
        // Texture row 0 is the image's top row: at the card's lowest framebuffer row when
        // rows are drawn top-down, else at its highest, where the copy turns the rows over.
        const int cardLeft = int(cardPixels.left());
        const int cardBottom = int(cardPixels.top());
        const int cardTop = cardBottom + int(cardPixels.height());
        const int x0 = target.left() - cardLeft;
        const int x1 = x0 + target.width();
        const int y0 = target.top();
        const int y1 = y0 + target.height();
        if (m_frameFlipY < 0)
            glBlitFramebuffer(x0, y0 - cardBottom, x1, y1 - cardBottom, target.left(), y0, target.left() + target.width(),
                              y1, GL_COLOR_BUFFER_BIT, GL_NEAREST);
        else
            glBlitFramebuffer(x0, cardTop - y1, x1, cardTop - y0, target.left(), y1, target.left() + target.width(), y0,
                              GL_COLOR_BUFFER_BIT, GL_NEAREST);
    }
    glFramebufferTexture2D(GL_READ_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, 0, 0);
    glBindFramebuffer(GL_READ_FRAMEBUFFER, GLuint(readFramebuffer));
    return complete;
}

void SceneRenderer::encodeScene(const SceneRenderParams& params, QSize drawablePixels, float yaw, float pitch,
                                RowOrder rowOrder)
{
    if (!isInitialized() || drawablePixels.width() < 1 || drawablePixels.height() < 1)
        return;
    const float width = float(drawablePixels.width());
    const float height = float(drawablePixels.height());

    glViewport(params.framebufferOrigin.x(), params.framebufferOrigin.y(), drawablePixels.width(),
               drawablePixels.height());
    glEnable(GL_BLEND);
    glBlendEquation(GL_FUNC_ADD);
    glBlendFuncSeparate(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA, GL_ONE, GL_ONE_MINUS_SRC_ALPHA);
    // Draw order alone decides what is in front.
    glEnable(GL_DEPTH_TEST);
    glDepthFunc(GL_ALWAYS);
    glDepthMask(GL_FALSE);
    glDisable(GL_CULL_FACE);
    glDisable(GL_SCISSOR_TEST);
    glDisable(GL_STENCIL_TEST);
    glColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE);

    glBindVertexArray(m_vertexArray);
    glActiveTexture(GL_TEXTURE0);
    // Quads that face the screen square-on sample the same with or without anisotropy, and a
    // software rasteriser pays dearly for it: only a tilted card gets the anisotropic sampler.
    glBindSampler(0, params.blendsMipmapLevels ? m_flatSampler : m_nearestLevelSampler);
    m_frameFlipY = rowOrder == RowOrder::TopDown ? -1.0f : 1.0f;
    m_copiedCard = false;
    m_framePixelsPerPoint = std::max(1e-3f, params.zoom * params.scaleFactor);

    const SceneCamera camera = cameraFor(params, drawablePixels);
    const QSizeF card(std::max(1.0, params.imageSize.width()), std::max(1.0, params.imageSize.height()));
    const float cardAspect = float(card.width() / card.height());
    const QMatrix4x4 rotation = MatrixMath::makeRotationY(yaw) * MatrixMath::makeRotationX(pitch);
    const std::array<float, 4> covered = fullyCoveredArea(params, rotation, card);
    QMatrix4x4 cardModel = rotation;
    cardModel.scale(cardAspect, 1, 1);
    const QMatrix4x4 cardMatrix = camera.viewProjection * cardModel;

    // What the copied part of the card will replace is not shaded: each draw up to the card's
    // is repeated for the bands around it, scissored, over the same geometry as unsplit.
    QRectF cardPixels;
    const QRect copied = params.copiesAlignedCard && params.drawsCard && m_screenshot.id
        ? alignedCardPixels(params, cardMatrix, drawablePixels, covered, &cardPixels)
        : QRect();
    const QRect drawable(params.framebufferOrigin, drawablePixels);
    const auto aroundCopied = [&](const auto& draw) {
        if (copied.isEmpty())
            return draw();
        glEnable(GL_SCISSOR_TEST);
        const int right = copied.left() + copied.width();
        const int top = copied.top() + copied.height();
        const int drawableRight = drawable.left() + drawable.width();
        const int drawableTop = drawable.top() + drawable.height();
        for (const QRect& band : {QRect(drawable.left(), drawable.top(), drawable.width(), copied.top() - drawable.top()),
                                  QRect(drawable.left(), top, drawable.width(), drawableTop - top),
                                  QRect(drawable.left(), copied.top(), copied.left() - drawable.left(), copied.height()),
                                  QRect(right, copied.top(), drawableRight - right, copied.height())}) {
            if (band.width() > 0 && band.height() > 0) {
                glScissor(band.left(), band.top(), band.width(), band.height());
                draw();
            }
        }
        glDisable(GL_SCISSOR_TEST);
    };

    const QMatrix4x4 fill = fillQuadMatrix();
    if (params.drawsFill && params.showsTransparencyChecker) {
        const Uniforms& u = use(Mode::checker);
        glUniform1f(u.checkerCell, std::max(1.0f, checkerCellPoints * params.scaleFactor));
        aroundCopied([&] { drawQuad(u, fill, {}); });
    }

    if (params.drawsFill && m_background.id) {
        const Uniforms& u = use(Mode::texture);
        const float textureAspect = float(m_background.size.width()) / float(m_background.size.height());
        const float viewAspect = width / height;
        if (viewAspect < textureAspect) {
            const float scale = viewAspect / textureAspect;
            glUniform4f(u.texCrop, scale, 1, (1 - scale) / 2, 0);
        } else {
            const float scale = textureAspect / viewAspect;
            glUniform4f(u.texCrop, 1, scale, 0, (1 - scale) / 2);
        }
        // The drawn part of the texture spans the drawable in its cropped direction.
        const double texelsPerPixel = viewAspect < textureAspect
            ? m_background.size.height() / double(height)
            : m_background.size.width() / double(width);
        // Up to half size, filtering between the nearest texels of a smooth background shows
        // no aliasing.
        bindForSampling(m_background, texelsPerPixel, 2.0);
        aroundCopied([&] { drawQuad(u, fill, {}); });
    }

    const ShadowConfiguration& shadow = params.styling.shadow;
    if (params.drawsCard && shadow.radius > 0 && shadow.opacity > 0)
        aroundCopied([&] { drawShadow(params, camera, rotation, card, covered); });

    const bool tilted = yaw != 0 || pitch != 0;
    if (tilted && !params.isQuick)
        glBindSampler(0, m_sampler);
    // Untilted, the camera shows the card at exactly zoom × its point size.
    const double cardPixelsPerPoint = std::max(1e-6, double(params.zoom) * double(params.scaleFactor));
    const auto shrink = [&](const Texture& texture, double widthPoints) {
        return tilted ? 2.0 : texture.size.width() / std::max(1e-6, widthPoints * cardPixelsPerPoint);
    };

    if (params.drawsCard && m_screenshot.id) {
        const QMatrix4x4& matrix = cardMatrix;
        const double radius = std::clamp(params.styling.cornerRadius, 0.0, std::min(card.width(), card.height()) / 2);
        bindForSampling(m_screenshot, shrink(m_screenshot, card.width()));
        const auto prepare = [&](Mode mode) -> const Uniforms& {
            const Uniforms& u = use(mode);
            bindDimUniforms(u, params);
            glUniform2f(u.cardSize, float(card.width()), float(card.height()));
            glUniform1f(u.cornerRadius, float(radius));
            return u;
        };
        // Where the opaque card covers its pixels in full, it replaces them: no edge ramp, no
        // blending. Only the band along the edge is blended.
        const QRectF hole = params.splitsOpaqueCard
            ? holeIn(covered, QRectF(-card.width() / 2, -card.height() / 2, card.width(), card.height()))
            : QRectF();
        if (!copied.isEmpty()) {
            const Uniforms& u = prepare(Mode::card);
            aroundCopied([&] { drawQuad(u, matrix, params.panNDC); });
            m_copiedCard = copyCardPixels(copied, cardPixels);
            if (!m_copiedCard) {
                glEnable(GL_SCISSOR_TEST);
                glScissor(copied.left(), copied.top(), copied.width(), copied.height());
                drawQuad(u, matrix, params.panNDC);
                glDisable(GL_SCISSOR_TEST);
            }
        } else if (!hole.isEmpty()) {
            glDisable(GL_BLEND);
            drawGridPart(prepare(Mode::cardInterior), matrix, params.panNDC, hole, GridPart::centre);
            glEnable(GL_BLEND);
            drawGridPart(prepare(Mode::card), matrix, params.panNDC, hole, GridPart::ring);
        } else {
            drawQuad(prepare(Mode::card), matrix, params.panNDC);
        }
    }

    if (params.drawsCard && params.drawsAnnotations && m_annotation.id) {
        const Uniforms& u = use(Mode::texture);
        const QRectF rect = m_annotationRectPts.isEmpty() ? QRectF(QPointF(0, 0), card) : m_annotationRectPts;
        const double ch = card.height();
        QMatrix4x4 model = rotation;
        model.translate(float((rect.center().x() - card.width() / 2) / ch), float((ch / 2 - rect.center().y()) / ch), 0);
        model.scale(float(rect.width() / ch), float(rect.height() / ch), 1);
        bindForSampling(m_annotation, shrink(m_annotation, rect.width()));
        drawQuad(u, camera.viewProjection * model, params.panNDC);
    }

    // Leave the context as a QPainter or another renderer in the same context expects it.
    glBindTexture(GL_TEXTURE_2D, 0);
    glBindSampler(0, 0);
    glBindVertexArray(0);
    glUseProgram(0);
    glDepthMask(GL_TRUE);
    glDepthFunc(GL_LESS);
    glDisable(GL_DEPTH_TEST);
    glDisable(GL_BLEND);
}

} // namespace pelorin
