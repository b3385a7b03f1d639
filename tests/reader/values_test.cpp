// Values come out little-endian element by element, whatever the file's order.
#include "reader_test_support.h"
#include "tiff_builder.h"

#include <gtest/gtest.h>

namespace {

using namespace testsupport;
using readertest::Item;
using readertest::OpenBytes;
using readertest::ReadAll;
using Bytes = std::vector<std::uint8_t>;

TEST(Values, EveryTypeComesOutLittleEndianFromEitherOrder) {
    struct Case {
        const char* name;
        Field field;
        Bytes expected;
    };
    const Case cases[] = {
        {"BYTE inline", Byte(0x0000, {2, 3, 0, 0}), {2, 3, 0, 0}},
        {"BYTE out of line", Byte(0x0000, {1, 2, 3, 4, 5}), {1, 2, 3, 4, 5}},
        {"ASCII inline", Ascii(0x0001, "N"), {'N', 0}},
        {"ASCII out of line", Ascii(0x010F, "Canon"), {'C', 'a', 'n', 'o', 'n', 0}},
        {"SHORT one", Short(0x0112, {0x1234}), {0x34, 0x12}},
        {"SHORT two inline", Short(0x0213, {0x0102, 0xFFFF}), {0x02, 0x01, 0xFF, 0xFF}},
        {"SHORT three", Short(0x0212, {1, 0x8005, 0xABCD}), {1, 0, 0x05, 0x80, 0xCD, 0xAB}},
        {"LONG one", Long(0xA002, {0x12345678}), {0x78, 0x56, 0x34, 0x12}},
        {"LONG two", Long(0x0111, {1, 0xAABBCCDD}), {1, 0, 0, 0, 0xDD, 0xCC, 0xBB, 0xAA}},
        {"RATIONAL", Rational(0x829A, {{1, 0x01020304}}), {1, 0, 0, 0, 4, 3, 2, 1}},
        {"RATIONAL three",
         Rational(0x0002, {{35, 1}, {40, 1}, {0x10000, 100}}),
         {35, 0, 0, 0, 1, 0, 0, 0, 40, 0, 0, 0, 1, 0, 0, 0, 0, 0, 1, 0, 100, 0, 0, 0}},
        {"SBYTE",
         Raw(0x9999, reader::PropertyTypeSByte, 3, {0xFF, 0x80, 0x7F}),
         {0xFF, 0x80, 0x7F}},
        {"UNDEFINED", UndefinedText(0x9000, "0231"), {'0', '2', '3', '1'}},
        {"SSHORT", SShort(0x9998, {-2, 3}), {0xFE, 0xFF, 3, 0}},
        {"SLONG", SLong(0x9997, {-2}), {0xFE, 0xFF, 0xFF, 0xFF}},
        {"SRATIONAL", SRational(0x9204, {{-1, 3}}), {0xFF, 0xFF, 0xFF, 0xFF, 3, 0, 0, 0}},
        {"FLOAT",
         Raw(0x9996, reader::PropertyTypeFloat, 1, {0x00, 0x00, 0x80, 0x3F}),
         {0x00, 0x00, 0x80, 0x3F}},
        {"FLOAT two",
         Raw(0x9996, reader::PropertyTypeFloat, 2, {1, 2, 3, 4, 5, 6, 7, 8}),
         {1, 2, 3, 4, 5, 6, 7, 8}},
        {"DOUBLE", Double(0x9995, {1.0}), {0, 0, 0, 0, 0, 0, 0xF0, 0x3F}},
        {"IFD",
         Raw(0x9994, reader::PropertyTypeIfd, 1, {0x10, 0x20, 0x30, 0x40}),
         {0x10, 0x20, 0x30, 0x40}},
        {"count 0", Raw(0x9993, reader::PropertyTypeLong, 0, {}), {}},
        {"ASCII count 0", Raw(0x9992, reader::PropertyTypeAscii, 0, {}), {}},
    };
    for (bool big : {false, true}) {
        for (const Case& c : cases) {
            TiffSpec spec;
            spec.bigEndian = big;
            spec.ifd0.fields = {c.field};
            const std::vector<Item> items = ReadAll(OpenBytes(BuildTiff(spec).bytes));
            const std::string name =
                std::string(c.name) + (big ? " (big-endian)" : " (little-endian)");
            ASSERT_EQ(items.size(), 1u) << name;
            EXPECT_EQ(items[0].id, c.field.tag) << name;
            EXPECT_EQ(items[0].type, c.field.type) << name;
            EXPECT_EQ(items[0].value, c.expected) << name;
            EXPECT_EQ(OpenBytes(BuildTiff(spec).bytes).items()[0].count, c.field.count) << name;
        }
    }
}

// A big-endian block written byte by byte, independent of the test writer.
TEST(Values, HandWrittenBigEndianBlock) {
    const Bytes block{
        'M',  'M',  0, 42, 0, 0, 0, 8, 0,    3,            // three entries
        0x01, 0x12, 0, 3,  0, 0, 0, 1, 0x12, 0x34, 0, 0,   // SHORT 0x1234, inline
        0x82, 0x9A, 0, 5,  0, 0, 0, 1, 0,    0,    0, 50,  // RATIONAL at 50
        0x99, 0x99, 0, 12, 0, 0, 0, 1, 0,    0,    0, 58,  // DOUBLE at 58
        0,    0,    0, 0,                                  // no IFD1
        0,    0,    0, 1,  0, 0, 0, 2,                     // 1/2
        0x3F, 0xF0, 0, 0,  0, 0, 0, 0,                     // 1.0
    };
    const std::vector<Item> items = ReadAll(OpenBytes(block));
    const std::vector<Item> expected{
        {0x0112, 3, {0x34, 0x12}},
        {0x829A, 5, {1, 0, 0, 0, 2, 0, 0, 0}},
        {0x9999, 12, {0, 0, 0, 0, 0, 0, 0xF0, 0x3F}},
    };
    EXPECT_EQ(items, expected);
}

TEST(Values, EntriesOfUnknownTypeAreNotListed) {
    for (std::uint16_t type : {0, 14, 15, 128, 130, 0xFFFF}) {
        TiffSpec spec;
        spec.ifd0.fields = {Short(0x0100, {1}), Raw(0x0101, type, 1, {1, 2, 3, 4}),
                            Short(0x0102, {8})};
        const std::vector<Item> items = ReadAll(OpenBytes(BuildTiff(spec).bytes));
        const std::vector<Item> expected{{0x0100, 3, {1, 0}}, {0x0102, 3, {8, 0}}};
        EXPECT_EQ(items, expected) << "type " << type;
    }
}

}  // namespace
