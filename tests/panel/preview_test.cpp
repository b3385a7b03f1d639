// The panel's layout, empty state, preview and caption, and the life of one
// openPhoto call (pointer, reasons, the program's end without decoders).
#include "panel_fixture.h"

#include "controls/flat_scroll_bar.h"
#include "panel/hint_icon.h"
#include "panel/list_surface.h"
#include "photo/opened_photo.h"
#include "platform/messages.h"
#include "tiff_builder.h"

#include <QFrame>
#include <QPainter>
#include <QSignalSpy>
#include <QTest>

#include <stdexcept>

namespace paneltest {
namespace {

TEST_F(PanelTest, LayoutOfAPanel418High) {
    EXPECT_EQ(panel->size(), QSize(737, 418));
    EXPECT_EQ(panel->listViewport()->geometry(), QRect(200, 0, 520, 418));
    EXPECT_EQ(panel->listViewport()->contentsRect().size(), QSize(516, 414))
        << "a 2-pixel sunken frame";
    EXPECT_EQ(panel->listSurface()->x(), 0);
    EXPECT_EQ(panel->listSurface()->width(), 516);
    EXPECT_EQ(panel->scrollBar()->geometry(), QRect(720, 0, 17, 418));
    // (737 - 128) / 2 = 304.5, halves to even.
    EXPECT_EQ(panel->hintIcon()->geometry(), QRect(304, 106, 128, 128));
}

TEST_F(PanelTest, ResizeKeepsTheWidthAndReturnsToTheEmptyState) {
    OpenPhoto(Photo("a.jpg", 400, 300, 30));
    ASSERT_TRUE(panel->listViewport()->isVisible());
    struct Case {
        const char* name;
        QSize asked;
        QSize expected;
    };
    const Case cases[] = {
        {"wider", QSize(900, 300), QSize(737, 300)},
        {"narrower", QSize(500, 418), QSize(737, 418)},
        {"taller", QSize(737, 500), QSize(737, 500)},
    };
    for (const Case& c : cases) {
        panel->resize(c.asked);
        QCoreApplication::processEvents();
        EXPECT_EQ(panel->size(), c.expected) << c.name;
        const int h = c.expected.height();
        EXPECT_EQ(panel->listViewport()->geometry(), QRect(200, 0, 520, h)) << c.name;
        EXPECT_EQ(panel->listViewport()->contentsRect().height(), h - 4) << c.name;
        EXPECT_EQ(panel->scrollBar()->geometry(), QRect(720, 0, 17, h)) << c.name;
        EXPECT_EQ(panel->surface().size(), c.expected) << c.name;
        EXPECT_TRUE(panel->hintIcon()->isVisible()) << c.name;
        EXPECT_FALSE(panel->listViewport()->isVisible()) << c.name;
        EXPECT_FALSE(panel->scrollBar()->isVisible()) << c.name;
        EXPECT_FALSE(Bounds(panel->surface(), QRect(0, 0, 200, h), IsRed).isValid())
            << c.name << ": the preview is wiped";
    }
}

TEST_F(PanelTest, EmptyStateShowsIconAndCentredHintLine) {
    EXPECT_TRUE(panel->hintIcon()->isVisible());
    EXPECT_FALSE(panel->listViewport()->isVisible());
    EXPECT_FALSE(panel->scrollBar()->isVisible());
    const QImage surface = panel->surface();
    const QRect ink = Bounds(surface, surface.rect(), IsInk);
    ASSERT_TRUE(ink.isValid()) << "the hint line is drawn";
    EXPECT_GE(ink.top(), 260);
    EXPECT_LE(ink.bottom(), 260 + 30);
    EXPECT_GE(ink.height(), 14) << "16 points is about 21 pixels";
    EXPECT_NEAR(ink.center().x(), 737 / 2.0, 3.0) << "centred under the icon";
    // What is on screen is the surface.
    const QImage shown =
        panel->grab(QRect(0, 240, 737, 60)).toImage().convertToFormat(QImage::Format_RGB32);
    EXPECT_EQ(shown, surface.copy(0, 240, 737, 60));
}

TEST_F(PanelTest, PreviewAndCaptionPlacement) {
    struct Case {
        const char* name;
        int width, height;
        QRect preview;
        float captionTop;
    };
    const Case cases[] = {
        {"4000 x 3000", 4000, 3000, QRect(0, 134, 200, 150), 288},
        {"3000 x 4000: top 75.5 halves to 76", 3000, 4000, QRect(0, 76, 200, 267), 347},
        {"1000 x 4000: width 104.5 halves to 104", 1000, 4000, QRect(48, 0, 104, 418), 422},
        {"50 x 40 is enlarged", 50, 40, QRect(0, 129, 200, 160), 293},
        {"480 x 1000: top 0.5 halves to 0", 480, 1000, QRect(0, 0, 200, 417), 421},
        {"1070 x 4180: left 46.5 halves to 46", 1070, 4180, QRect(46, 0, 107, 418), 422},
    };
    for (const Case& c : cases) {
        const QString path =
            Photo(QStringLiteral("p%1x%2.jpg").arg(c.width).arg(c.height), c.width, c.height, 3);
        OpenPhoto(path);
        const QImage surface = panel->surface();
        const QRect column(0, 0, 200, 418);
        EXPECT_EQ(Bounds(surface, column, IsRed), c.preview) << c.name;
        EXPECT_EQ(panel->previewRect(), c.preview) << c.name;
        EXPECT_EQ(panel->photoWidth(), c.width) << c.name;
        EXPECT_EQ(panel->photoHeight(), c.height) << c.name;
        EXPECT_FALSE(panel->hintIcon()->isVisible()) << c.name;

        const QRectF first = panel->captionRect(0);
        const QRectF second = panel->captionRect(1);
        EXPECT_EQ(first.y(), c.captionTop) << c.name;
        EXPECT_EQ(second.y(), c.captionTop + 12) << c.name;
        EXPECT_EQ(first.x(), 8) << c.name;
        EXPECT_EQ(first.width(), 192) << c.name;
        EXPECT_EQ(first.height(), 0) << c.name;

        const QRect ink = Bounds(surface, column, IsInk);
        if (c.captionTop >= 418) {
            EXPECT_FALSE(ink.isValid()) << c.name << ": the caption lies below the panel";
        } else {
            ASSERT_TRUE(ink.isValid()) << c.name;
            EXPECT_GE(ink.top(), c.captionTop) << c.name;
            EXPECT_LE(ink.top(), c.captionTop + 8) << c.name;
            EXPECT_GE(ink.bottom(), c.captionTop + 12) << c.name << ": two lines";
            EXPECT_LE(ink.bottom(), c.captionTop + 12 + 18) << c.name;
            EXPECT_GE(ink.left(), 8) << c.name;
        }
        QCoreApplication::processEvents();
        const QImage shown = panel->grab(column).toImage().convertToFormat(QImage::Format_RGB32);
        EXPECT_EQ(shown, surface.copy(column)) << c.name << ": the panel shows its surface";
    }
}

// The caption is the file name, then "width × height": drawn the same way
// onto a blank picture, the caption rows must match pixel for pixel.
TEST_F(PanelTest, CaptionShowsNameAndSize) {
    struct Case {
        const char* name;
        QString file;
        int width, height;
        QString sizeLine;
    };
    const Case cases[] = {
        {"plain name", "photo.jpg", 400, 300, QString::fromUtf16(u"400 \u00D7 300")},
        {"Chinese name", QString::fromUtf16(u"相片 一.jpg"), 4000, 3000,
         QString::fromUtf16(u"4000 \u00D7 3000")},
    };
    for (const Case& c : cases) {
        const QString path = Photo(c.file, c.width, c.height, 2);
        OpenPhoto(path);
        EXPECT_EQ(panel->photoName(), c.file.toStdString()) << c.name;
        EXPECT_EQ(panel->photoFile(), path.toStdString()) << c.name;

        const QRectF first = panel->captionRect(0);
        QImage expected(panel->surface().size(), QImage::Format_RGB32);
        expected.fill(Qt::white);
        {
            QPainter painter(&expected);
            viewer::PhotoPanel::drawCellText(painter, c.file, first, Qt::AlignLeft);
            viewer::PhotoPanel::drawCellText(painter, c.sizeLine, panel->captionRect(1),
                                             Qt::AlignLeft);
        }
        const QRect rows(0, static_cast<int>(first.y()), 200, 40);
        EXPECT_EQ(panel->surface().copy(rows), expected.copy(rows)) << c.name;
    }
}

// A phone's photo: the shooting summary under the name and the size, drawn
// as they are; a photo that says none of it has two caption lines only.
TEST_F(PanelTest, ShootingSummaryUnderTheCaption) {
    testsupport::TiffSpec phone;
    phone.ifd0.fields = {testsupport::Ascii(0x010F, "Apple"),
                         testsupport::Ascii(0x0110, "iPhone 13 Pro")};
    phone.exif = testsupport::Ifd{
        {testsupport::Rational(0x829A, {{1, 134}}), testsupport::Rational(0x829D, {{3, 2}}),
         testsupport::Short(0x8827, {32}), testsupport::Rational(0x920A, {{57, 10}}),
         testsupport::Short(0xA405, {26})},
        {}};
    testsupport::TiffSpec longModel;
    longModel.ifd0.fields = {testsupport::Ascii(0x0110, std::string(60, 'M'))};
    longModel.exif = testsupport::Ifd{
        {testsupport::Rational(0x829D, {{28, 10}}), testsupport::Short(0x8827, {100})}, {}};
    const struct {
        const char* name;
        QString path;
        QString summary;
    } cases[] = {
        {"phone",
         Write("IMG_0001.JPG", WithExifJpeg(Encode(Solid(400, 300, Qt::red), "jpeg"),
                                            testsupport::BuildTiff(phone).bytes)),
         QString::fromUtf8("iPhone 13 Pro · 26 mm · F1.5 · 1/134 s · ISO 32")},
        {"a model wider than the column",
         Write("long.jpg", WithExifJpeg(Encode(Solid(400, 300, Qt::red), "jpeg"),
                                        testsupport::BuildTiff(longModel).bytes)),
         QString::fromStdString(std::string(60, 'M')) + QString::fromUtf8(" · F2.8 · ISO 100")},
        {"titles only", Photo("titles.jpg", 400, 300, 3), QString()},
    };
    for (const auto& c : cases) {
        OpenPhoto(c.path);
        ASSERT_TRUE(panel->showsPhoto()) << c.name;
        EXPECT_EQ(panel->shootingSummary(), c.summary) << c.name;
        const QStringList lines = viewer::PhotoPanel::summaryLines(c.summary);
        EXPECT_EQ(lines.join(QString::fromUtf8(" · ")), c.summary)
            << c.name << ": broken at separators only";
        ASSERT_EQ(panel->captionLines(), 2 + lines.size()) << c.name;
        const QRectF first = panel->captionRect(0);
        QImage expected(panel->surface().size(), QImage::Format_RGB32);
        expected.fill(Qt::white);
        {
            QPainter painter(&expected);
            viewer::PhotoPanel::drawCellText(painter, QString::fromStdString(panel->photoName()),
                                             first, Qt::AlignLeft);
            viewer::PhotoPanel::drawCellText(painter, QString::fromUtf16(u"400 \u00D7 300"),
                                             panel->captionRect(1), Qt::AlignLeft);
            for (int k = 0; k < lines.size(); ++k) {
                const QRectF line = panel->captionRect(2 + k);
                EXPECT_EQ(line, first.translated(0, 12 * (2 + k))) << c.name << ", line " << k;
                viewer::PhotoPanel::drawCellText(painter, lines[k], line, Qt::AlignLeft);
            }
        }
        const QRect caption(0, static_cast<int>(first.y()), 200,
                            12 * (2 + static_cast<int>(lines.size())) + 8);
        EXPECT_EQ(panel->surface().copy(caption), expected.copy(caption)) << c.name;
        const QRect below(0, caption.bottom() + 1, 200, 418 - caption.bottom() - 1);
        EXPECT_FALSE(Bounds(panel->surface(), below, IsInk).isValid())
            << c.name << ": nothing under the caption";
    }
    // The lines fill the column: a phone's summary needs two, the long model
    // stands alone on its line (cut with an ellipsis) and the rest follows.
    EXPECT_EQ(viewer::PhotoPanel::summaryLines(cases[0].summary).size(), 2);
    EXPECT_EQ(viewer::PhotoPanel::summaryLines(cases[1].summary),
              QStringList({QString::fromStdString(std::string(60, 'M')),
                           QString::fromUtf8("F2.8 · ISO 100")}));
}

// A double-click on the preview asks for the large view; beside it, or on
// the empty state's hint, it does not.
TEST_F(PanelTest, DoubleClickOnThePreviewAsksForTheLargeView) {
    QSignalSpy asked(panel, &viewer::PhotoPanel::previewActivated);
    QTest::mouseDClick(panel, Qt::LeftButton, Qt::NoModifier, QPoint(100, 50));
    EXPECT_EQ(asked.count(), 0) << "empty state";
    OpenPhoto(Photo("a.jpg", 400, 300, 2));
    const QRect preview = panel->previewRect();
    const struct {
        const char* name;
        QPoint at;
        Qt::MouseButton button;
        int requests;
    } cases[] = {
        {"centre of the preview", preview.center(), Qt::LeftButton, 1},
        {"its top left pixel", preview.topLeft(), Qt::LeftButton, 1},
        {"above it", QPoint(preview.center().x(), preview.top() - 2), Qt::LeftButton, 0},
        {"the caption", panel->captionRect(0).center().toPoint(), Qt::LeftButton, 0},
        {"the right button", preview.center(), Qt::RightButton, 0},
    };
    for (const auto& c : cases) {
        asked.clear();
        QTest::mouseDClick(panel, c.button, Qt::NoModifier, c.at);
        EXPECT_EQ(asked.count(), c.requests) << c.name;
    }
}

TEST_F(PanelTest, LongNameEndsInsideTheColumn) {
    QString name;
    for (int i = 0; i < 40; ++i) name += QChar(0x76F8 + i % 7);
    name += QStringLiteral(".jpg");
    OpenPhoto(Photo(name, 400, 300, 1));
    const QRect caption(0, 134 + 150, 737, 40);
    const QRect ink = Bounds(panel->surface(), caption, IsInk);
    ASSERT_TRUE(ink.isValid());
    EXPECT_LT(ink.right(), 200) << "cut at 8 + 192";
    EXPECT_GT(ink.right(), 150) << "filled up to the ellipsis";
}

// The pointer waits while the list is read and drawn, and only then; a file
// whose picture is not shown leaves the reason the photo road gave: as the
// placeholder's, or as the empty state's line when it cannot be opened.
TEST_F(PanelTest, PointerWaitsForTheListAndAFailureKeepsItsReason) {
    using photo::Problem;
    std::vector<std::pair<Qt::CursorShape, bool>> pointerDuringList;
    QObject::connect(panel->scrollBar(), &viewer::FlatScrollBar::valueChanged, [&](int) {
        pointerDuringList.emplace_back(panel->cursor().shape(),
                                       panel->testAttribute(Qt::WA_SetCursor));
    });
    const struct {
        const char* name;
        QString path;
        bool listed;  // shown with its list
        Problem problem;
    } cases[] = {
        {"a photo with a list", Photo("a.jpg", 640, 480, 12), true, Problem::None},
        {"a file that is not an image", Write("b.jpg", "not an image"), false, Problem::NotAPhoto},
        {"a missing file", dir.filePath("missing.jpg"), false, Problem::Missing},
        {"a photo without Exif, its size listed",
         Write("c.png", Encode(Solid(30, 20, Qt::red), "png")), true, Problem::None},
        {"a PNG whose pixels are missing", Write("d.png", Bytes(testsupport::PngClaiming(64, 48))),
         true, Problem::DecodeFailed},
    };
    for (const auto& c : cases) {
        pointerDuringList.clear();
        OpenPhoto(c.path);
        EXPECT_EQ(panel->reason(), photo::reasonText(c.problem)) << c.name;
        EXPECT_EQ(panel->showsPhoto(), c.listed) << c.name;
        EXPECT_FALSE(panel->testAttribute(Qt::WA_SetCursor)) << c.name << ": the pointer is back";
        EXPECT_EQ(panel->cursor().shape(), Qt::ArrowCursor) << c.name;
        if (c.listed) {
            ASSERT_FALSE(pointerDuringList.empty()) << c.name;
            EXPECT_EQ(pointerDuringList.front().first, Qt::WaitCursor) << c.name;
            EXPECT_TRUE(pointerDuringList.front().second) << c.name;
        } else {
            EXPECT_TRUE(pointerDuringList.empty()) << c.name;
        }
    }
}

struct ProgramEnded : std::runtime_error {
    ProgramEnded() : std::runtime_error("program ended") {}
};

TEST_F(PanelTest, WithoutImageDecodersTheProgramEndsWithTheMessage) {
    std::vector<platform::Message> shown;
    platform::setMessageHandler(
        [&](const platform::Message& message) { shown.push_back(message); });
    platform::setEndProgramHandler([](int) { throw ProgramEnded(); });
    photo::setDecodersCheck([] { return false; });
    const QString path = Photo("a.jpg", 40, 30, 2);
    EXPECT_THROW(OpenPhoto(path), ProgramEnded);
    photo::setDecodersCheck({});
    platform::setEndProgramHandler({});
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0].text, QStringLiteral("GDI+ 初始化错误。程序即将关闭。"));
    EXPECT_EQ(shown[0].caption, QStringLiteral("初始化错误"));
    EXPECT_EQ(shown[0].icon, platform::MessageIcon::Critical);
    EXPECT_EQ(panel->photoFile(), "");
}

