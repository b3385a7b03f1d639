// One line of text in a rectangle, as the panel's caption and cells are
// drawn: the face found for the design's, the alignment, the ellipsis at
// the cut, and the ink kept inside its cell.
#include "platform/text_line.h"

#include <QFontMetricsF>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <gtest/gtest.h>

#include <climits>
#include <functional>
#include <optional>

namespace {

using platform::faceFont;
using platform::layoutTextLine;

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

struct Line {
    QString text;
    QRectF rect;
    Qt::Alignment alignment = Qt::AlignLeft;
    int pixels = 12;
};

QImage Draw(const Line& line, QSize surfaceSize = QSize(300, 40)) {
    QImage surface(surfaceSize, QImage::Format_RGB32);
    surface.fill(Qt::white);
    const std::optional<QFont> font = faceFont(kSong, line.pixels);
    EXPECT_TRUE(font.has_value()) << "fonts-noto-cjk is needed";
    QPainter painter(&surface);
    if (font)
        platform::drawTextLine(painter, line.text, line.rect, line.alignment, *font, Qt::black);
    return surface;
}

class TextLine : public ::testing::Test {
protected:
    void SetUp() override {
        const std::optional<QFont> found = faceFont(kSong, 12);
        ASSERT_TRUE(found.has_value()) << "fonts-noto-cjk is needed";
        font = *found;
    }

