#include <gtest/gtest.h>

#include <cstdint>
#include <optional>
#include <vector>

#include "exif/decode_slots.h"
#include "tiff_builder.h"

namespace exif {
namespace {

using testsupport::Field;

using Opt = std::optional<std::int64_t>;
constexpr auto None = std::nullopt;

struct ElementCase {
    const char* name;
    Field field;
    Slot slot;
    std::size_t k;
    Opt expected;
};

TEST(DecodeSlots, ElementsByTypeAndReading) {
    using namespace testsupport;
    const ElementCase cases[] = {
        {"BYTE of four gives its first", Byte(0, {2, 2, 0, 0}), Slot::Byte, 0, 2},
        {"BYTE 255 is unsigned", Byte(0, {255}), Slot::Byte, 0, 255},
        {"UNDEFINED serves bytes", Undefined(0, {3}), Slot::Byte, 0, 3},
        {"BYTE of length 0", Byte(0, {}), Slot::Byte, 0, None},
        {"ASCII does not serve bytes", Ascii(0, "3"), Slot::Byte, 0, None},
        {"SHORT does not serve bytes", Short(0, {3}), Slot::Byte, 0, None},
        {"LONG of several gives its first", Long(0, {6720, 1, 2}), Slot::Long, 0, 6720},
        {"LONG is unsigned", Long(0, {0xFFFFFFFFu}), Slot::Long, 0, 4294967295LL},
        {"SHORT serves the L reading", Short(0, {4000}), Slot::Long, 0, 4000},
        {"SHORT 0xFFFF is unsigned", Short(0, {0xFFFF}), Slot::Short, 0, 65535},
        {"SHORT 0x8005 is unsigned", Short(0, {0x8005}), Slot::Short, 0, 32773},
        {"SHORT second value", Short(0, {2, 1}), Slot::Short, 1, 1},
        {"SHORT past its values", Short(0, {2}), Slot::Short, 1, None},
        {"SHORT of length 0", Short(0, {}), Slot::Short, 0, None},
        {"SHORT with an odd byte left over", testsupport::Raw(0, 3, 1, {5, 0, 9}), Slot::Short, 1,
         None},
        {"LONG serves S: k-th value", Long(0, {1, 65537}), Slot::Short, 1, 65537},
        {"RATIONAL words", Rational(0, {{35, 1}, {40, 1}, {30, 1}}), Slot::Rational, 5, 1},
        {"RATIONAL fifth word", Rational(0, {{35, 1}, {40, 1}, {30, 7}}), Slot::Rational, 4, 30},
        {"RATIONAL past its words", Rational(0, {{35, 1}, {40, 1}, {30, 1}}), Slot::Rational, 6,
         None},
        {"RATIONAL words are unsigned", Rational(0, {{0xFFFFFFFFu, 1}}), Slot::Rational, 0,
         4294967295LL},
        {"SRATIONAL numerator is signed", SRational(0, {{-1, 3}}), Slot::Rational, 0, -1},
        {"SRATIONAL denominator", SRational(0, {{-1, 3}}), Slot::Rational, 1, 3},
        {"SRATIONAL negative denominator", SRational(0, {{1, -8}}), Slot::Rational, 1, -8},
        {"SRATIONAL second pair", SRational(0, {{1, 2}, {-3, 4}}), Slot::Rational, 2, -3},
        {"RATIONAL does not serve S", Rational(0, {{1, 1}}), Slot::Short, 0, None},
        {"SHORT does not serve R", Short(0, {1, 1}), Slot::Rational, 0, None},
        {"SSHORT serves nothing", SShort(0, {-1}), Slot::Short, 0, None},
        {"SLONG serves nothing", SLong(0, {5}), Slot::Long, 0, None},
        {"DOUBLE serves nothing", testsupport::Double(0, {2.5}), Slot::Rational, 0, None},
        {"FLOAT serves nothing", testsupport::Raw(0, 11, 1, {0, 0, 0x80, 0x3F}), Slot::Long, 0,
         None},
        {"SBYTE serves nothing", testsupport::Raw(0, 6, 1, {1}), Slot::Byte, 0, None},
        {"unknown type serves nothing", testsupport::Raw(0, 99, 1, {1, 0, 0, 0}), Slot::Long, 0,
         None},
        {"LONG offset is unsigned", Long(0, {0x80000000u}), Slot::Offset, 0, 2147483648LL},
        {"SHORT offset", Short(0, {1234}), Slot::Offset, 0, 1234},
        {"SLONG offset is signed", SLong(0, {-256}), Slot::Offset, 0, -256},
        {"IFD offset", testsupport::Raw(0, 13, 1, {0xD2, 0x04, 0, 0}), Slot::Offset, 0, 1234},
        {"IFD serves only offsets", testsupport::Raw(0, 13, 1, {0xD2, 0x04, 0, 0}), Slot::Long, 0,
         None},
        {"RATIONAL does not serve offsets", Rational(0, {{1, 1}}), Slot::Offset, 0, None},
    };
    for (const ElementCase& c : cases) {
        const DecodeSlots item(c.field.type, c.field.le);
        EXPECT_EQ(item.Element(c.slot, c.k), c.expected) << c.name;
    }
}

TEST(DecodeSlots, Text) {
    using namespace testsupport;
    struct Case {
        const char* name;
        Field field;
        std::optional<std::string> expected;
    } cases[] = {
        {"ASCII loses its NUL", Ascii(0, "Canon"), "Canon"},
        {"UNDEFINED digits", UndefinedText(0, "0220"), "0220"},
        {"NUL in the middle", UndefinedText(0, std::string("ab\0cd\0", 6)), "abcd"},
        {"ASCII of length 0 is an empty text", Raw(0, 2, 0, {}), ""},
        {"UNDEFINED of length 0 is an empty text", Undefined(0, {}), ""},
        {"BYTE has no text", Byte(0, {'N', 0}), std::nullopt},
        {"SHORT has no text", Short(0, {'N'}), std::nullopt},
        {"UTF-8 type", Raw(0, 129, 7, {0xE5, 0xBC, 0xA0, 'a', 0, 'b', 0}), "张ab"},
        {"UTF-8 type with a stray byte", Raw(0, 129, 3, {'a', 0xB2, 0}), "a\xEF\xBF\xBD"},
        // Read as GB18030 when it is ASCII: the same bytes, two characters.
        {"ASCII with GB18030 bytes", Raw(0, 2, 5, {0xD5, 0xC5, 0xC8, 0xFD, 0}), "张三"},
        {"UTF-8 type does not read GB18030", Raw(0, 129, 3, {0xD5, 0xC5, 0}),
         "\xEF\xBF\xBD\xEF\xBF\xBD"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(DecodeSlots(c.field.type, c.field.le).Text(), c.expected) << c.name;
}

}  // namespace
}  // namespace exif
