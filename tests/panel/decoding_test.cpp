// The panel while its pictures are decoded by the worker: a worker killed
// during a decode, or killed by its filter, costs that photo its picture
// (the reason is shown) and nothing else; a slow decode keeps nothing
// waiting; a newer photo supersedes; a quick one appears in one step.
#include "panel_fixture.h"

#include "controls/flat_scroll_bar.h"
#include "panel/list_surface.h"

#include <QFrame>
#include <QSignalSpy>
#include <QWheelEvent>
#include <csignal>

namespace paneltest {
namespace {

class DecodingTest : public PanelTest {
protected:
    bool MisbehavingWorker() const override { return true; }

    // The photo's picture is drawn: its colour in the middle of the preview.
    bool Shows(const QColor& colour) const {
        const QRect box = panel->previewRect();
        if (!box.isValid()) return false;
        const QColor shown = QColor::fromRgb(panel->surface().pixel(box.center()));
        return std::abs(shown.red() - colour.red()) < 40 &&
               std::abs(shown.green() - colour.green()) < 40 &&
               std::abs(shown.blue() - colour.blue()) < 40;
    }
};

// The worker dies in the middle of a decode, killed from outside or by its
// own system-call filter: the photo is shown with the reason instead of its
// picture, and the next photo opens as usual.
TEST_F(DecodingTest, AWorkerKilledDuringADecodeCostsThatPictureOnly) {
    const struct {
        const char* name;
        std::string command;
        bool killHere;       // SIGKILL from the test, else the worker's filter
        const char* reason;  // a part of the placeholder's reason
    } cases[] = {
        {"SIGKILL during a decode", "sleep 20000", true, "终止"},
        {"a forbidden system call", "socket", false, "越权"},
        {"a crash", "crash", false, "崩溃"},
    };
    const QString next = Photo("next.jpg", 64, 48, 3);
    for (const auto& c : cases) {
        previews->start();
        ASSERT_TRUE(WaitUntil([this] { return previews->confinement() != 0; }))
            << c.name << ": no worker ready";
        const QString path = CommandPhoto("command.jpg", c.command);
        panel->openPhoto(path);
        if (c.killHere) {
            // Once the worker has taken the photo (it reads it within a
            // moment of being asked).
            WaitUntil([] { return false; }, 300);
            ASSERT_TRUE(panel->previewPending()) << c.name;
            ASSERT_EQ(::kill(static_cast<pid_t>(previews->workerPid()), SIGKILL), 0) << c.name;
        }
        ASSERT_TRUE(WaitForPreview()) << c.name;
        EXPECT_TRUE(panel->showsPhoto()) << c.name << ": shown with its metadata";
        EXPECT_EQ(panel->photoFile(), path.toStdString()) << c.name;
        EXPECT_TRUE(panel->reason().contains(QString::fromUtf8(c.reason)))
            << c.name << ": " << panel->reason().toStdString();
        EXPECT_EQ(panel->surface().pixel(panel->previewRect().center()), kPlaceholderGrey)
            << c.name;
        EXPECT_TRUE(Bounds(panel->surface(), panel->previewRect(), IsInk).isValid())
            << c.name << ": 无法预览 and why";

        OpenPhoto(next);
        EXPECT_TRUE(panel->reason().isEmpty()) << c.name << ": " << panel->reason().toStdString();
        EXPECT_TRUE(Shows(Qt::red)) << c.name << ": the next photo is drawn";
    }
}

// While a photo decodes slowly, the panel is not waiting: its list is on
// screen and scrolls, and the picture comes when it is ready.
TEST_F(DecodingTest, ASlowDecodeKeepsNothingWaiting) {
    const QString slow = CommandPhoto("slow.jpg", "sleep 1500", Qt::blue, 64, 48, 40);
    QSignalSpy settled(panel, &viewer::PhotoPanel::previewSettled);
    panel->openPhoto(slow);
    // Past the panel's patience, the list is there and takes the wheel.
    WaitUntil([] { return false; }, viewer::PhotoPanel::kPreviewPatienceMs + 200);
    ASSERT_TRUE(panel->previewPending());
    EXPECT_TRUE(panel->updatesEnabled()) << "the panel's pixels are no longer held";
    EXPECT_TRUE(panel->listViewport()->isVisible());
    EXPECT_EQ(panel->photoFile(), slow.toStdString());
    QWheelEvent wheel(QPointF(300, 200), panel->listViewport()->mapToGlobal(QPointF(100, 200)),
                      QPoint(), QPoint(0, -120), Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase,
                      false);
    QCoreApplication::sendEvent(panel->listViewport(), &wheel);
    EXPECT_EQ(panel->scrollBar()->value(), 3)
        << "the list scrolled while the picture was on its way";
    EXPECT_EQ(settled.count(), 0);

    ASSERT_TRUE(WaitForPreview());
    EXPECT_EQ(settled.count(), 1);
    EXPECT_TRUE(Shows(Qt::blue));
}

// Five photos opened in quick succession: the fifth is drawn, the four
// before it never are.
TEST_F(DecodingTest, ANewerPhotoSupersedesTheOneBeingDecoded) {
    const QColor colours[] = {Qt::red, Qt::green, Qt::yellow, Qt::magenta, Qt::blue};
    std::vector<QString> paths;
    for (int i = 0; i < 5; ++i)
        paths.push_back(CommandPhoto(QStringLiteral("p%1.jpg").arg(i), "sleep 300", colours[i]));
    QSignalSpy settled(panel, &viewer::PhotoPanel::previewSettled);
    for (const QString& path : paths) panel->openPhoto(path);
    ASSERT_TRUE(WaitForPreview());
    EXPECT_EQ(panel->photoFile(), paths.back().toStdString());
    EXPECT_TRUE(Shows(Qt::blue));
    // Any answer to an older photo would come now, and be drawn wrongly.
    WaitUntil([] { return false; }, 800);
    EXPECT_EQ(settled.count(), 1);
    EXPECT_TRUE(Shows(Qt::blue));
}

// A photo decoded within the panel's patience appears in one step: no paint
// shows the panel between the last photo and this one. Past the patience,
// the list is painted before the picture comes.
TEST_F(DecodingTest, AQuickPhotoAppearsInOneStep) {
    struct PaintWatch : QObject {
        viewer::PhotoPanel* panel = nullptr;
        int whilePending = 0;
        bool eventFilter(QObject*, QEvent* event) override {
            if (event->type() == QEvent::Paint && panel->previewPending()) ++whilePending;
            return false;
        }
    } watch;
    watch.panel = panel;
    panel->installEventFilter(&watch);
    const struct {
        const char* name;
        int patienceMs;
        QString path;
        bool paintedBeforeThePicture;
    } cases[] = {
        {"within the patience", 30000, Photo("quick.jpg", 640, 480, 5), false},
        {"past the patience", 0, CommandPhoto("slow.jpg", "sleep 500"), true},
    };
    for (const auto& c : cases) {
        OpenPhoto(Photo("before.jpg", 64, 48, 2));
        panel->setPreviewPatience(c.patienceMs);
        watch.whilePending = 0;
        panel->openPhoto(c.path);
        ASSERT_TRUE(WaitForPreview()) << c.name;
        EXPECT_EQ(watch.whilePending > 0, c.paintedBeforeThePicture)
            << c.name << ": " << watch.whilePending << " paints";
        EXPECT_TRUE(panel->updatesEnabled()) << c.name;
    }
}

}  // namespace
}  // namespace paneltest