TEST_F(PanelTest, CellTextAlignmentsAndEmptyText) {
    const struct {
        const char* name;
        QString text;
        Qt::Alignment alignment;
        int inkLeftMin, inkLeftMax, inkRightMin, inkRightMax;
    } cases[] = {
        // Rectangle x 100..300.
        {"left", QStringLiteral("Exif"), Qt::AlignLeft, 100, 103, 101, 140},
        {"centre", QStringLiteral("Exif"), Qt::AlignHCenter, 170, 199, 201, 230},
        {"right", QStringLiteral("Exif"), Qt::AlignRight, 260, 299, 296, 300},
        {"too wide is cut", QString(60, QChar(u'W')), Qt::AlignLeft, 100, 103, 280, 299},
    };
    for (const auto& c : cases) {
        QImage image(400, 40, QImage::Format_RGB32);
        image.fill(Qt::white);
        {
            QPainter painter(&image);
            viewer::PhotoPanel::drawCellText(painter, c.text, QRectF(100, 10, 200, 12),
                                             c.alignment);
        }
        const QRect ink = Bounds(image, image.rect(), IsInk);
        ASSERT_TRUE(ink.isValid()) << c.name;
        EXPECT_GE(ink.left(), c.inkLeftMin) << c.name;
        EXPECT_LE(ink.left(), c.inkLeftMax) << c.name;
        EXPECT_GE(ink.right(), c.inkRightMin) << c.name;
        EXPECT_LE(ink.right(), c.inkRightMax) << c.name;
        EXPECT_GE(ink.top(), 10) << c.name;
    }

    QImage image(400, 40, QImage::Format_RGB32);
    image.fill(Qt::white);
    {
        QPainter painter(&image);
        viewer::PhotoPanel::drawCellText(painter, QString(), QRectF(100, 10, 200, 12),
                                         Qt::AlignLeft);
    }
    EXPECT_FALSE(Bounds(image, image.rect(), IsInk).isValid()) << "an empty text draws nothing";
}

}  // namespace
}  // namespace paneltest
