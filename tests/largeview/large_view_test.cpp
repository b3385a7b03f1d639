// The large view driven as a user drives it, through the main window and the
// real decoder worker: a double-click on the preview opens it over the whole
// screen with the photo decoded for the screen; H shows the histogram with
// its clipping marks; 1, 0, the wheel and a drag move the photo; the arrow
// keys step through the folder; Esc or a click beside the photo closes it.
#include "largeview/large_view.h"
#include "panel/photo_panel.h"
#include "shell/main_window.h"
#include "shell/startup_strings.h"

#include "heif_writer.h"
#include "rgb_bytes.h"
#include "test_photos.h"

#include <QApplication>
#include <QPainter>
#include <QScreen>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QWheelEvent>
#include <gtest/gtest.h>

namespace {

constexpr int kDecodeWaitMs = 60000;

// Left half blown-out white; the right half a ramp of greys that reaches
// neither end: the highlights are clipped, the shadows are not.
QImage WhiteAndRamp(int width, int height) {
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(Qt::white);
    for (int x = width / 2; x < width; ++x) {
        const int level = 40 + (x - width / 2) * 160 / (width - width / 2);
        for (int y = 0; y < height; ++y) image.setPixel(x, y, qRgb(level, level, level));
    }
    return image;
}

// Top half red, bottom half blue, as stored: turned a quarter clockwise
// (orientation 6) the red half stands on the right.
QImage TopRedBottomBlue(int width, int height) {
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(Qt::blue);
    QPainter(&image).fillRect(0, 0, width, height / 2, Qt::red);
    return image;
}

bool IsRed(QRgb pixel) { return qRed(pixel) > 200 && qGreen(pixel) < 60 && qBlue(pixel) < 60; }
bool IsBlue(QRgb pixel) { return qBlue(pixel) > 200 && qRed(pixel) < 60 && qGreen(pixel) < 60; }
bool IsWhite(QRgb pixel) { return qRed(pixel) > 230 && qGreen(pixel) > 230 && qBlue(pixel) > 230; }

class LargeViewTest : public ::testing::Test {
protected:
    void SetUp() override {
        viewer::setStartupStrings();
        ASSERT_TRUE(dir_.isValid());
        sandbox::DecoderClient::Options options;
        options.program = QStringLiteral(EXIFVIEWER_WORKER);
        viewer::LargeView::setWorkerOptions(options);
        // The panel's previews come from the same worker.
        window_ = new viewer::MainWindow(options);
        window_->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(window_));
    }

    void TearDown() override {
        delete window_;
        viewer::LargeView::setWorkerOptions({});
    }

    QString Jpeg(const QString& name, const QImage& picture) {
        const QString path = dir_.filePath(name);
        EXPECT_TRUE(paneltest::WriteFile(path, paneltest::Encode(picture, "jpeg", 95)))
            << name.toStdString();
        return path;
    }

    QString Heic(const QString& name, const QImage& stored, int orientation, int thumbnailSide) {
        testsupport::HeifSpec spec;
        spec.width = stored.width();
        spec.height = stored.height();
        spec.rgb = testsupport::Rgb(stored);
        spec.orientation = orientation;
        spec.thumbnailSide = thumbnailSide;
        const QString path = dir_.filePath(name);
        EXPECT_EQ(testsupport::WriteHeif(path.toStdString(), spec), "") << name.toStdString();
        return path;
    }

    // Opens the photo in the main window and double-clicks its preview.
    viewer::LargeView* OpenLarge(const QString& path) {
        window_->openPath(path);
        viewer::PhotoPanel* panel = window_->panel();
        EXPECT_TRUE(QTest::qWaitFor([panel] { return !panel->previewPending(); }, kDecodeWaitMs))
            << "no preview";
        EXPECT_TRUE(panel->showsPhoto());
        QTest::mouseDClick(panel, Qt::LeftButton, Qt::NoModifier, panel->previewRect().center());
        viewer::LargeView* view = window_->largeView();
        if (!view) return nullptr;
        EXPECT_TRUE(QTest::qWaitForWindowExposed(view));
        WaitForPicture(view);
        return view;
    }

    static void WaitForPicture(viewer::LargeView* view) {
        if (!view->decoding()) return;
        QSignalSpy changed(view, &viewer::LargeView::pictureChanged);
        EXPECT_TRUE(changed.wait(kDecodeWaitMs)) << "no picture from the worker";
    }

    static void Key(viewer::LargeView* view, Qt::Key key) { QTest::keyClick(view, key); }

    static QImage Grab(viewer::LargeView* view) {
        return view->grab().toImage().convertToFormat(QImage::Format_RGB32);
    }

    QTemporaryDir dir_;
    viewer::MainWindow* window_ = nullptr;
};

