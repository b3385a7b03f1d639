#include "shadow/cls_shadow.h"

#include "platform/runtime.h"
#include "platform/window_system.h"

#include <cstring>

using shadow::Strip;

namespace {

std::function<bool()>& SupportProbe() {
    static std::function<bool()> probe;
    return probe;
}

std::size_t IndexOf(Strip which) { return static_cast<std::size_t>(which); }

}  // namespace

clsShadow::clsShadow() : m_interceptor(QStringLiteral("clsShadow"), this) { DetectSupport(); }

clsShadow::~clsShadow() {
    m_interceptor.sc_UnSubclassAll();
    if (m_strips[IndexOf(Strip::Right)]) DestroyStrips();
}

void clsShadow::SetSupportProbe(std::function<bool()> probe) { SupportProbe() = std::move(probe); }

shadow::StripWindow* clsShadow::strip(Strip which) const { return m_strips[IndexOf(which)]; }

void clsShadow::SetColor(std::uint32_t oleColor) {
    const std::uint32_t rgb = platform::ResolveColor(oleColor);
    if (rgb == m_color) return;
    m_color = rgb;
    RenderAll();
}

void clsShadow::SetDepth(std::int32_t depth) {
    // The alpha ramps divide by the depth.
    if (depth < 1 || depth == m_depth) return;
    m_depth = depth;
    RenderAll();
}

void clsShadow::SetTransparency(std::uint8_t transparency) {
    if (transparency == m_transparency) return;
    m_transparency = transparency;
    RenderAll();
}

bool clsShadow::Shadow(QWidget* form) {
    if (m_formId != 0) {
        m_interceptor.zReportError(QStringLiteral("Shadow"),
                                   QStringLiteral("Only a single form per cShadow instance is allowed"));
        return false;
    }
    if (!m_supported) return false;
    m_formId = form ? form->winId() : 0;
    m_form = form;
    if (!m_interceptor.sc_Subclass(m_formId)) return false;
    for (std::uint32_t message : {shadow::WM_WINDOWPOSCHANGED, shadow::WM_SIZE,
                                  shadow::WM_DISPLAYCHANGE, shadow::WM_THEMECHANGED}) {
        m_interceptor.sc_AddWatch(m_formId, static_cast<std::int32_t>(message), shadow::MSG_BEFORE);
    }
    CreateStrips();
    return true;
}

void clsShadow::WindowProc(bool, bool&, shadow::LResult&, WId, std::uint32_t message,
                           shadow::WParam wParam, shadow::LParam lParam, std::int32_t&) {
    switch (message) {
    case shadow::WM_WINDOWPOSCHANGED:
        std::memcpy(&m_placement, reinterpret_cast<const void*>(lParam), sizeof m_placement);
        Placement();
        break;
    case shadow::WM_SIZE:
        if (wParam == shadow::SIZE_RESTORED && FormVisible()) ShowStrips(true, false);
        break;
    case shadow::WM_DISPLAYCHANGE: {
        const bool wasSupported = m_supported;
        DetectSupport();
        if (wasSupported && !m_supported) {
            DestroyStrips();
        } else if (!wasSupported && m_supported) {
            CreateStrips();
            RenderAll();
            if (FormVisible()) ShowStrips(true, true);
        }
        break;
    }
    case shadow::WM_THEMECHANGED:
        DetectSupport();
        RenderAll();
        break;
    default:
        break;
    }
}

void clsShadow::DetectSupport() {
    const auto& probe = SupportProbe();
    m_supported = probe ? probe() : platform::TranslucentWindowsSupported();
}

void clsShadow::CreateStrips() {
    if (!m_form) return;
    for (Strip which : shadow::kAllStrips) {
        if (!m_strips[IndexOf(which)]) m_strips[IndexOf(which)] = new shadow::StripWindow(m_form);
    }
}

void clsShadow::DestroyStrips() {
    for (Strip which : {Strip::Right, Strip::Bottom, Strip::Top, Strip::Left}) {
        delete m_strips[IndexOf(which)].data();
    }
}

void clsShadow::RenderStrip(Strip which) {
    shadow::StripWindow* window = m_strips[IndexOf(which)];
    if (!window) return;
    const QRect placement = shadow::StripRect(which, FormRect(), m_depth);
    window->UpdateLayered(placement,
                          shadow::RenderStripPixels(which, placement.size(), m_depth, m_color),
                          m_transparency);
}

void clsShadow::RenderAll() {
    if (!m_supported) return;
    if (!FormVisible()) {
        // Nothing is drawn while the form is hidden; forget the drawn size so
        // that the placement on the next show draws the new look instead of
        // showing the old pixels.
        m_lastRenderedWidth = 0;
        m_lastRenderedHeight = 0;
        return;
    }
    for (Strip which : {Strip::Right, Strip::Left, Strip::Bottom, Strip::Top}) RenderStrip(which);
}

void clsShadow::Placement() {
    if (m_placement.flags & shadow::SWP_HIDEWINDOW) {
        ShowStrips(false, false);
        return;
    }
    if (m_placement.cx != m_lastRenderedWidth) {
        m_lastRenderedWidth = m_placement.cx;
        RenderStrip(Strip::Bottom);
        RenderStrip(Strip::Top);
    }
    if (m_placement.cy != m_lastRenderedHeight) {
        m_lastRenderedHeight = m_placement.cy;
        RenderStrip(Strip::Right);
        RenderStrip(Strip::Left);
    }
    for (Strip which : shadow::kAllStrips) {
        if (shadow::StripWindow* window = m_strips[IndexOf(which)]) {
            window->setGeometry(shadow::StripRect(which, FormRect(), m_depth));
        }
    }
    if (m_placement.flags & shadow::SWP_SHOWWINDOW) ShowStrips(true, false);
}

void clsShadow::ShowStrips(bool shown, bool forced) {
    if (!forced && shown == m_stripsShown) return;
    m_stripsShown = shown;
    for (const QPointer<shadow::StripWindow>& window : m_strips) {
        if (window) window->setVisible(shown);
    }
}

bool clsShadow::FormVisible() const { return m_form && m_form->isVisible(); }

QRect clsShadow::FormRect() const {
    return QRect(m_placement.x, m_placement.y, m_placement.cx, m_placement.cy);
}
