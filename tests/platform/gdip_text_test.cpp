#include "platform/gdip_graphics.h"

#include <QFontMetricsF>
#include <QImage>
#include <gtest/gtest.h>

#include <optional>

namespace {

using namespace platform;

const QString kSong = QStringLiteral("宋体");

// The extent of the non-white pixels of a surface.
std::optional<QRect> Ink(const QImage& image, const QRect& within = QRect()) {
    const QRect area = within.isNull() ? image.rect() : within.intersected(image.rect());
    int left = INT_MAX, top = INT_MAX, right = -1, bottom = -1;
    for (int y = area.top(); y <= area.bottom(); ++y) {
        for (int x = area.left(); x <= area.right(); ++x) {
            if (image.pixel(x, y) == qRgb(255, 255, 255)) continue;
            left = std::min(left, x);
            right = std::max(right, x);
            top = std::min(top, y);
            bottom = std::max(bottom, y);
        }
    }
    if (right < 0) return std::nullopt;
    return QRect(QPoint(left, top), QPoint(right, bottom));
}

// Draws one text the way the photo panel's cell routine does: its own family,
// format, font and brush, deleted afterwards.
struct TextCall {
    QString text;
    RectF rect;
    StringAlignment align = StringAlignmentNear;
    StringTrimming trimming = StringTrimmingEllipsisCharacter;
    QString family = kSong;
    float size = 12;
};

QImage Draw(const TextCall& call, QSize surfaceSize = QSize(300, 40)) {
    QImage surface(surfaceSize, QImage::Format_RGB32);
    surface.fill(Qt::white);
    GpGraphics* graphics = GdipCreateFromHDC(&surface);
    GpFontFamily* family = GdipCreateFontFamilyFromName(call.family);
    GpStringFormat* format = GdipCreateStringFormat(0, 0);
    GpFont* font = GdipCreateFont(family, call.size, FontStyleRegular, UnitPixel);
    GdipSetStringFormatFlags(format, StringFormatFlagsNoWrap);
    GdipSetStringFormatAlign(format, call.align);
    GdipSetStringFormatTrimming(format, call.trimming);
    GpBrush* brush = GdipCreateSolidFill(0xFF000000u);
    GdipDrawString(graphics, call.text, -1, font, &call.rect, format, brush);
    GdipDeleteFontFamily(family);
    GdipDeleteStringFormat(format);
    GdipDeleteFont(font);
    GdipDeleteBrush(brush);
    GdipDeleteGraphics(graphics);
    return surface;
}

class Text : public ::testing::Test {
protected:
    void SetUp() override {
        family = GdipCreateFontFamilyFromName(kSong);
        ASSERT_NE(family, nullptr) << "fonts-noto-cjk is needed";
        font = GdipCreateFont(family, 12, FontStyleRegular, UnitPixel);
        format = GdipCreateStringFormat(0, 0);
        GdipSetStringFormatFlags(format, StringFormatFlagsNoWrap);
        GdipSetStringFormatTrimming(format, StringTrimmingEllipsisCharacter);
    }
    void TearDown() override {
        GdipDeleteFont(font);
        GdipDeleteFontFamily(family);
        GdipDeleteStringFormat(format);
        EXPECT_EQ(GdipLiveObjects().total(), 0);
    }
    qreal advance(const QString& text) const {
        QFont f(GdipFontFamilyFace(family));
        f.setPixelSize(12);
        return QFontMetricsF(f).horizontalAdvance(text);
    }

