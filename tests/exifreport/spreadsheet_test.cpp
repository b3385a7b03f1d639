// exifreport --csv and --json, read back the way a spreadsheet or another
// program reads them, against the metadata list the viewer shows.
#include "exifreport_fixture.h"
#include "output_readers.h"

#include "exif/extra_rows.h"
#include "exif/tag_catalogue.h"
#include "exif/text_decode.h"

namespace {

using namespace exifreport_test;
using namespace testsupport;

const std::string kReplacement = "\xEF\xBF\xBD";

class SpreadsheetTest : public ExifReportTest {
protected:
    // A camera JPEG; a TIFF with awkward texts, its make listed twice, under a
    // name with a comma and a byte that is not UTF-8; a BMP without metadata.
    void SetUp() override {
        ExifReportTest::SetUp();
        camera_ = Write("IMG_0001.JPG", Jpeg(BuildTiff(CameraSpec(false)).bytes));
        TiffSpec odd;
        odd.ifd0.fields = {
            Ascii(0x010E, "He said \"hi\", then\r\nleft"),
            Ascii(0x010F, "First"),
            Ascii(0x010F, "Second"),
            Ascii(0x013B, "tab\there \x01 back\\slash"),
        };
        odd_ = Write("名,字\xFF.tif", BuildTiff(odd).bytes);
        plain_ = Write("plain.bmp", Bmp());
    }

    // The value of the list's first entry with this label, or empty.
    static std::string FirstValue(const exif::MetadataList& list, std::string_view label) {
        for (const exif::MetadataEntry& entry : list.Entries())
            if (entry.label == label) return entry.value;
        return {};
    }

    std::string camera_, odd_, plain_;
};

TEST_F(SpreadsheetTest, CsvHasAColumnPerLabelAndTheFirstValueOfEachTag) {
    const ProcessResult run = Exec({"--csv", camera_, odd_, plain_});
    ASSERT_EQ(run.status, 0) << run.err;
    ASSERT_EQ(run.out.rfind("\xEF\xBB\xBF", 0), 0u) << "byte-order mark";
    const std::optional<CsvRows> rows = ReadCsv(std::string_view(run.out).substr(3));
    ASSERT_TRUE(rows) << run.out;
    ASSERT_EQ(rows->size(), 4u);

    const std::vector<std::string>& header = (*rows)[0];
    const auto catalogue = exif::Catalogue();
    const auto extra = exif::ExtraRows();
    ASSERT_EQ(header.size(), 2 + catalogue.size() + extra.size());
    EXPECT_EQ(header[0], "文件");
    EXPECT_EQ(header[1], "路径");
    for (std::size_t i = 0; i < catalogue.size(); ++i) EXPECT_EQ(header[2 + i], catalogue[i].label);
    for (std::size_t i = 0; i < extra.size(); ++i)
        EXPECT_EQ(header[2 + catalogue.size() + i], extra[i]);

    const struct {
        std::string path;
        std::string name;
    } photos[] = {
        {camera_, "IMG_0001.JPG"},
        {odd_, "名,字" + kReplacement + ".tif"},
        {plain_, "plain.bmp"},
    };
    for (std::size_t p = 0; p < std::size(photos); ++p) {
        const std::vector<std::string>& row = (*rows)[1 + p];
        ASSERT_EQ(row.size(), header.size()) << photos[p].name;
        EXPECT_EQ(row[0], photos[p].name);
        EXPECT_EQ(row[1], dir_.string() + "/" + photos[p].name);
        const exif::MetadataList list = ListOf(photos[p].path);
        for (std::size_t c = 2; c < header.size(); ++c)
            EXPECT_EQ(row[c], FirstValue(list, header[c])) << photos[p].name << ", " << header[c];
    }

    const auto cell = [&](std::size_t row, std::string_view label) {
        for (std::size_t c = 0; c < header.size(); ++c)
            if (header[c] == label) return (*rows)[row][c];
        return std::string("(no column)");
    };
    EXPECT_EQ(cell(1, "光圈"), "F2.8");
    EXPECT_EQ(cell(1, "曝光时间"), "1/125\"");
    EXPECT_EQ(cell(2, "图像标题"), "He said \"hi\", then\r\nleft");
    EXPECT_EQ(cell(2, "厂商"), "First");
    EXPECT_EQ(cell(2, "作者"), "tab\there \x01 back\\slash");
}

TEST_F(SpreadsheetTest, CsvOfNoPhotosIsTheHeaderAlone) {
    const ProcessResult run = Exec({"--csv", "-r", (dir_ / "nothing").string()});
    fs::create_directory(dir_ / "empty");
    const ProcessResult empty = Exec({"--csv", "-r", (dir_ / "empty").string()});
    EXPECT_EQ(empty.status, 0);
    const std::optional<CsvRows> rows = ReadCsv(std::string_view(empty.out).substr(3));
    ASSERT_TRUE(rows);
    EXPECT_EQ(rows->size(), 1u);
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.out, empty.out);
}

