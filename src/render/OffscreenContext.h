#pragma once

#include <QImage>
#include <QSize>
#include <QString>

#include <memory>

namespace pelorin {

// An OpenGL 3.3 core context that needs no window system (Mesa's surfaceless EGL platform,
// else the first EGL device that offers one), drawing into a framebuffer object of its own:
// 8-bit RGBA colour, no depth buffer. Used from one thread at a time.
class OffscreenContext {
public:
    OffscreenContext();
    ~OffscreenContext();
    OffscreenContext(const OffscreenContext&) = delete;
    OffscreenContext& operator=(const OffscreenContext&) = delete;

    // Sets up the display and the context; on failure says why (no EGL, no OpenGL 3.3, …).
    bool create(QString* error);

    // Loads the OpenGL driver, most of create()'s time, ahead of it: made on another thread,
    // it lets the caller do other work meanwhile. The display stays set up while the object
    // lives, so that create() finds it ready. Failures are left for create() to report.
    class DriverLoad {
    public:
        DriverLoad();
        ~DriverLoad();
        DriverLoad(const DriverLoad&) = delete;
        DriverLoad& operator=(const DriverLoad&) = delete;

    private:
        void* m_display = nullptr; // an EGLDisplay
    };
    bool isValid() const;
    // Frees the context and its framebuffer (and the display once no other context uses it);
    // create() makes a new one. Whatever the caller made in it must be released first.
    void destroy();
    QString rendererName() const; // GL_RENDERER, once the context was current

    // Makes the context current for its lifetime and then hands the thread back to whatever
    // was current before, a Qt context included (Qt does not notice a foreign context taking
    // over, so it has to be given back explicitly).
    class CurrentScope {
    public:
        explicit CurrentScope(OffscreenContext& context);
        ~CurrentScope();
        CurrentScope(const CurrentScope&) = delete;
        CurrentScope& operator=(const CurrentScope&) = delete;
        bool isCurrent() const { return m_current; }

    private:
        struct Previous;
        OffscreenContext& m_context;
        std::unique_ptr<Previous> m_previous;
        bool m_current = false;
    };

    // While current: binds a framebuffer of `pixels`, reallocating it only when the size
    // changed, and clears it to transparent.
    bool beginFrame(QSize pixels, QString* error);
    QSize framebufferSize() const { return m_size; }
    // While current: reads the bound framebuffer into `target`, which must already have the
    // framebuffer's size and a 4-byte RGBA format. Rows arrive bottom-up.
    bool readPixels(QImage& target);
    // While current: reads `count` rows from `first` (GL's order, bottom-up) of the bound
    // framebuffer as RGBA into `target`, rows `bytesPerLine` apart.
    bool readRows(int first, int count, uchar* target, qsizetype bytesPerLine);

private:
    bool makeCurrent();
    void releaseFramebuffer();

    struct Egl;
    std::unique_ptr<Egl> m_egl;
    unsigned m_framebuffer = 0;
    unsigned m_colorBuffer = 0;
    QSize m_size;
    int m_maxRenderbufferSize = 0;
    QString m_renderer;
};

} // namespace pelorin