    QFont font;
};

TEST(FaceFont, WindowsFacesFallBackToInstalledChineseFaces) {
    const struct {
        const char* name;
        QString asked;
        QString expect;  // empty: no font
    } cases[] = {
        {"Song face", kSong, QStringLiteral("Noto Serif CJK SC")},
        {"Song face by its Latin name", QStringLiteral("simsun"),
         QStringLiteral("Noto Serif CJK SC")},
        {"installed face", QStringLiteral("Noto Sans CJK SC"), QStringLiteral("Noto Sans CJK SC")},
        {"installed face in other case", QStringLiteral("noto sans cjk sc"),
         QStringLiteral("Noto Sans CJK SC")},
        {"no such face", QStringLiteral("No Such Face 123"), QString()},
        {"empty name", QString(), QString()},
    };
    for (const auto& c : cases) {
        const std::optional<QFont> font = faceFont(c.asked, 12);
        EXPECT_EQ(font.has_value(), !c.expect.isEmpty()) << c.name;
        if (!font) continue;
        EXPECT_EQ(font->family(), c.expect) << c.name;
        EXPECT_EQ(font->pixelSize(), 12) << c.name;
    }
}

TEST_F(TextLine, LayoutAlignsAndTrims) {
    const QString abc = QStringLiteral("ABC 光圈");
    const struct {
        const char* name;
        QString text;
        QRectF rect;
        Qt::Alignment alignment;
        QString expectText;
        // Where the line's advance must start, from its width w.
        std::function<qreal(qreal w)> expectLeft;
    } cases[] = {
        {"left", abc, {10, 5, 200, 12}, Qt::AlignLeft, abc, [](qreal) { return 10.0; }},
        {"centre",
         abc,
         {10, 5, 200, 12},
         Qt::AlignHCenter,
         abc,
         [](qreal w) { return 110.0 - w / 2; }},
        {"right", abc, {10, 5, 200, 12}, Qt::AlignRight, abc, [](qreal w) { return 210.0 - w; }},
        {"unbounded left", abc, {10, 5, 0, 0}, Qt::AlignLeft, abc, [](qreal) { return 10.0; }},
        {"unbounded centre: centred on x",
         abc,
         {100, 5, 0, 0},
         Qt::AlignHCenter,
         abc,
         [](qreal w) { return 100.0 - w / 2; }},
        {"unbounded right: ends at x",
         abc,
         {100, 5, 0, 0},
         Qt::AlignRight,
         abc,
         [](qreal w) { return 100.0 - w; }},
        {"line breaks become spaces",
         QStringLiteral("a\nb\r\nc\rd\u2028e"),
         {0, 0, 0, 0},
         Qt::AlignLeft,
         QStringLiteral("a b c d e"),
         [](qreal) { return 0.0; }},
    };
    for (const auto& c : cases) {
        const platform::TextLine line = layoutTextLine(c.text, font, c.rect, c.alignment);
        EXPECT_EQ(line.text, c.expectText) << c.name;
        EXPECT_NEAR(line.left, c.expectLeft(line.width), 0.01) << c.name;
        EXPECT_NEAR(line.width, QFontMetricsF(font).horizontalAdvance(line.text), 0.01) << c.name;
    }
}

TEST_F(TextLine, TooWideEndsInAnEllipsisWithinTheRectangle) {
    const struct {
        const char* name;
        QString text;
        qreal width;
        Qt::Alignment alignment;
    } cases[] = {
        {"file name of 40 Chinese characters in 192", QString(40, QChar(0x56FE)), 192,
         Qt::AlignLeft},
        {"long value in the 290-pixel column", QString(80, u'9'), 290, Qt::AlignLeft},
        {"long label stays right-aligned", QString(30, QChar(0x5149)), 160, Qt::AlignRight},
        {"long line centred fills the cell", QString(30, QChar(0x5149)), 100, Qt::AlignHCenter},
    };
    for (const auto& c : cases) {
        const QRectF rect(30, 4, c.width, 12);
        const platform::TextLine line = layoutTextLine(c.text, font, rect, c.alignment);
        EXPECT_TRUE(line.text.endsWith(QChar(0x2026))) << c.name;
        EXPECT_LT(line.text.size(), c.text.size()) << c.name;
        EXPECT_LE(line.width, c.width) << c.name;
        EXPECT_GE(line.left, rect.left() - 0.01) << c.name;
        EXPECT_LE(line.left + line.width, rect.right() + 0.01) << c.name;
        if (c.alignment == Qt::AlignRight) {
            EXPECT_NEAR(line.left + line.width, rect.right(), 0.01) << c.name;
        }
    }
}

TEST(DrawTextLine, InkStaysInItsCellAndFollowsTheAlignment) {
    const struct {
        const char* name;
        Line line;
        // Expected ink: within [minX, maxX]; its centre near `centre` (if >= 0).
        int minX, maxX;
        qreal centre;
    } cases[] = {
        {"number cell centred in 0..30",
         {QStringLiteral("12"), {0, 4, 30, 12}, Qt::AlignHCenter},
         0,
         29,
         15},
        {"label cell right-aligned to 190",
         {QStringLiteral("曝光时间"), {30, 4, 160, 12}, Qt::AlignRight},
         30,
         189,
         -1},
        {"value cell from 198",
         {QStringLiteral("1/125 秒"), {198, 4, 90, 12}, Qt::AlignLeft},
         198,
         287,
         -1},
        {"too wide, ellipsis", {QString(60, QChar(0x5149)), {20, 4, 100, 12}}, 20, 119, -1},
    };
    for (const auto& c : cases) {
        const QImage surface = Draw(c.line);
        const auto ink = Ink(surface);
        ASSERT_TRUE(ink.has_value()) << c.name;
        EXPECT_GE(ink->left(), c.minX) << c.name;
        EXPECT_LE(ink->right(), c.maxX) << c.name;
        if (c.centre >= 0) {
            EXPECT_NEAR((ink->left() + ink->right() + 1) / 2.0, c.centre, 1.5) << c.name;
        }
        EXPECT_GE(ink->top(), static_cast<int>(c.line.rect.top())) << c.name;
    }
    // Right alignment puts the ink's right edge at the rectangle's right edge;
    // left alignment starts it at the left edge.
    EXPECT_GE(Ink(Draw(cases[1].line))->right(), 186);
    EXPECT_LE(Ink(Draw(cases[2].line))->left(), 200);
}

TEST(DrawTextLine, EllipsisIsDrawnAtTheCut) {
    // A line of capital Ws cut at 100 pixels: with the ellipsis the last
    // glyph is three dots on the baseline, so the top half of the line's end
    // is empty, where the line drawn whole has a W.
    const QString ws(40, u'W');
    const QImage cut = Draw({ws, {0, 0, 100, 0}, Qt::AlignLeft, 20}, QSize(120, 40));
    const QImage whole = Draw({ws, {0, 0, 0, 0}, Qt::AlignLeft, 20}, QSize(120, 40));

    const auto all = Ink(cut);
    ASSERT_TRUE(all.has_value());
    const int middle = (all->top() + all->bottom()) / 2;
    const QRect endTop(all->right() - 7, all->top(), 8, middle - all->top());
    const QRect endBottom(all->right() - 7, middle + 1, 8, all->bottom() - middle);
    EXPECT_FALSE(Ink(cut, endTop).has_value()) << "the ellipsis has no ink in the upper half";
    EXPECT_TRUE(Ink(cut, endBottom).has_value()) << "the ellipsis's dots on the baseline";
    EXPECT_TRUE(Ink(whole, endTop).has_value()) << "a W reaches the upper half there";
    EXPECT_FALSE(Ink(cut, QRect(100, 0, 20, 40)).has_value()) << "nothing right of the rectangle";
}

// Lines already drawn once are drawn from their kept glyphs: pixel for pixel
// as the line laid out and drawn as text, whichever face the glyphs come
// from, in any colour, font or offset, again and again.
TEST(DrawTextLine, KeptLinesAreDrawnAsTheTextItself) {
    const struct {
        const char* name;
        QString text;
        QRectF rect;
        Qt::Alignment alignment;
        QColor colour = Qt::black;
        int pixels = 12;
        QPointF offset{};
        // The application's face, whose Chinese glyphs come from a fallback
        // with a taller ascent, as the placeholder's lines are drawn.
        bool applicationFace = false;
    } cases[] = {
        {"number centred", QStringLiteral("12"), {0, 4, 30, 12}, Qt::AlignHCenter},
        {"label right-aligned", QStringLiteral("曝光时间"), {30, 4, 160, 12}, Qt::AlignRight},
        {"value from the left", QStringLiteral("1/125 秒"), {198, 4, 90, 12}, Qt::AlignLeft},
        {"the label in red", QStringLiteral("曝光时间"), {30, 4, 160, 12}, Qt::AlignRight, Qt::red},
        {"the label larger",
         QStringLiteral("曝光时间"),
         {30, 4, 160, 12},
         Qt::AlignRight,
         Qt::black,
         20},
        {"a fallback face, unbounded",
         QStringLiteral("无法预览"),
         {150, 10, 0, 0},
         Qt::AlignHCenter,
         Qt::darkGray,
         15,
         {},
         true},
        {"mixed scripts, fallback face",
         QStringLiteral("ISO 感光度 400"),
         {10, 6, 280, 0},
         Qt::AlignLeft,
         Qt::black,
         15,
         {},
         true},
        {"moved by whole pixels",
         QStringLiteral("F2.8"),
         {198, 4, 90, 12},
         Qt::AlignLeft,
         Qt::black,
         12,
         {3, 20}},
        {"moved by part of a pixel",
         QStringLiteral("F2.8"),
         {198, 4, 90, 12},
         Qt::AlignLeft,
         Qt::black,
         12,
         {0.5, 0.25}},
    };
    const auto surface = [] {
        QImage image(300, 50, QImage::Format_RGB32);
        image.fill(Qt::white);
        return image;
    };
    for (const auto& c : cases) {
        std::optional<QFont> font = faceFont(kSong, c.pixels);
        ASSERT_TRUE(font.has_value()) << "fonts-noto-cjk is needed";
        if (c.applicationFace) {
            font = QGuiApplication::font();
            font->setPixelSize(c.pixels);
        }
        QImage expected = surface();
        {
            QPainter painter(&expected);
            painter.translate(c.offset);
            const platform::TextLine line = layoutTextLine(c.text, *font, c.rect, c.alignment);
            if (c.rect.width() > 0)
                painter.setClipRect(QRectF(c.rect.x(), -1e6, c.rect.width(), 2e6));
            painter.setFont(*font);
            painter.setPen(c.colour);
            painter.drawText(QPointF(line.left, c.rect.y() + QFontMetricsF(*font).ascent()),
                             line.text);
        }
        ASSERT_TRUE(Ink(expected).has_value()) << c.name;
        for (const char* time : {"first", "second"}) {
            QImage drawn = surface();
            QPainter painter(&drawn);
            painter.translate(c.offset);
            platform::drawTextLine(painter, c.text, c.rect, c.alignment, *font, c.colour);
            painter.end();
            EXPECT_EQ(drawn, expected) << c.name << ", drawn a " << time << " time";
        }
    }
}

TEST(DrawTextLine, NothingIsDrawnWithoutText) {
    const struct {
        const char* name;
        Line line;
    } cases[] = {
        {"empty text", {QString(), {0, 0, 100, 12}}},
        {"rectangle left of the surface", {QStringLiteral("光圈"), {-500, 0, 100, 12}}},
        {"rectangle not finite", {QStringLiteral("光圈"), {qInf(), 0, 100, 12}}},
    };
    for (const auto& c : cases) EXPECT_FALSE(Ink(Draw(c.line)).has_value()) << c.name;
}

}  // namespace
