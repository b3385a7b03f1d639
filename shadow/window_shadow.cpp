#include "shadow/window_shadow.h"

#include "platform/messages.h"
#include "shadow/window_system.h"

#include <QEvent>
#include <QGuiApplication>
#include <QScreen>
#include <algorithm>

namespace viewer {
namespace {

std::function<bool()>& translucencyProbe() {
    static std::function<bool()> probe;
    return probe;
}

std::size_t indexOf(StripSide side) { return static_cast<std::size_t>(side); }

}  // namespace

WindowShadow::WindowShadow(QObject* parent) : QObject(parent) { detectSupport(); }

WindowShadow::~WindowShadow() {
    if (window_) window_->removeEventFilter(this);
    destroyStrips();
}

void WindowShadow::setTranslucencyProbe(std::function<bool()> probe) {
    translucencyProbe() = std::move(probe);
}

StripWindow* WindowShadow::strip(StripSide side) const { return strips_[indexOf(side)]; }

void WindowShadow::setColor(const QColor& colour) {
    if (colour.rgb() == color_.rgb()) return;
    color_ = QColor::fromRgb(colour.rgb());
    renderAll();
}

void WindowShadow::setDepth(int depth) {
    // The alpha ramps divide by the depth.
    if (depth < 1 || depth == depth_) return;
    depth_ = depth;
    renderAll();
}

void WindowShadow::setOpacity(int opacity) {
    opacity = std::clamp(opacity, 0, 255);
    if (opacity == opacity_) return;
    opacity_ = opacity;
    renderAll();
}

bool WindowShadow::attach(QWidget* window) {
    if (bound_) {
        reportMisuse(QStringLiteral("Only a single form per cShadow instance is allowed"));
        return false;
    }
    if (!supported_) return false;
    if (!window) {
        reportMisuse(QStringLiteral("Invalid window handle"));
        return false;
    }
    bound_ = true;
    window_ = window;
    window->installEventFilter(this);
    watchDisplays();
    createStrips();
    return true;
}

void WindowShadow::reportMisuse(const QString& text) const {
    const QString where = QStringLiteral("WindowShadow.attach");
    platform::logError(where + QStringLiteral(": ") + text);
    platform::showMessage(text + QLatin1Char('.'), platform::MessageIcon::Warning,
                          QStringLiteral("Error in ") + where);
}

// The filter sees each event before the window does and never takes one.
bool WindowShadow::eventFilter(QObject* watched, QEvent* event) {
    if (watched != window_) return false;
    switch (event->type()) {
    case QEvent::Move:
    case QEvent::Resize: place(); break;
    case QEvent::Show:
        place();
        showStrips(true, false);
        break;
    case QEvent::Hide: showStrips(false, false); break;
    case QEvent::WindowStateChange: {
        // Restored; while minimised the window system hides the owned strips.
        const Qt::WindowStates sized =
            Qt::WindowMinimized | Qt::WindowMaximized | Qt::WindowFullScreen;
        if (!(window_->windowState() & sized) && windowVisible()) showStrips(true, false);
        break;
    }
    case QEvent::ThemeChange:
    case QEvent::ApplicationPaletteChange:
        detectSupport();
        renderAll();
        break;
    default: break;
    }
    return false;
}

// A screen added, removed or changed may take translucency away (or bring it).
void WindowShadow::watchDisplays() {
    if (!qGuiApp) return;
    const auto watchScreen = [this](QScreen* screen) {
        connect(screen, &QScreen::geometryChanged, this, &WindowShadow::displayChanged);
    };
    for (QScreen* screen : QGuiApplication::screens()) watchScreen(screen);
    connect(qGuiApp, &QGuiApplication::screenAdded, this, [this, watchScreen](QScreen* screen) {
        watchScreen(screen);
        displayChanged();
    });
    connect(qGuiApp, &QGuiApplication::screenRemoved, this, &WindowShadow::displayChanged);
    connect(qGuiApp, &QGuiApplication::primaryScreenChanged, this, &WindowShadow::displayChanged);
}

void WindowShadow::displayChanged() {
    const bool wasSupported = supported_;
    detectSupport();
    if (wasSupported && !supported_) {
        destroyStrips();
    } else if (!wasSupported && supported_) {
        createStrips();
        renderAll();
        if (windowVisible()) showStrips(true, true);
    }
}

void WindowShadow::detectSupport() {
    const auto& probe = translucencyProbe();
    supported_ = probe ? probe() : translucentWindowsSupported();
}

void WindowShadow::createStrips() {
    if (!window_) return;
    for (QPointer<StripWindow>& strip : strips_) {
        if (!strip) strip = new StripWindow(window_);
    }
}

void WindowShadow::destroyStrips() {
    for (QPointer<StripWindow>& strip : strips_) delete strip.data();
}

void WindowShadow::renderStrip(StripSide side) {
    StripWindow* strip = strips_[indexOf(side)];
    if (!strip) return;
    const QRect placement = stripRect(side, windowRect(), depth_);
    strip->setPixels(placement, stripPixels(side, placement.size(), depth_, color_), opacity_);
}

void WindowShadow::renderAll() {
    if (!supported_) return;
    if (!windowVisible()) {
        // Nothing is drawn for a hidden window; forget the drawn size so that
        // the next show draws the new look instead of showing the old pixels.
        renderedFor_ = QSize();
        return;
    }
    for (StripSide side : {StripSide::Right, StripSide::Left, StripSide::Bottom, StripSide::Top}) {
        renderStrip(side);
    }
}

// Moving the window only moves the strips; a strip is drawn again only when
// the side it runs along changes length.
void WindowShadow::place() {
    const QRect window = windowRect();
    if (window.width() != renderedFor_.width()) {
        renderedFor_.setWidth(window.width());
        renderStrip(StripSide::Bottom);
        renderStrip(StripSide::Top);
    }
    if (window.height() != renderedFor_.height()) {
        renderedFor_.setHeight(window.height());
        renderStrip(StripSide::Right);
        renderStrip(StripSide::Left);
    }
    for (StripSide side : kStripSides) {
        if (StripWindow* strip = strips_[indexOf(side)])
            strip->setGeometry(stripRect(side, window, depth_));
    }
}

void WindowShadow::showStrips(bool shown, bool forced) {
    if (!forced && shown == stripsShown_) return;
    stripsShown_ = shown;
    for (const QPointer<StripWindow>& strip : strips_) {
        if (strip) strip->setVisible(shown);
    }
}

bool WindowShadow::windowVisible() const { return window_ && window_->isVisible(); }

QRect WindowShadow::windowRect() const { return window_ ? window_->frameGeometry() : QRect(); }

}  // namespace viewer
