#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "exif/metadata_list.h"

namespace exif {
namespace {

TEST(MetadataList, EmptyBeforeTheFirstPhoto) {
    const MetadataList list;
    EXPECT_EQ(list.EntryCount(), 0u);
    EXPECT_TRUE(list.Entries().empty());
    EXPECT_EQ(list.PhotoName(), "");
    EXPECT_EQ(list.PhotoFile(), "");
    std::vector<std::string> labels{"old"}, values{"old", "older"};
    list.GetExifData(labels, values);
    EXPECT_TRUE(labels.empty());
    EXPECT_TRUE(values.empty());
}

TEST(MetadataList, SetPhotoSplitsAtTheLastSeparator) {
    struct Case {
        std::string path;
        std::string name;
    } cases[] = {
        {"/照片/猫.jpg", "猫.jpg"},
        {"/home/user/photos/a.jpg", "a.jpg"},
        {"a.jpg", "a.jpg"},
        {"./a.jpg", "a.jpg"},
        {"/a.jpg", "a.jpg"},
        {"/photos/", ""},
        {"", ""},
        {"C:\\photos\\a.jpg", "C:\\photos\\a.jpg"},  // a backslash is a plain character here
        {"/tmp/new\nline.jpg", "new\nline.jpg"},
        {"dir.d/file", "file"},
    };
    for (const Case& c : cases) {
        MetadataList list;
        list.SetPhoto(c.path);
        EXPECT_EQ(list.PhotoFile(), c.path) << c.path;
        EXPECT_EQ(list.PhotoName(), c.name) << c.path;
    }
}

TEST(MetadataList, SetPhotoReplacesTheEarlierPhoto) {
    MetadataList list;
    list.SetPhoto("/one/first.jpg");
    list.SetPhoto("second.jpg");
    EXPECT_EQ(list.PhotoName(), "second.jpg");
    EXPECT_EQ(list.PhotoFile(), "second.jpg");
}

TEST(MetadataList, NullImageGivesAnEmptyList) {
    MetadataList list;
    list.LoadMetadata(nullptr);
    EXPECT_EQ(list.EntryCount(), 0u);
    EXPECT_TRUE(list.Entries().empty());
}

}  // namespace
}  // namespace exif