    GpFontFamily* family = nullptr;
    GpFont* font = nullptr;
    GpStringFormat* format = nullptr;
};

TEST(FontFamily, WindowsFacesFallBackToInstalledChineseFaces) {
    struct Case {
        const char* name;
        QString asked;
        QString expect;  // empty: no family
    };
    const Case cases[] = {
        {"Song face", kSong, QStringLiteral("Noto Serif CJK SC")},
        {"Song face by its Latin name", QStringLiteral("simsun"), QStringLiteral("Noto Serif CJK SC")},
        {"Hei face", QStringLiteral("黑体"), QStringLiteral("Noto Sans CJK SC")},
        {"installed face", QStringLiteral("Noto Sans CJK SC"), QStringLiteral("Noto Sans CJK SC")},
        {"installed face in other case", QStringLiteral("noto sans cjk sc"), QStringLiteral("Noto Sans CJK SC")},
        {"no such face", QStringLiteral("No Such Face 123"), QString()},
        {"empty name", QString(), QString()},
    };
    for (const Case& c : cases) {
        GpFontFamily* family = GdipCreateFontFamilyFromName(c.asked);
        EXPECT_EQ(GdipFontFamilyFace(family), c.expect) << c.name;
        EXPECT_EQ(family != nullptr, !c.expect.isEmpty()) << c.name;
        if (family) GdipDeleteFontFamily(family);
    }
}

TEST_F(Text, LayoutAlignsAndTrims) {
    struct Case {
        const char* name;
        QString text;
        RectF rect;
        StringAlignment align;
        StringTrimming trimming;
        QString expectText;
        // Where the line's advance must start, from its width w.
        std::function<qreal(qreal w)> expectX;
    };
    const QString abc = QStringLiteral("ABC 光圈");
    const QString longText = QStringLiteral("一二三四五六七八九十一二三四五六七八九十");
    const Case cases[] = {
        {"near", abc, {10, 5, 200, 12}, StringAlignmentNear, StringTrimmingEllipsisCharacter, abc,
         [](qreal) { return 10.0; }},
        {"centre", abc, {10, 5, 200, 12}, StringAlignmentCenter, StringTrimmingEllipsisCharacter, abc,
         [](qreal w) { return 110.0 - w / 2; }},
        {"far", abc, {10, 5, 200, 12}, StringAlignmentFar, StringTrimmingEllipsisCharacter, abc,
         [](qreal w) { return 210.0 - w; }},
        {"unbounded near", abc, {10, 5, 0, 0}, StringAlignmentNear, StringTrimmingEllipsisCharacter, abc,
         [](qreal) { return 10.0; }},
        {"unbounded centre: centred on x", abc, {100, 5, 0, 0}, StringAlignmentCenter,
         StringTrimmingEllipsisCharacter, abc, [](qreal w) { return 100.0 - w / 2; }},
        {"unbounded far: ends at x", abc, {100, 5, 0, 0}, StringAlignmentFar, StringTrimmingEllipsisCharacter,
         abc, [](qreal w) { return 100.0 - w; }},
        {"line breaks become spaces", QStringLiteral("a\nb\r\nc\rd"), {0, 0, 0, 0}, StringAlignmentNear,
         StringTrimmingEllipsisCharacter, QStringLiteral("a b c d"), [](qreal) { return 0.0; }},
        {"too wide without trimming keeps the text from the near edge", longText, {30, 0, 60, 12},
         StringAlignmentFar, StringTrimmingNone, longText, [](qreal) { return 30.0; }},
    };
    for (const Case& c : cases) {
        GdipSetStringFormatAlign(format, c.align);
        GdipSetStringFormatTrimming(format, c.trimming);
        const StringLine line = GdipLayoutString(c.text, -1, font, c.rect, format);
        EXPECT_EQ(line.text, c.expectText) << c.name;
        EXPECT_NEAR(line.bounds.X, c.expectX(line.bounds.Width), 0.01) << c.name;
        EXPECT_FLOAT_EQ(line.bounds.Y, c.rect.Y) << c.name;
    }
}

TEST_F(Text, TooWideEndsInAnEllipsisWithinTheRectangle) {
    struct Case {
        const char* name;
        QString text;
        float width;
        StringAlignment align;
    };
    const Case cases[] = {
        {"file name of 40 Chinese characters in 192", QString(40, QChar(0x56FE)), 192, StringAlignmentNear},
        {"long value in the 290-pixel column", QString(80, u'9'), 290, StringAlignmentNear},
        {"long label stays right-aligned", QString(30, QChar(0x5149)), 160, StringAlignmentFar},
    };
    for (const Case& c : cases) {
        GdipSetStringFormatAlign(format, c.align);
        const RectF rect{30, 4, c.width, 12};
        const StringLine line = GdipLayoutString(c.text, -1, font, rect, format);
        EXPECT_TRUE(line.text.endsWith(QChar(0x2026))) << c.name;
        EXPECT_LT(line.text.size(), c.text.size()) << c.name;
        EXPECT_LE(line.bounds.Width, c.width) << c.name;
        EXPECT_GE(line.bounds.X, rect.X - 0.01) << c.name;
        EXPECT_LE(line.bounds.X + line.bounds.Width, rect.X + rect.Width + 0.01) << c.name;
        if (c.align == StringAlignmentFar) {
            EXPECT_NEAR(line.bounds.X + line.bounds.Width, rect.X + rect.Width, 0.01) << c.name;
        }
    }
    // The length argument takes only the first UTF-16 units.
    EXPECT_EQ(GdipLayoutString(QStringLiteral("abcdef"), 3, font, RectF{}, format).text, QStringLiteral("abc"));
}

TEST(DrawString, InkStaysInItsCellAndFollowsTheAlignment) {
    struct Case {
        const char* name;
        TextCall call;
        // Expected ink: within [minX, maxX]; its centre near `centre` (if >= 0).
        int minX, maxX;
        qreal centre;
    };
    const QString number = QStringLiteral("12");
    const Case cases[] = {
        {"number cell centred in 0..30", {number, {0, 4, 30, 12}, StringAlignmentCenter}, 0, 29, 15},
        {"label cell right-aligned to 190", {QStringLiteral("曝光时间"), {30, 4, 160, 12}, StringAlignmentFar}, 30, 189, -1},
        {"value cell from 198", {QStringLiteral("1/125 秒"), {198, 4, 90, 12}, StringAlignmentNear}, 198, 287, -1},
        {"too wide, ellipsis", {QString(60, QChar(0x5149)), {20, 4, 100, 12}}, 20, 119, -1},
        {"too wide, clipped", {QString(60, QChar(0x5149)), {20, 4, 100, 12}, StringAlignmentNear, StringTrimmingNone}, 20, 119, -1},
    };
    for (const Case& c : cases) {
        const QImage surface = Draw(c.call);
        const auto ink = Ink(surface);
        ASSERT_TRUE(ink.has_value()) << c.name;
        EXPECT_GE(ink->left(), c.minX) << c.name;
        EXPECT_LE(ink->right(), c.maxX) << c.name;
        if (c.centre >= 0) {
            EXPECT_NEAR((ink->left() + ink->right() + 1) / 2.0, c.centre, 1.5) << c.name;
        }
        EXPECT_GE(ink->top(), static_cast<int>(c.call.rect.Y)) << c.name;
    }
    // Far alignment puts the ink's right edge at the rectangle's right edge.
    const auto far = Ink(Draw(cases[1].call));
    EXPECT_GE(far->right(), 186);
    // Near alignment starts at the left edge.
    const auto near = Ink(Draw(cases[2].call));
    EXPECT_LE(near->left(), 200);
}

TEST(DrawString, EllipsisIsDrawnAtTheCut) {
    // A line of capital Ws cut at 100 pixels: with the ellipsis the last
    // glyph is three dots on the baseline, so the top half of the line's end
    // is empty; cut without an ellipsis a W fills it.
    const QString ws(40, u'W');
    TextCall call{ws, {0, 0, 100, 0}};
    call.size = 20;
    const QImage withEllipsis = Draw(call, QSize(120, 40));
    call.trimming = StringTrimmingNone;
    const QImage clipped = Draw(call, QSize(120, 40));

    const auto all = Ink(withEllipsis);
    ASSERT_TRUE(all.has_value());
    const int middle = (all->top() + all->bottom()) / 2;
    // The region of the last glyph: the final 8 pixels of the ink.
    const QRect endTop(all->right() - 7, all->top(), 8, middle - all->top());
    const QRect endBottom(all->right() - 7, middle + 1, 8, all->bottom() - middle);
    EXPECT_FALSE(Ink(withEllipsis, endTop).has_value()) << "ellipsis has no ink in the upper half";
    EXPECT_TRUE(Ink(withEllipsis, endBottom).has_value()) << "ellipsis dots on the baseline";
    EXPECT_TRUE(Ink(clipped, QRect(92, all->top(), 8, middle - all->top())).has_value())
        << "a clipped W reaches the upper half";
    EXPECT_FALSE(Ink(clipped, QRect(100, 0, 20, 40)).has_value()) << "clipped at the rectangle";
}

TEST(DrawString, NothingIsDrawnWithoutTextOrObjects) {
    struct Case {
        const char* name;
        TextCall call;
    };
    const Case cases[] = {
        {"empty text", {QString(), {0, 0, 100, 12}}},
        {"missing face", {QStringLiteral("光圈"), {0, 0, 100, 12}, StringAlignmentNear,
                          StringTrimmingEllipsisCharacter, QStringLiteral("No Such Face 123")}},
        {"rectangle left of the surface", {QStringLiteral("光圈"), {-500, 0, 100, 12}}},
    };
    for (const Case& c : cases) EXPECT_FALSE(Ink(Draw(c.call)).has_value()) << c.name;
    EXPECT_EQ(GdipLiveObjects().total(), 0);

    QImage surface(10, 10, QImage::Format_RGB32);
    GpGraphics* graphics = GdipCreateFromHDC(&surface);
    const RectF rect{0, 0, 10, 10};
    EXPECT_EQ(GdipDrawString(graphics, QStringLiteral("a"), -1, nullptr, &rect, nullptr, nullptr),
              InvalidParameter);
    GdipDeleteGraphics(graphics);
}

}  // namespace
