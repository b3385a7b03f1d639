// Photo input: the hint icon's click, its look, and drops of files on the
// panel's parts.
#include "panel_fixture.h"

#include "controls/flat_scroll_bar.h"
#include "panel/hint_icon.h"
#include "panel/list_surface.h"

#include <QDropEvent>
#include <QFrame>
#include <QMimeData>
#include <QSignalSpy>
#include <QTest>
#include <QUrl>
#include <QWindow>

namespace paneltest {
namespace {

struct DropResult {
    bool enterAccepted = false;
    Qt::DropAction enterAction = Qt::IgnoreAction;
    bool dropAccepted = false;
};

// A drag entering at `at` (panel coordinates) and let go there, delivered as
// the window system delivers it: to the widget under the pointer, from where
// Qt hands it to the first one that takes drops.
DropResult DropAt(viewer::PhotoPanel* panel, const QPoint& at, QMimeData* data) {
    QWidget* target = panel->childAt(at);
    if (!target) target = panel;
    const QPoint local = target->mapFrom(panel, at);
    DropResult result;
    QDragEnterEvent enter(local, Qt::CopyAction | Qt::MoveAction | Qt::LinkAction, data,
                          Qt::LeftButton, {});
    QApplication::sendEvent(target, &enter);
    result.enterAccepted = enter.isAccepted();
    result.enterAction = enter.dropAction();
    if (!result.enterAccepted) return result;
    QDropEvent drop(QPointF(local), Qt::CopyAction | Qt::MoveAction | Qt::LinkAction, data,
                    Qt::LeftButton, {});
    QApplication::sendEvent(target, &drop);
    result.dropAccepted = drop.isAccepted();
    return result;
}

QList<QUrl> Files(const std::vector<QString>& paths) {
    QList<QUrl> urls;
    for (const QString& path : paths) urls.push_back(QUrl::fromLocalFile(path));
    return urls;
}

TEST_F(PanelTest, HintIconLook) {
    viewer::HintIcon* icon = panel->hintIcon();
    EXPECT_EQ(icon->size(), QSize(128, 128));
    EXPECT_EQ(icon->toolTip(), QStringLiteral("选择要渲染的模板"));
    EXPECT_EQ(icon->cursor().shape(), Qt::BitmapCursor) << "the hand picture, not a system shape";
    EXPECT_EQ(icon->cursor().hotSpot(), QPoint(12, 4));
    EXPECT_EQ(icon->cursor().pixmap().size(), QSize(32, 32));
    const QImage shown = icon->grab().toImage().convertToFormat(QImage::Format_RGB32);
    const QImage picture =
        QImage(QStringLiteral(":/pictures/hint.png")).convertToFormat(QImage::Format_RGB32);
    ASSERT_EQ(picture.size(), QSize(128, 128)) << "the hint picture is compiled in";
    EXPECT_EQ(shown.pixel(64, 64), picture.pixel(64, 64));
    EXPECT_EQ(shown.pixel(10, 120), picture.pixel(10, 120));
}

TEST_F(PanelTest, ClickOnTheIconAsksForAPhoto) {
    QSignalSpy select(panel, &viewer::PhotoPanel::photoRequested);
    QWindow* window = host->windowHandle();
    const QPoint icon = panel->hintIcon()->geometry().center();
    struct Case {
        const char* name;
        Qt::MouseButton button;
        QPoint release;
        int signals_;
    };
    const Case cases[] = {
        {"left click", Qt::LeftButton, icon, 1},
        {"released off the icon", Qt::LeftButton, QPoint(20, 20), 0},
        {"right click", Qt::RightButton, icon, 0},
    };
    for (const Case& c : cases) {
        select.clear();
        QTest::mousePress(window, c.button, {}, icon);
        QTest::mouseMove(window, c.release);
        QTest::mouseRelease(window, c.button, {}, c.release);
        EXPECT_EQ(select.count(), c.signals_) << c.name;
        EXPECT_TRUE(panel->photoFile().empty()) << c.name << ": the click opens nothing itself";
    }
}

TEST_F(PanelTest, DropsOpenTheFirstLocalFile) {
    const QString a = Photo("a.jpg", 64, 48, 4);
    const QString b = Photo("b.jpg", 64, 48, 6);
    const QString c = Photo("c.jpg", 64, 48, 8);
    struct Case {
        const char* name;
        bool photoShown;  // a photo is open before the drop
        QPoint at;
        std::function<void(QMimeData&)> fill;
        bool enterAccepted;
        std::string opened;  // PhotoFile afterwards; "" = the drop did nothing
    };
    const Case cases[] = {
        {"a file on the empty panel",
         false,
         {600, 50},
         [&](QMimeData& m) { m.setUrls(Files({a})); },
         true,
         a.toStdString()},
        {"three files: the first",
         false,
         {600, 50},
         [&](QMimeData& m) {
             m.setUrls(Files({b, c, a}));
         },
         true,
         b.toStdString()},
        {"on the icon",
         false,
         {368, 170},
         [&](QMimeData& m) { m.setUrls(Files({c})); },
         true,
         c.toStdString()},
        {"on the preview column of a shown photo",
         true,
         {100, 400},
         [&](QMimeData& m) { m.setUrls(Files({b})); },
         true,
         b.toStdString()},
        {"a web address first, then a file",
         false,
         {600, 50},
         [&](QMimeData& m) {
             m.setUrls({QUrl("https://example.com/x.jpg"), QUrl::fromLocalFile(c)});
         },
         true,
         c.toStdString()},
        {"text, no files",
         false,
         {600, 50},
         [](QMimeData& m) { m.setText("/tmp/a.jpg"); },
         false,
         ""},
        {"only a web address",
         false,
         {600, 50},
         [](QMimeData& m) { m.setUrls({QUrl("https://example.com/x.jpg")}); },
         false,
         ""},
        {"on the list viewport",
         true,
         {400, 10},
         [&](QMimeData& m) { m.setUrls(Files({c})); },
         true,
         ""},
        {"on the scroll bar",
         true,
         {728, 300},
         [&](QMimeData& m) { m.setUrls(Files({c})); },
         true,
         ""},
        {"on the scroll bar's thumb",
         true,
         {728, 5},
         [&](QMimeData& m) { m.setUrls(Files({c})); },
         true,
         ""},
    };
    const QString shown = Photo("shown.jpg", 64, 48, 30);
    for (const Case& k : cases) {
        OpenPhoto(k.photoShown ? shown : dir.filePath("missing.jpg"));
        const std::string before = panel->photoFile();
        ASSERT_EQ(panel->listViewport()->isVisible(), k.photoShown) << k.name;
        QMimeData data;
        k.fill(data);
        const DropResult result = DropAt(panel, k.at, &data);
        EXPECT_EQ(result.enterAccepted, k.enterAccepted) << k.name;
        if (k.opened.empty()) {
            EXPECT_FALSE(result.dropAccepted) << k.name;
            EXPECT_EQ(panel->photoFile(), before) << k.name;
            if (result.enterAccepted) {
                EXPECT_EQ(result.enterAction, Qt::IgnoreAction)
                    << k.name << ": the no-drop pointer";
            }
        } else {
            EXPECT_TRUE(result.dropAccepted) << k.name;
            EXPECT_EQ(panel->photoFile(), k.opened) << k.name;
            EXPECT_TRUE(panel->listViewport()->isVisible()) << k.name;
            EXPECT_TRUE(WaitForPreview()) << k.name;
        }
    }
}

TEST_F(PanelTest, DroppedFileThatIsNotAPhotoShowsTheEmptyState) {
    const QString good = Photo("good.jpg", 64, 48, 5);
    OpenPhoto(good);
    QMimeData data;
    data.setUrls(Files({Write("notes.txt", "some text, no picture")}));
    const DropResult result = DropAt(panel, QPoint(100, 100), &data);
    EXPECT_TRUE(result.dropAccepted);
    EXPECT_TRUE(panel->hintIcon()->isVisible());
    EXPECT_FALSE(panel->listViewport()->isVisible());
    EXPECT_EQ(panel->photoFile(), good.toStdString());
    EXPECT_TRUE(Bounds(panel->surface(), kReasonLine, IsInk).isValid()) << "the line saying why";
}

}  // namespace
}  // namespace paneltest
