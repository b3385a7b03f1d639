// What the list offers beyond looking: the row menu (copying, the map
// links) and the tooltip of a value cut short. The keys that scroll it are
// tried through the main window (tests/shell).
#include "panel_fixture.h"

#include "controls/flat_scroll_bar.h"
#include "exif/report.h"
#include "panel/list_surface.h"
#include "platform/open_url.h"
#include "reader/property_items.h"
#include "tiff_builder.h"

#include <QApplication>
#include <QClipboard>
#include <QHelpEvent>
#include <QMenu>
#include <QTest>
#include <QTimer>
#include <QToolTip>
#include <QWindow>

namespace paneltest {
namespace {

using namespace testsupport;
using Angle = std::vector<std::pair<std::uint32_t, std::uint32_t>>;

TiffSpec WithGps(const char* latitudeRef, Angle latitude, const char* longitudeRef,
                 Angle longitude) {
    TiffSpec spec = CameraSpec();
    spec.gps->fields = {Ascii(0x0001, latitudeRef), Rational(0x0002, std::move(latitude)),
                        Ascii(0x0003, longitudeRef), Rational(0x0004, std::move(longitude))};
    return spec;
}

class ListActionsTest : public PanelTest {
protected:
    void SetUp() override {
        PanelTest::SetUp();
        platform::setOpenUrlHandler([this](const QUrl& url) {
            opened.push_back(url.toString());
            return true;
        });
        QGuiApplication::clipboard()->setText(QStringLiteral("before"));
    }
    void TearDown() override {
        platform::setOpenUrlHandler({});
        PanelTest::TearDown();
    }

    QString Open(const QString& name, const TiffSpec& spec) {
        const QString path = Write(
            name, WithExifJpeg(Encode(Solid(64, 48, Qt::red), "jpeg"), BuildTiff(spec).bytes));
        OpenPhoto(path);
        return path;
    }

    int RowOf(const std::string& label) const {
        const auto& entries = panel->metadata().Entries();
        for (std::size_t i = 0; i < entries.size(); ++i) {
            if (entries[i].label == label) return static_cast<int>(i);
        }
        ADD_FAILURE() << "no row " << label;
        return 0;
    }

    // A right-click on the row's value as the window system delivers it;
    // picks `item` from the menu that pops up (none: closes it). Returns
    // the menu's items, empty when no menu came.
    QStringList RightClick(int row, const QString& item = QString()) {
        QStringList items;
        QTimer::singleShot(0, [&] {
            auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
            if (!menu) return;
            QAction* chosen = nullptr;
            for (QAction* action : menu->actions()) {
                if (action->isSeparator()) continue;
                items << action->text();
                if (action->text() == item) chosen = action;
            }
            if (!chosen) {
                menu->close();
                return;
            }
            menu->setActiveAction(chosen);
            QTest::keyClick(menu, Qt::Key_Return);
        });
        // Scrolled into view first, as the user would.
        panel->scrollBar()->setValue(row);
        const QPoint at = panel->listSurface()->mapTo(host.get(), QPoint(250, row * 20 + 10));
        QTest::mouseClick(host->windowHandle(), Qt::RightButton, {}, at);
        QCoreApplication::processEvents();
        return items;
    }