TEST_F(LargeViewTest, DoubleClickOpensItAtScreenSizeHWithHistogramEscCloses) {
    const QString path = Jpeg("a.jpg", WhiteAndRamp(3000, 2000));
    viewer::LargeView* view = OpenLarge(path);
    ASSERT_NE(view, nullptr) << "the double-click opened no large view";
    const QRect screen = window_->screen()->geometry();
    EXPECT_TRUE(view->isVisible());
    EXPECT_EQ(view->geometry(), screen);

    // Decoded for the screen, not at the photo's size: the photo fitted in it.
    const QSize fitted =
        QSize(3000, 2000).scaled(screen.size() * view->devicePixelRatioF(), Qt::KeepAspectRatio);
    ASSERT_FALSE(view->failed()) << view->problem().toStdString();
    EXPECT_EQ(view->photoSize(), QSize(3000, 2000));
    EXPECT_LE(std::abs(view->fittedPicture().width() - fitted.width()), 1);
    EXPECT_LE(std::abs(view->fittedPicture().height() - fitted.height()), 1);
    EXPECT_TRUE(view->zoom().fitted());
    const QRectF shown = view->zoom().photoRect();
    EXPECT_TRUE(QRectF(screen.adjusted(0, 0, 1, 1).translated(-screen.topLeft())).contains(shown));
    EXPECT_TRUE(qFuzzyCompare(shown.width(), screen.width()) ||
                qFuzzyCompare(shown.height(), screen.height()))
        << "the largest size that fits";

    const QImage plain = Grab(view);
    const QPoint leftQuarter(static_cast<int>(shown.left() + shown.width() / 4),
                             static_cast<int>(shown.center().y()));
    EXPECT_TRUE(IsWhite(plain.pixel(leftQuarter)));
    const QRgb ramp =
        plain.pixel(static_cast<int>(shown.left() + shown.width() * 3 / 4), leftQuarter.y());
    EXPECT_TRUE(qRed(ramp) > 60 && qRed(ramp) < 200) << "the grey ramp";

    // H: the histogram over the photo, the photo showing through its box;
    // the highlight mark lit white (all three channels blown), the shadow
    // mark not.
    EXPECT_FALSE(view->histogramShown());
    Key(view, Qt::Key_H);
    ASSERT_TRUE(view->histogramShown());
    EXPECT_TRUE(view->histogram().highlightsClipped(viewer::Histogram::Red));
    EXPECT_FALSE(view->histogram().shadowsClipped(viewer::Histogram::Red));
    const QImage withHistogram = Grab(view);
    const QRect box = view->histogramRect();
    ASSERT_TRUE(QRect(QPoint(), screen.size()).contains(box));
    EXPECT_NE(withHistogram.copy(box), plain.copy(box));
    EXPECT_EQ(withHistogram.copy(0, 0, screen.width(), box.top()),
              plain.copy(0, 0, screen.width(), box.top()))
        << "nothing drawn outside the histogram's box";
    EXPECT_TRUE(IsWhite(withHistogram.pixel(view->highlightMarkRect().center().toPoint())));
    const QRgb shadowMark = withHistogram.pixel(view->shadowMarkRect().center().toPoint());
    EXPECT_LT(qGray(shadowMark), qGray(plain.pixel(view->shadowMarkRect().center().toPoint())))
        << "unlit: only the darkened photo inside its outline";
    Key(view, Qt::Key_H);
    EXPECT_FALSE(view->histogramShown());
    EXPECT_EQ(Grab(view), plain) << "H again hides it";

    // Esc closes the view; the worker and the pictures go with it.
    Key(view, Qt::Key_Escape);
    EXPECT_FALSE(view->isVisible());
    EXPECT_TRUE(view->fittedPicture().isNull());
    EXPECT_FALSE(view->decoding());

    // Enter opens it again; a click beside the photo closes it, one on the
    // photo does not.
    QTest::keyClick(window_->windowHandle(), Qt::Key_Return);
    ASSERT_TRUE(view->isVisible());
    WaitForPicture(view);
    ASSERT_FALSE(view->fittedPicture().isNull());
    const QRectF again = view->zoom().photoRect();
    QTest::mouseClick(view, Qt::LeftButton, Qt::NoModifier, again.center().toPoint());
    EXPECT_TRUE(view->isVisible()) << "a click on the photo";
    const QPoint beside =
        again.top() >= 4 ? QPoint(screen.width() / 2, 1) : QPoint(1, screen.height() / 2);
    QTest::mouseClick(view, Qt::LeftButton, Qt::NoModifier, beside);
    EXPECT_FALSE(view->isVisible()) << "a click beside the photo";
}