TEST_F(SpreadsheetTest, JsonLineHoldsEveryEntryWithItsTag) {
    const ProcessResult run = Exec({"--json", camera_, odd_, plain_});
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_TRUE(
        exif::IsValidUtf8(reinterpret_cast<const std::uint8_t*>(run.out.data()), run.out.size()));
    EXPECT_EQ(run.out.find('\r'), std::string::npos);
    const std::vector<std::string> lines = Lines(run.out);
    ASSERT_EQ(lines.size(), 3u);

    const std::string names[] = {"IMG_0001.JPG", "名,字" + kReplacement + ".tif", "plain.bmp"};
    const std::string paths[] = {camera_, odd_, plain_};
    for (std::size_t p = 0; p < 3; ++p) {
        const std::optional<Json> photo = JsonReader::Read(lines[p]);
        ASSERT_TRUE(photo) << lines[p];
        EXPECT_EQ((*photo)["file"].string, names[p]);
        EXPECT_EQ((*photo)["path"].string, dir_.string() + "/" + names[p]);
        const exif::MetadataList list = ListOf(paths[p]);
        const std::vector<Json>& entries = (*photo)["entries"].items;
        ASSERT_EQ(entries.size(), list.Entries().size()) << names[p];
        for (std::size_t i = 0; i < entries.size(); ++i) {
            const exif::MetadataEntry& expected = list.Entries()[i];
            EXPECT_EQ(entries[i]["label"].string, expected.label) << names[p] << " " << i;
            EXPECT_EQ(entries[i]["value"].string, expected.value) << names[p] << " " << i;
            // The extra rows gather several sources: no one tag.
            if (expected.tag >= exif::kExtraRowTag) {
                EXPECT_EQ(entries[i]["tag"].kind, Json::Null) << names[p] << " " << i;
                continue;
            }
            const exif::CatalogueEntry* row =
                exif::FindTag(static_cast<std::uint32_t>(entries[i]["tag"].number));
            ASSERT_NE(row, nullptr) << names[p] << " " << i;
            EXPECT_EQ(row->label, expected.label) << names[p] << " " << i;
        }
    }

    const std::optional<Json> camera = JsonReader::Read(lines[0]);
    const std::optional<Json> odd = JsonReader::Read(lines[1]);
    ASSERT_TRUE(camera && odd);
    const auto entryWith = [](const Json& photo, std::string_view label) {
        for (const Json& entry : photo["entries"].items)
            if (entry["label"].string == label) return entry;
        return Json{};
    };
    EXPECT_EQ(entryWith(*camera, "光圈")["tag"].number, 0x829D);
    EXPECT_EQ(entryWith(*camera, "光圈")["value"].string, "F2.8");
    EXPECT_EQ(entryWith(*odd, "图像标题")["value"].string, "He said \"hi\", then\r\nleft");
    EXPECT_EQ(entryWith(*odd, "作者")["value"].string, "tab\there \x01 back\\slash");
    ASSERT_EQ((*odd)["entries"].items.size(), 5u);  // and the file's size
    EXPECT_EQ((*odd)["entries"].items[4]["label"].string, "文件大小");
    EXPECT_EQ((*odd)["entries"].items[2]["value"].string, "Second");
    EXPECT_EQ((*camera)["entries"].items.size(), ListOf(camera_).Entries().size());
}

}  // namespace