    std::vector<QString> opened;
};

TEST_F(ListActionsTest, RowMenuOffersCopyingAndOnGpsRowsTheMaps) {
    const QStringList copying{"复制", "复制值", "复制全部"};
    const QStringList withMaps = copying + QStringList{"在地图中查看", "在 OpenStreetMap 中查看"};
    TiffSpec noReference = CameraSpec();
    noReference.gps->fields.erase(noReference.gps->fields.begin() + 3);  // the E/W reference
    const struct {
        const char* name;
        TiffSpec spec;
        const char* label;
        QStringList items;
    } cases[] = {
        {"a camera row", CameraSpec(), "厂商", copying},
        {"the latitude", CameraSpec(), "GPS 纬度", withMaps},
        {"another GPS row", CameraSpec(), "GPS 高度", withMaps},
        {"a GPS row without a position", noReference, "GPS 纬度", copying},
    };
    for (const auto& c : cases) {
        Open("photo.jpg", c.spec);
        EXPECT_EQ(RightClick(RowOf(c.label)), c.items) << c.name;
    }
    EXPECT_TRUE(opened.empty()) << "closing the menu opens nothing";
    EXPECT_EQ(QGuiApplication::clipboard()->text(), QStringLiteral("before"));
}

TEST_F(ListActionsTest, CopyItemsAndTheReport) {
    const QString path = Open("camera.jpg", CameraSpec());
    exif::MetadataList fromFile;
    fromFile.SetPhoto(path.toStdString());
    const reader::PropertyImage image =
        reader::PropertyImage::Open(reader::FileSource(path.toStdString()));
    fromFile.LoadMetadata(&image);
    const QString report = QString::fromStdString(exif::BuildReport(fromFile));
    const struct {
        const char* label;
        const char* item;
        QString clipboard;
    } cases[] = {
        {"厂商", "复制", QStringLiteral("厂商\tCanon")},
        {"型号", "复制值", QStringLiteral("Canon EOS 5D Mark IV")},
        {"光圈", "复制", QStringLiteral("光圈\tF2.8")},
        {"GPS 纬度", "复制全部", report},
    };
    for (const auto& c : cases) {
        RightClick(RowOf(c.label), QString::fromUtf8(c.item));
        EXPECT_EQ(QGuiApplication::clipboard()->text(), c.clipboard) << c.label << " " << c.item;
    }
    QGuiApplication::clipboard()->setText(QStringLiteral("before"));
    EXPECT_TRUE(panel->copyReport());
    EXPECT_EQ(QGuiApplication::clipboard()->text(), report);
}

TEST_F(ListActionsTest, MapLinksOfKnownPhotos) {
    const struct {
        const char* name;
        TiffSpec spec;
        const char* amap;
        const char* osm;
    } cases[] = {
        // 35°40'30" N, 139°45.45' E.
        {"camera block", CameraSpec(),
         "https://uri.amap.com/marker?position=139.757500,35.675000&coordinate=wgs84",
         "https://www.openstreetmap.org/?mlat=35.675000&mlon=139.757500#map=16/35.675000/"
         "139.757500"},
        // 33°51'54.5" S, 151°12'34.6" E.
        {"south", WithGps("S", {{33, 1}, {51, 1}, {545, 10}}, "E", {{151, 1}, {12, 1}, {346, 10}}),
         "https://uri.amap.com/marker?position=151.209611,-33.865139&coordinate=wgs84",
         "https://www.openstreetmap.org/?mlat=-33.865139&mlon=151.209611#map=16/-33.865139/"
         "151.209611"},
        // 40°42'46" N, 74°0'21.5" W.
        {"west", WithGps("N", {{40, 1}, {42, 1}, {46, 1}}, "W", {{74, 1}, {0, 1}, {215, 10}}),
         "https://uri.amap.com/marker?position=-74.005972,40.712778&coordinate=wgs84",
         "https://www.openstreetmap.org/?mlat=40.712778&mlon=-74.005972#map=16/40.712778/"
         "-74.005972"},
    };
    for (const auto& c : cases) {
        Open("map.jpg", c.spec);
        opened.clear();
        RightClick(RowOf("GPS 纬度"), QStringLiteral("在地图中查看"));
        RightClick(RowOf("GPS 经度"), QStringLiteral("在 OpenStreetMap 中查看"));
        EXPECT_EQ(opened, (std::vector<QString>{c.amap, c.osm})) << c.name;
    }
}

TEST_F(ListActionsTest, ValueCutShortShowsItsWholeTextInATooltip) {
    const std::string wide(120, 'W');
    const std::string markup = "<b>" + std::string(80, 'M') + "</b>";
    TiffSpec spec;
    spec.ifd0.fields = {Ascii(0x010F, "Canon"), Ascii(0x0110, wide), Ascii(0x0131, markup)};
    Open("cut.jpg", spec);
    const struct {
        const char* name;
        int row;
        int x;
        bool shown;
        std::string text;
    } cases[] = {
        {"a value that fits", 0, 250, false, ""},
        {"a value cut short", 1, 250, true, wide},
        {"the label of that row fits", 1, 100, false, ""},
        {"the number column", 1, 10, false, ""},
        {"markup is shown as written", 2, 250, true,
         "&lt;b&gt;" + std::string(80, 'M') + "&lt;/b&gt;"},
        {"below the last row", 5, 250, false, ""},
    };
    for (const auto& c : cases) {
        QToolTip::hideText();
        ASSERT_TRUE(QTest::qWaitFor([] { return !QToolTip::isVisible(); })) << c.name;
        const QPoint at(c.x, c.row * 20 + 10);
        QHelpEvent help(QEvent::ToolTip, at, panel->listSurface()->mapToGlobal(at));
        QApplication::sendEvent(panel->listSurface(), &help);
        EXPECT_EQ(QToolTip::isVisible(), c.shown) << c.name;
        if (c.shown) {
            EXPECT_TRUE(QToolTip::text().contains(QString::fromStdString(c.text))) << c.name;
        }
    }
    QToolTip::hideText();
}

}  // namespace
}  // namespace paneltest
