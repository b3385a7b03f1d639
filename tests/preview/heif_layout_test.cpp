// The cost of a HEIF image, read from the file's boxes: a grid's canvas and
// tiles, an overlay's canvas and inputs, and no cost at all where the boxes
// do not say (cut short, or an image made of itself).
#include "preview/heif_layout.h"

#include "costly_photos.h"

#include <QTemporaryDir>
#include <algorithm>
#include <gtest/gtest.h>

namespace {

using preview::HeifImageCost;
using preview::HeifLayout;

constexpr std::uint64_t kPlane = HeifLayout::kPlaneBytesPerPixel;

// The bytes with the first reference of the grid's dimg box pointing at
// `target` instead of its first tile.
std::vector<std::uint8_t> FirstInputIs(std::vector<std::uint8_t> bytes, std::uint16_t target) {
    const std::string dimg = "dimg";
    const auto at = std::search(bytes.begin(), bytes.end(), dimg.begin(), dimg.end());
    if (at == bytes.end()) return {};
    // After the type: the grid's id and the count (16 bits each), then the ids.
    const auto first = static_cast<std::size_t>(at - bytes.begin()) + 4 + 2 + 2;
    bytes[first] = static_cast<std::uint8_t>(target >> 8);
    bytes[first + 1] = static_cast<std::uint8_t>(target);
    return bytes;
}

TEST(HeifLayout, CostOfImagesMadeOfImages) {
    QTemporaryDir folder;
    const testsupport::CodedTile tile =
        testsupport::CodeTile(64, 64, 200, 40, 40, folder.path().toStdString());
    ASSERT_FALSE(tile.data.empty()) << "libheif's encoder wrote no tile";
    const std::uint64_t tileBytes = 64 * 64 * kPlane;
    const std::vector<std::uint8_t> grid = testsupport::HeifGrid({tile}, 141, 141, 9024, 9024);
    const struct {
        const char* name;
        std::vector<std::uint8_t> bytes;
        std::uint32_t item;
        std::optional<HeifImageCost> cost;
    } cases[] = {
        {"grid: the canvas and four tiles at once", grid, 1,
         HeifImageCost{9024ull * 9024 * kPlane + 4 * tileBytes, 141 * 141}},
        {"one tile of the grid", grid, 2, HeifImageCost{tileBytes, 1}},
        {"grid of two tiles: both at once", testsupport::HeifGrid({tile}, 1, 2, 128, 64), 1,
         HeifImageCost{128 * 64 * kPlane + 2 * tileBytes, 2}},
        {"overlay: the canvas and its one input", testsupport::HeifOverlay(tile, 9459, 9459), 1,
         HeifImageCost{9459ull * 9459 * kPlane + tileBytes, 1}},
        {"overlay with a 32-bit canvas", testsupport::HeifOverlay(tile, 70000, 2), 1,
         HeifImageCost{70000ull * 2 * kPlane + tileBytes, 1}},
        {"an item that is not there", grid, 99999, std::nullopt},
        {"a grid that is its own first tile",
         FirstInputIs(testsupport::HeifGrid({tile}, 1, 2, 128, 64), 1), 1, std::nullopt},
        {"a grid whose first tile is missing",
         FirstInputIs(testsupport::HeifGrid({tile}, 1, 2, 128, 64), 77), 1, std::nullopt},
        {"cut before its boxes end", std::vector<std::uint8_t>(grid.begin(), grid.begin() + 4000),
         1, std::nullopt},
        {"no file", {}, 1, std::nullopt},
    };
    for (const auto& c : cases) {
        const std::optional<HeifImageCost> cost = HeifLayout::Parse(c.bytes).CostOf(c.item);
        ASSERT_EQ(cost.has_value(), c.cost.has_value()) << c.name;
        if (!cost) continue;
        EXPECT_EQ(cost->planeBytes, c.cost->planeBytes) << c.name;
        EXPECT_EQ(cost->codedImages, c.cost->codedImages) << c.name;
    }
}

// What decides whether libheif is given the file at all: the primary image,
// its size as the boxes give it, and how many items the file lists.
TEST(HeifLayout, PrimaryImageItsSizeAndTheItemCount) {
    QTemporaryDir folder;
    const testsupport::CodedTile tile =
        testsupport::CodeTile(64, 64, 200, 40, 40, folder.path().toStdString());
    ASSERT_FALSE(tile.data.empty()) << "libheif's encoder wrote no tile";
    const std::vector<std::uint8_t> grid = testsupport::HeifGrid({tile}, 141, 141, 9024, 9024);
    const struct {
        const char* name;
        std::vector<std::uint8_t> bytes;
        std::optional<std::uint32_t> primary;
        std::pair<std::uint64_t, std::uint64_t> size;
        std::size_t items;
    } cases[] = {
        {"grid of 141 x 141 tiles", grid, 1, {9024, 9024}, 141 * 141 + 1},
        {"overlay", testsupport::HeifOverlay(tile, 9459, 9459), 1, {9459, 9459}, 2},
        {"cut before its boxes end",
         std::vector<std::uint8_t>(grid.begin(), grid.begin() + 4000),
         std::nullopt,
         {0, 0},
         0},
    };
    for (const auto& c : cases) {
        const HeifLayout layout = HeifLayout::Parse(c.bytes);
        EXPECT_EQ(layout.Primary(), c.primary) << c.name;
        if (c.primary) {
            EXPECT_EQ(layout.SizeOf(*c.primary), c.size) << c.name;
        }
        EXPECT_EQ(layout.ItemCount(), c.items) << c.name;
    }
}

}  // namespace
