// A soft drop shadow around a borderless top-level window (the form): four
// translucent strip windows against its edges that follow it by watching
// the form's window messages.
#pragma once

#include "shadow/message_interceptor.h"
#include "shadow/shadow_strips.h"
#include "shadow/strip_window.h"

#include <QPointer>
#include <array>
#include <cstdint>
#include <functional>

class clsShadow : private shadow::SubclassCallback {
public:
    clsShadow();
    ~clsShadow() override;
    clsShadow(const clsShadow&) = delete;
    clsShadow& operator=(const clsShadow&) = delete;

    // 0x00BBGGRR; a system colour (&H80000000& + index) is resolved when set.
    std::uint32_t Color() const { return m_color; }
    void SetColor(std::uint32_t oleColor);
    // Width of each strip in pixels; a value below 1 keeps the previous one.
    std::int32_t Depth() const { return m_depth; }
    void SetDepth(std::int32_t depth);
    // Constant opacity over the whole shadow (255 = as drawn, 0 = invisible).
    std::uint8_t Transparency() const { return m_transparency; }
    void SetTransparency(std::uint8_t transparency);

    // Binds the shadow to the form and starts it; false when the display
    // cannot show it (silently) or the object already has a form (reported).
    bool Shadow(QWidget* form);

    // Replaces the display check (tests run the supported path offscreen);
    // an empty function restores the real one. Read when an object is
    // created and on display and theme changes.
    static void SetSupportProbe(std::function<bool()> probe);

    bool supported() const { return m_supported; }
    bool stripsShown() const { return m_stripsShown; }
    shadow::StripWindow* strip(shadow::Strip which) const;

private:
    void WindowProc(bool before, bool& handled, shadow::LResult& result, WId window,
                    std::uint32_t message, shadow::WParam wParam, shadow::LParam lParam,
                    std::int32_t& userValue) override;

    void DetectSupport();
    void CreateStrips();
    void DestroyStrips();
    void RenderStrip(shadow::Strip which);
    void RenderAll();
    void Placement();
    void ShowStrips(bool shown, bool forced);
    bool FormVisible() const;
    QRect FormRect() const;

    shadow::MessageInterceptor m_interceptor;
    std::uint32_t m_color = 0;
    std::int32_t m_depth = 7;
    std::uint8_t m_transparency = 140;
    bool m_supported = false;
    bool m_stripsShown = false;
    int m_lastRenderedWidth = 0;
    int m_lastRenderedHeight = 0;
    WId m_formId = 0;
    QPointer<QWidget> m_form;
    shadow::WindowPos m_placement;
    std::array<QPointer<shadow::StripWindow>, 4> m_strips;  // right, bottom, left, top
};
