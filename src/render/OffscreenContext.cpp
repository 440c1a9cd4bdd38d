#include "render/OffscreenContext.h"

#include <epoxy/gl.h>

#include <EGL/egl.h>
#include <EGL/eglext.h>

#include <QByteArray>
#include <QMutex>
#include <QOpenGLContext>
#include <QSurface>

#include <algorithm>
#include <map>
#include <vector>

namespace pelorin {

namespace {

QString eglErrorText(const char* what)
{
    return QStringLiteral("%1 failed (EGL error 0x%2)").arg(QLatin1String(what)).arg(eglGetError(), 0, 16);
}

void drainErrors()
{
    // Bounded: a lost context may keep reporting.
    for (int i = 0; i < 16 && glGetError() != GL_NO_ERROR; ++i) {
    }
}

bool hasToken(const char* list, const char* token)
{
    if (!list)
        return false;
    const QByteArray all = QByteArray(" ") + list + ' ';
    return all.contains(QByteArray(" ") + token + ' ');
}

// EGL hands out one display per platform and device for the whole process and eglTerminate
// ends it for every user at once, so displays are shared and terminated with their last user.
QMutex displayMutex;
std::map<EGLDisplay, int> displayUsers;

bool acquireDisplay(EGLDisplay display)
{
    QMutexLocker lock(&displayMutex);
    int& users = displayUsers[display];
    if (users == 0 && !eglInitialize(display, nullptr, nullptr)) {
        displayUsers.erase(display);
        return false;
    }
    ++users;
    return true;
}

void releaseDisplay(EGLDisplay display)
{
    QMutexLocker lock(&displayMutex);
    auto it = displayUsers.find(display);
    if (it == displayUsers.end())
        return;
    if (--it->second == 0) {
        displayUsers.erase(it);
        eglTerminate(display);
    }
}

// The displays a context may be made on, best first: Mesa's surfaceless platform, then
// every EGL device. None, and `error` says why, when EGL offers neither.
std::vector<EGLDisplay> displayCandidates(QString* error)
{
    const char* clientExtensions = eglQueryString(EGL_NO_DISPLAY, EGL_EXTENSIONS);
    if (!clientExtensions) {
        *error = QStringLiteral("No OpenGL available: EGL reports no client extensions");
        return {};
    }
    auto getPlatformDisplay =
        reinterpret_cast<PFNEGLGETPLATFORMDISPLAYEXTPROC>(eglGetProcAddress("eglGetPlatformDisplayEXT"));
    if (!getPlatformDisplay) {
        *error = QStringLiteral("No OpenGL available: EGL offers no platform displays");
        return {};
    }

    std::vector<EGLDisplay> candidates;
    if (hasToken(clientExtensions, "EGL_MESA_platform_surfaceless")) {
        if (EGLDisplay d = getPlatformDisplay(EGL_PLATFORM_SURFACELESS_MESA, EGL_DEFAULT_DISPLAY, nullptr);
            d != EGL_NO_DISPLAY)
            candidates.push_back(d);
    }
    if (hasToken(clientExtensions, "EGL_EXT_platform_device")) {
        auto queryDevices = reinterpret_cast<PFNEGLQUERYDEVICESEXTPROC>(eglGetProcAddress("eglQueryDevicesEXT"));
        EGLint count = 0;
        if (queryDevices && queryDevices(0, nullptr, &count) && count > 0) {
            std::vector<EGLDeviceEXT> devices(std::size_t(count), nullptr);
            queryDevices(count, devices.data(), &count);
            for (EGLint i = 0; i < count; ++i) {
                if (EGLDisplay d = getPlatformDisplay(EGL_PLATFORM_DEVICE_EXT, devices[std::size_t(i)], nullptr);
                    d != EGL_NO_DISPLAY)
                    candidates.push_back(d);
            }
        }
    }
    if (candidates.empty())
        *error = QStringLiteral("No OpenGL available: EGL offers neither the surfaceless platform nor a device");
    return candidates;
}

} // namespace

struct OffscreenContext::Egl {
    EGLDisplay display = EGL_NO_DISPLAY;
    EGLContext context = EGL_NO_CONTEXT;
    EGLSurface surface = EGL_NO_SURFACE; // only where surfaceless contexts are not offered
};

struct OffscreenContext::CurrentScope::Previous {
    QOpenGLContext* qtContext = nullptr;
    QSurface* qtSurface = nullptr;
    EGLDisplay display = EGL_NO_DISPLAY;
    EGLContext context = EGL_NO_CONTEXT;
    EGLSurface draw = EGL_NO_SURFACE;
    EGLSurface read = EGL_NO_SURFACE;
};

OffscreenContext::DriverLoad::DriverLoad()
{
    QString ignored;
    const std::vector<EGLDisplay> candidates = displayCandidates(&ignored);
    if (!candidates.empty() && acquireDisplay(candidates.front()))
        m_display = candidates.front();
}

OffscreenContext::DriverLoad::~DriverLoad()
{
    if (m_display)
        releaseDisplay(m_display);
}

OffscreenContext::OffscreenContext() = default;

OffscreenContext::~OffscreenContext()
{
    destroy();
}

void OffscreenContext::destroy()
{
    if (!m_egl)
        return;
    if (m_framebuffer) {
        CurrentScope scope(*this);
        if (scope.isCurrent())
            releaseFramebuffer();
    }
    eglDestroyContext(m_egl->display, m_egl->context);
    if (m_egl->surface != EGL_NO_SURFACE)
        eglDestroySurface(m_egl->display, m_egl->surface);
    releaseDisplay(m_egl->display);
    m_egl.reset();
    m_framebuffer = m_colorBuffer = 0;
    m_size = {};
}

bool OffscreenContext::isValid() const
{
    return m_egl != nullptr;
}

QString OffscreenContext::rendererName() const
{
    return m_renderer;
}

bool OffscreenContext::create(QString* error)
{
    QString scratch;
    if (!error)
        error = &scratch;
    if (m_egl)
        return true;

    const std::vector<EGLDisplay> candidates = displayCandidates(error);
    if (candidates.empty())
        return false;

    const EGLint contextAttributes[] = {EGL_CONTEXT_MAJOR_VERSION, 3, EGL_CONTEXT_MINOR_VERSION, 3,
                                        EGL_CONTEXT_OPENGL_PROFILE_MASK, EGL_CONTEXT_OPENGL_CORE_PROFILE_BIT,
                                        EGL_NONE};
    QString lastFailure;
    for (EGLDisplay display : candidates) {
        if (!acquireDisplay(display)) {
            lastFailure = eglErrorText("eglInitialize");
            continue;
        }
        auto egl = std::make_unique<Egl>();
        egl->display = display;
        if (!eglBindAPI(EGL_OPENGL_API)) {
            lastFailure = eglErrorText("eglBindAPI(OpenGL)");
            releaseDisplay(display);
            continue;
        }
        const char* displayExtensions = eglQueryString(display, EGL_EXTENSIONS);
        const bool configless = hasToken(displayExtensions, "EGL_KHR_no_config_context")
            || hasToken(displayExtensions, "EGL_MESA_configless_context");
        const bool surfaceless = hasToken(displayExtensions, "EGL_KHR_surfaceless_context");
        EGLConfig config = EGL_NO_CONFIG_KHR;
        if (!configless || !surfaceless) {
            const EGLint configAttributes[] = {EGL_RENDERABLE_TYPE, EGL_OPENGL_BIT, EGL_SURFACE_TYPE, EGL_PBUFFER_BIT,
                                               EGL_RED_SIZE, 8, EGL_GREEN_SIZE, 8, EGL_BLUE_SIZE, 8, EGL_ALPHA_SIZE, 8,
                                               EGL_NONE};
            EGLint found = 0;
            if (!eglChooseConfig(display, configAttributes, &config, 1, &found) || found < 1) {
                lastFailure = QStringLiteral("the EGL display has no OpenGL configuration");
                releaseDisplay(display);
                continue;
            }
        }
        egl->context = eglCreateContext(display, config, EGL_NO_CONTEXT, contextAttributes);
        if (egl->context == EGL_NO_CONTEXT) {
            lastFailure = eglErrorText("Creating an OpenGL 3.3 core context");
            releaseDisplay(display);
            continue;
        }
        if (!surfaceless) {
            const EGLint pbufferAttributes[] = {EGL_WIDTH, 1, EGL_HEIGHT, 1, EGL_NONE};
            egl->surface = eglCreatePbufferSurface(display, config, pbufferAttributes);
            if (egl->surface == EGL_NO_SURFACE) {
                lastFailure = eglErrorText("eglCreatePbufferSurface");
                eglDestroyContext(display, egl->context);
                releaseDisplay(display);
                continue;
            }
        }
        m_egl = std::move(egl);
        {
            CurrentScope scope(*this);
            if (!scope.isCurrent()) {
                lastFailure = eglErrorText("eglMakeCurrent");
            } else if (!epoxy_is_desktop_gl() || epoxy_gl_version() < 33) {
                lastFailure = QStringLiteral("the context offers OpenGL %1, 3.3 core is needed")
                                  .arg(QString::fromLatin1(reinterpret_cast<const char*>(glGetString(GL_VERSION))));
            } else {
                m_renderer = QString::fromLatin1(reinterpret_cast<const char*>(glGetString(GL_RENDERER)));
                GLint renderbuffer = 0;
                GLint viewport[2] = {0, 0};
                glGetIntegerv(GL_MAX_RENDERBUFFER_SIZE, &renderbuffer);
                glGetIntegerv(GL_MAX_VIEWPORT_DIMS, viewport);
                m_maxRenderbufferSize = std::min({renderbuffer, viewport[0], viewport[1]});
                return true;
            }
        }
        const std::unique_ptr<Egl> failed = std::move(m_egl);
        eglDestroyContext(display, failed->context);
        if (failed->surface != EGL_NO_SURFACE)
            eglDestroySurface(display, failed->surface);
        releaseDisplay(display);
    }
    *error = QStringLiteral("No OpenGL available: %1").arg(lastFailure);
    return false;
}

bool OffscreenContext::makeCurrent()
{
    return m_egl && eglMakeCurrent(m_egl->display, m_egl->surface, m_egl->surface, m_egl->context);
}

OffscreenContext::CurrentScope::CurrentScope(OffscreenContext& context)
    : m_context(context), m_previous(std::make_unique<Previous>())
{
    if (!context.m_egl)
        return;
    if (QOpenGLContext* qt = QOpenGLContext::currentContext()) {
        m_previous->qtContext = qt;
        m_previous->qtSurface = qt->surface();
        qt->doneCurrent();
    } else if (eglGetCurrentContext() != EGL_NO_CONTEXT) {
        m_previous->display = eglGetCurrentDisplay();
        m_previous->context = eglGetCurrentContext();
        m_previous->draw = eglGetCurrentSurface(EGL_DRAW);
        m_previous->read = eglGetCurrentSurface(EGL_READ);
    }
    eglBindAPI(EGL_OPENGL_API);
    m_current = context.makeCurrent();
}

OffscreenContext::CurrentScope::~CurrentScope()
{
    if (!m_context.m_egl)
        return;
    if (m_current)
        eglMakeCurrent(m_context.m_egl->display, EGL_NO_SURFACE, EGL_NO_SURFACE, EGL_NO_CONTEXT);
    if (m_previous->qtContext && m_previous->qtSurface)
        m_previous->qtContext->makeCurrent(m_previous->qtSurface);
    else if (m_previous->context != EGL_NO_CONTEXT)
        eglMakeCurrent(m_previous->display, m_previous->draw, m_previous->read, m_previous->context);
}

void OffscreenContext::releaseFramebuffer()
{
    if (m_framebuffer)
        glDeleteFramebuffers(1, &m_framebuffer);
    if (m_colorBuffer)
        glDeleteRenderbuffers(1, &m_colorBuffer);
    m_framebuffer = m_colorBuffer = 0;
    m_size = {};
}

bool OffscreenContext::beginFrame(QSize pixels, QString* error)
{
    QString scratch;
    if (!error)
        error = &scratch;
    if (!m_egl || pixels.width() < 1 || pixels.height() < 1) {
        *error = QStringLiteral("No off-screen target of %1 × %2 pixels").arg(pixels.width()).arg(pixels.height());
        return false;
    }
    if (pixels.width() > m_maxRenderbufferSize || pixels.height() > m_maxRenderbufferSize) {
        *error = QStringLiteral("%1 × %2 pixels exceed the renderer's limit of %3")
                     .arg(pixels.width())
                     .arg(pixels.height())
                     .arg(m_maxRenderbufferSize);
        return false;
    }
    if (pixels != m_size) {
        releaseFramebuffer();
        drainErrors();
        glGenFramebuffers(1, &m_framebuffer);
        glBindFramebuffer(GL_FRAMEBUFFER, m_framebuffer);
        glGenRenderbuffers(1, &m_colorBuffer);
        glBindRenderbuffer(GL_RENDERBUFFER, m_colorBuffer);
        glRenderbufferStorage(GL_RENDERBUFFER, GL_RGBA8, pixels.width(), pixels.height());
        glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_RENDERBUFFER, m_colorBuffer);
        glBindRenderbuffer(GL_RENDERBUFFER, 0);
        const GLenum status = glCheckFramebufferStatus(GL_FRAMEBUFFER);
        const GLenum glError = glGetError();
        if (status != GL_FRAMEBUFFER_COMPLETE || glError != GL_NO_ERROR) {
            *error = QStringLiteral("An off-screen target of %1 × %2 pixels could not be made (0x%3, 0x%4)")
                         .arg(pixels.width())
                         .arg(pixels.height())
                         .arg(status, 0, 16)
                         .arg(glError, 0, 16);
            glBindFramebuffer(GL_FRAMEBUFFER, 0);
            releaseFramebuffer();
            return false;
        }
        m_size = pixels;
    }
    glBindFramebuffer(GL_FRAMEBUFFER, m_framebuffer);
    glViewport(0, 0, pixels.width(), pixels.height());
    glDisable(GL_SCISSOR_TEST);
    glColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE);
    glClearColor(0, 0, 0, 0);
    glClear(GL_COLOR_BUFFER_BIT);
    return true;
}

bool OffscreenContext::readPixels(QImage& target)
{
    if (!m_framebuffer || target.size() != m_size || target.depth() != 32)
        return false;
    return readRows(0, m_size.height(), target.bits(), target.bytesPerLine());
}

bool OffscreenContext::readRows(int first, int count, uchar* target, qsizetype bytesPerLine)
{
    if (!m_framebuffer || !target || first < 0 || count < 1 || first + count > m_size.height()
        || bytesPerLine < qsizetype(m_size.width()) * 4 || bytesPerLine % 4 != 0)
        return false;
    drainErrors();
    glBindFramebuffer(GL_READ_FRAMEBUFFER, m_framebuffer);
    glReadBuffer(GL_COLOR_ATTACHMENT0);
    glPixelStorei(GL_PACK_ALIGNMENT, 4);
    glPixelStorei(GL_PACK_ROW_LENGTH, GLint(bytesPerLine / 4));
    glReadPixels(0, first, m_size.width(), count, GL_RGBA, GL_UNSIGNED_BYTE, target);
    glPixelStorei(GL_PACK_ROW_LENGTH, 0);
    return glGetError() == GL_NO_ERROR;
}

} // namespace pelorin