TEST_F(LargeViewTest, ZoomKeysWheelAndDrag) {
    const QString path = Jpeg("a.jpg", WhiteAndRamp(3000, 2000));
    viewer::LargeView* view = OpenLarge(path);
    ASSERT_NE(view, nullptr);
    ASSERT_FALSE(view->fittedPicture().isNull());
    const QSizeF screen = view->size();
    const double ratio = view->devicePixelRatioF();

    // 1: one photo pixel on one device pixel, about the centre; a sharper
    // picture comes for it, the photo's own size (within the budget).
    Key(view, Qt::Key_1);
    EXPECT_FALSE(view->zoom().fitted());
    EXPECT_NEAR(view->zoom().photoRect().width() * ratio, 3000, 1e-6);
    EXPECT_NEAR(view->zoom().photoRect().center().x(), screen.width() / 2, 1e-6);
    QSignalSpy changed(view, &viewer::LargeView::pictureChanged);
    ASSERT_TRUE(changed.wait(kDecodeWaitMs)) << "no sharper picture";
    EXPECT_EQ(view->detailPicture().size(), QSize(3000, 2000));
    // The boundary between white and the ramp at the photo's middle column
    // is on screen at its own place, one device pixel per photo pixel.
    const QImage actual = Grab(view);
    const int middle = static_cast<int>(view->zoom().photoRect().left() + 1500 / ratio);
    EXPECT_TRUE(IsWhite(actual.pixel(middle - 3, actual.height() / 2)));
    EXPECT_FALSE(IsWhite(actual.pixel(middle + 3, actual.height() / 2)));

    // A drag moves the photo by the pointer's path.
    const QPointF before = view->zoom().photoRect().topLeft();
    const QPoint from(view->width() / 2, view->height() / 2);
    QTest::mousePress(view, Qt::LeftButton, Qt::NoModifier, from);
    QTest::mouseMove(view, from + QPoint(20, 10));
    QTest::mouseMove(view, from + QPoint(60, 30));
    QTest::mouseRelease(view, Qt::LeftButton, Qt::NoModifier, from + QPoint(60, 30));
    EXPECT_EQ(view->zoom().photoRect().topLeft(), before + QPointF(60, 30));
    EXPECT_TRUE(view->isVisible()) << "a drag is not a click beside the photo";

    // 0 fits again; two wheel notches up zoom in about the pointer: the
    // photo, larger than the view both ways then, keeps the point under it.
    Key(view, Qt::Key_0);
    EXPECT_TRUE(view->zoom().fitted());
    const QRectF fittedRect = view->zoom().photoRect();
    const double fitScale = view->zoom().scale();
    const QPointF pointer =
        fittedRect.topLeft() + QPointF(fittedRect.width() * 0.3, fittedRect.height() * 0.5);
    const QPointF photoPoint = (pointer - fittedRect.topLeft()) / fitScale;
    QWheelEvent wheel(pointer, view->mapToGlobal(pointer), QPoint(), QPoint(0, 240), Qt::NoButton,
                      Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(view, &wheel);
    EXPECT_NEAR(view->zoom().scale(), fitScale * 1.25 * 1.25, 1e-9);
    ASSERT_GT(view->zoom().photoRect().width(), screen.width());
    ASSERT_GT(view->zoom().photoRect().height(), screen.height());
    const QPointF under = (pointer - view->zoom().photoRect().topLeft()) / view->zoom().scale();
    EXPECT_NEAR(under.x(), photoPoint.x(), 1e-6);
    EXPECT_NEAR(under.y(), photoPoint.y(), 1e-6);
    Key(view, Qt::Key_Escape);
}

// → steps to the folder's next photo in the view and in the main window, ←
// back; each is decoded for the screen.
TEST_F(LargeViewTest, ArrowKeysStepThroughTheFolder) {
    const QString first = Jpeg("a.jpg", WhiteAndRamp(1600, 1200));
    const QString second = dir_.filePath("b.png");
    ASSERT_TRUE(
        paneltest::WriteFile(second, paneltest::Encode(TopRedBottomBlue(900, 1200), "png")));
    viewer::LargeView* view = OpenLarge(first);
    ASSERT_NE(view, nullptr);
    EXPECT_EQ(view->photoSize(), QSize(1600, 1200));

    Key(view, Qt::Key_Right);
    EXPECT_EQ(QString::fromStdString(window_->panel()->photoFile()), second)
        << "the main window steps too";
    WaitForPicture(view);
    ASSERT_FALSE(view->failed()) << view->problem().toStdString();
    EXPECT_EQ(view->photoSize(), QSize(900, 1200));
    const QSize fitted =
        QSize(900, 1200).scaled(view->size() * view->devicePixelRatioF(), Qt::KeepAspectRatio);
    EXPECT_LE(std::abs(view->fittedPicture().height() - fitted.height()), 1);
    const QImage& picture = view->fittedPicture();
    EXPECT_TRUE(IsRed(picture.pixel(picture.width() / 2, picture.height() / 4)));
    EXPECT_TRUE(IsBlue(picture.pixel(picture.width() / 2, picture.height() * 3 / 4)));

    Key(view, Qt::Key_Left);
    EXPECT_EQ(QString::fromStdString(window_->panel()->photoFile()), first);
    WaitForPicture(view);
    EXPECT_EQ(view->photoSize(), QSize(1600, 1200));
    Key(view, Qt::Key_Escape);
}

// The only photo of its folder: → steps onto the photo shown, which stays as
// it is, zoomed, without another decode.
TEST_F(LargeViewTest, StepOntoTheSamePhotoKeepsTheZoom) {
    QDir().mkpath(dir_.filePath("alone"));
    const QString only = Jpeg("alone/only.jpg", WhiteAndRamp(1600, 1200));
    viewer::LargeView* view = OpenLarge(only);
    ASSERT_NE(view, nullptr);
    Key(view, Qt::Key_1);
    QSignalSpy changed(view, &viewer::LargeView::pictureChanged);
    ASSERT_TRUE(changed.wait(kDecodeWaitMs)) << "no sharper picture";
    const QRectF zoomed = view->zoom().photoRect();
    Key(view, Qt::Key_Right);
    EXPECT_FALSE(view->decoding());
    EXPECT_FALSE(view->zoom().fitted());
    EXPECT_EQ(view->zoom().photoRect(), zoomed);
    EXPECT_FALSE(view->detailPicture().isNull());
    Key(view, Qt::Key_Escape);
}

// A HEIC with a small thumbnail shows its primary image, upright, at screen
// size. The worker decodes HEIF through the photo road's decoders; one that
// decodes through Qt's plugins alone refuses the format, and the case waits
// for it.
TEST_F(LargeViewTest, HeicShowsItsPrimaryImageUpright) {
    const QString path = Heic("b.heic", TopRedBottomBlue(1200, 900), 6, 160);
    viewer::LargeView* view = OpenLarge(path);
    ASSERT_NE(view, nullptr);
    if (view->failed() && view->problem() == QStringLiteral("不是可以预览的照片"))
        GTEST_SKIP() << "this worker does not decode HEIF";
    ASSERT_FALSE(view->failed()) << view->problem().toStdString();
    EXPECT_EQ(view->photoSize(), QSize(900, 1200));
    const QSize fitted =
        QSize(900, 1200).scaled(view->size() * view->devicePixelRatioF(), Qt::KeepAspectRatio);
    EXPECT_LE(std::abs(view->fittedPicture().height() - std::min(fitted.height(), 1200)), 1)
        << "the primary image, not the 160-pixel thumbnail";
    const QImage& picture = view->fittedPicture();
    EXPECT_TRUE(IsRed(picture.pixel(picture.width() * 3 / 4, picture.height() / 2)))
        << "upright: red on the right";
    EXPECT_TRUE(IsBlue(picture.pixel(picture.width() / 4, picture.height() / 2)));
    Key(view, Qt::Key_Escape);
}

// A photo the worker cannot decode: "无法预览" with the reason, no picture,
// no histogram; the view still closes on Esc.
TEST_F(LargeViewTest, APhotoThatCannotBeDecodedShowsWhy) {
    const QString whole = Jpeg("whole.jpg", WhiteAndRamp(800, 600));
    viewer::LargeView* view = OpenLarge(whole);
    ASSERT_NE(view, nullptr);
    // A JPEG whose frame claims 12-bit samples, which the 8-bit codec
    // refuses once it reads the frame.
    QByteArray bytes = paneltest::Encode(WhiteAndRamp(800, 600), "jpeg", 95);
    const qsizetype frame = bytes.indexOf(QByteArray("\xFF\xC0", 2));
    ASSERT_GT(frame, 0);
    bytes[frame + 4] = 12;
    const QString cut = dir_.filePath("twelve.jpg");
    ASSERT_TRUE(paneltest::WriteFile(cut, bytes));
    view->showPhoto(cut);
    WaitForPicture(view);
    EXPECT_TRUE(view->failed());
    EXPECT_FALSE(view->problem().isEmpty()) << "the reason is shown";
    EXPECT_TRUE(view->fittedPicture().isNull());
    const QImage shown = Grab(view);
    int ink = 0;
    for (int y = shown.height() / 2 - 30; y < shown.height() / 2 + 30; ++y)
        for (int x = 0; x < shown.width(); ++x) ink += IsWhite(shown.pixel(x, y));
    EXPECT_GT(ink, 20) << "the words in the middle";
    Key(view, Qt::Key_H);
    EXPECT_EQ(view->histogram().pixels, 0u);
    Key(view, Qt::Key_Escape);
    EXPECT_FALSE(view->isVisible());
}

}  // namespace
