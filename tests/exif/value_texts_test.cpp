#include <gtest/gtest.h>

#include <cstdint>
#include <map>
#include <string>

#include "exif/value_texts.h"

namespace exif {
namespace {

using Lookup = std::string_view (*)(std::uint32_t);

struct TableCase {
    const char* name;
    Lookup lookup;
    std::map<std::uint32_t, std::string> texts;  // every code that has a text
};

const TableCase kTables[] = {
    {"Orientation",
     OrientationText,
     {{1, "1-上/左"},
      {2, "2-上/右"},
      {3, "3-下/右"},
      {4, "4-下/左"},
      {5, "5-左/上"},
      {6, "6-右/上"},
      {7, "7-右/下"},
      {8, "8-左/下"}}},
    {"ResolutionUnit", ResolutionUnitText, {{1, "1-没有"}, {2, "2-英寸"}, {3, "3-厘米"}}},
    {"ExposureProgram",
     ExposureProgramText,
     {{0, "0-未定义"},
      {1, "1-手动"},
      {2, "2-程序"},
      {3, "3-光圈优先"},
      {4, "4-快门优先"},
      {5, "5-景深优先"},
      {6, "6-运动模式"},
      {7, "7-肖像模式"},
      {8, "8-风景模式"}}},
    {"MeteringMode",
     MeteringModeText,
     {{0, "0-未知"},
      {1, "1-平均测光"},
      {2, "2-中央重点测光"},
      {3, "3-点测光"},
      {4, "4-多点测光"},
      {5, "5-多区域测光"},
      {6, "6-局部测光"},
      {255, "255-其他"}}},
    {"LightSource",
     LightSourceText,
     {{0, "0-未知"},
      {1, "1-日光"},
      {2, "2-荧光灯"},
      {3, "3-白炽灯"},
      {4, "4-闪光灯"},
      {9, "9-晴天"},
      {10, "10-多云"},
      {11, "11-阴影"},
      {12, "12-日光灯(D5700-7100K)"},
      {13, "13-日白色荧光灯(N4600-5400K"},
      {14, "14-冷色荧光灯(W3900-4500K"},
      {15, "15-白色色荧光灯(WW3200-3700K"},
      {17, "17-标准光A"},
      {18, "18-标准光B"},
      {19, "19-标准光C"},
      {20, "20-D55"},
      {21, "21-D65"},
      {22, "22-D75"},
      {23, "23-D50"},
      {24, "24-标准影室钨丝灯"},
      {255, "255-其他"}}},
    {"Flash",
     FlashText,
     {{0, "0-关闭"},
      {1, "1-打开"},
      {5, "5-频闪光线未侦测到"},
      {7, "7-频闪光线已侦测到"},
      {9, "9-打开（强制）"},
      {13, "13-打开（强制/不探测返回光线）"},
      {15, "15-打开（强制/探测返回光线）"},
      {16, "16-关闭（强制）"},
      {24, "24-关闭（自动）"},
      {25, "25-打开（自动）"},
      {29, "29-打开（自动/不探测返回光线）"},
      {31, "31-打开（自动/探测返回光线）"},
      {32, "32-无闪光功能"},
      {65, "65-打开（防红眼）"},
      {69, "69-打开（防红眼/不探测返回光线）"},
      {71, "71-打开（防红眼/探测返回光线）"},
      {73, "73-打开（强制/防红眼）"},
      {77, "77-打开（强制/防红眼/不探测返回光线）"},
      {79, "79-打开（强制/防红眼/探测返回光线）"},
      {89, "89-打开（自动/防红眼）"},
      {93, "93-打开（自动/防红眼/不探测返回光线）"},
      {95, "95-打开（自动/防红眼/探测返回光线）"}}},
    {"WhiteBalance", WhiteBalanceText, {{0, "0-自动"}, {1, "1-手动"}}},
    {"ColorSpace", ColorSpaceText, {{1, "1-sRGB"}, {65535, "65535-未校准"}}},
    {"SensingMethod",
     SensingMethodText,
     {{1, "1-未定义"},
      {2, "2-一个芯片颜色区域传感器"},
      {3, "3-两个芯片颜色区域传感器"},
      {4, "4-三个芯片颜色区域传感器"},
      {5, "5-连续芯片颜色区域传感器"},
      {7, "7-三线性传感器"},
      {8, "8-连续芯片颜色线型传感器"}}},
    {"Compression",
     CompressionText,
     {{1, "1-未压缩"},
      {2, "2-CCITT 1D"},
      {3, "3-Group 3 Fax"},
      {4, "4-Group 4 Fax"},
      {5, "5-LZW"},
      {6, "6-JPEG压缩（缩略图）"},
      {7, "7-JPEG"},
      {8, "8-ZLib"},
      {32773, "32773-PackBits"}}},
    {"SceneCaptureType",
     SceneCaptureTypeText,
     {{0, "0-标准"}, {1, "1-风景"}, {2, "2-肖像"}, {3, "3-夜景"}}},
    {"GainControl",
     GainControlText,
     {{0, "0-无"}, {1, "1-低增益"}, {2, "2-高增益"}, {3, "3-低增益下"}, {4, "4-高增益下"}}},
    {"Contrast", ContrastText, {{0, "0-标准"}, {1, "1-弱"}, {2, "2-强"}}},
    {"Saturation", SaturationText, {{0, "0-标准"}, {1, "1-低"}, {2, "2-高"}}},
    {"Sharpness", SharpnessText, {{0, "0-标准"}, {1, "1-弱"}, {2, "2-强"}}},
    {"SubjectDistanceRange",
     SubjectDistanceRangeText,
     {{0, "0-未知"}, {1, "1-微距"}, {2, "2-近景"}, {3, "3-远景"}}},
    {"ExposureMode", ExposureModeText, {{0, "0-自动"}, {1, "1-手动"}, {2, "2-Auto bracket"}}},
    {"CustomRendered", CustomRenderedText, {{0, "0-标准"}, {1, "1-自定义"}}},
    {"YCbCrPositioning", YCbCrPositioningText, {{1, "1-居中"}, {2, "2-co-sited"}}},
    {"Photometric", PhotometricText, {{0, "单色"}, {1, "单色"}, {2, "RGB"}, {6, "YCbCr"}}},
    {"SceneType", SceneTypeText, {{0, "0-未定义"}, {1, "1-直接拍摄"}}},
    {"FileSource",
     FileSourceText,
     {{0, "0-其他"}, {1, "1-透明片扫描"}, {2, "2-反射片扫描"}, {3, "3-DSC数码相机"}}},
};

// Every 16-bit code, plus codes that only a LONG can hold: they must not wrap
// onto a 16-bit code (65537 is not 1, 0x10000 + 0x8005 is not PackBits).
TEST(ValueTexts, EveryCodeOfEveryTable) {
    for (const TableCase& table : kTables) {
        for (std::uint32_t code = 0; code <= 0x10000; ++code) {
            const auto it = table.texts.find(code);
            const std::string expected = it == table.texts.end() ? "" : it->second;
            ASSERT_EQ(table.lookup(code), expected) << table.name << " code " << code;
        }
        for (std::uint32_t code : {0x10001u, 0x18005u, 0x1FFFFu, 0x100FFu, 0xFFFFFFFFu})
            EXPECT_EQ(table.lookup(code), "") << table.name << " code " << code;
    }
}

TEST(ValueTexts, EdgeCases) {
    struct Case {
        const char* name;
        std::string_view actual;
        std::string_view expected;
    } cases[] = {
        {"orientation 8", OrientationText(8), "8-左/下"},
        {"orientation 0", OrientationText(0), ""},
        {"orientation 9", OrientationText(9), ""},
        {"light source 16", LightSourceText(16), ""},
        {"light source 255", LightSourceText(255), "255-其他"},
        {"flash 16", FlashText(16), "16-关闭（强制）"},
        {"flash 8 (not split into bits)", FlashText(8), ""},
        {"flash 17", FlashText(17), ""},
        {"flash 88", FlashText(88), ""},
        {"compression 0x8005", CompressionText(0x8005), "32773-PackBits"},
        {"sensing method 6", SensingMethodText(6), ""},
        {"colour space 1", ColorSpaceText(1), "1-sRGB"},
        {"colour space 0", ColorSpaceText(0), ""},
        {"colour space 2", ColorSpaceText(2), ""},
        {"colour space 0xFFFF", ColorSpaceText(0xFFFF), "65535-未校准"},
        {"sharpness like contrast", SharpnessText(2), ContrastText(2)},
    };
    for (const Case& c : cases) EXPECT_EQ(c.actual, c.expected) << c.name;
}

TEST(ValueTexts, TwoWayLookups) {
    struct Case {
        const char* name;
        std::string_view actual;
        std::string_view expected;
    } cases[] = {
        {"altitude 0", AltitudeRefText(0), "海平面"},
        {"altitude 1", AltitudeRefText(1), "海平面以下"},
        {"altitude 255", AltitudeRefText(255), "海平面以下"},
        {"latitude N", LatitudeRefText("N"), "北纬"},
        {"latitude n", LatitudeRefText("n"), "南纬"},
        {"latitude S", LatitudeRefText("S"), "南纬"},
        {"latitude empty", LatitudeRefText(""), "南纬"},
        {"latitude N plus space", LatitudeRefText("N "), "南纬"},
        {"latitude NN", LatitudeRefText("NN"), "南纬"},
        {"longitude E", LongitudeRefText("E"), "东经"},
        {"longitude e", LongitudeRefText("e"), "西经"},
        {"longitude W", LongitudeRefText("W"), "西经"},
        {"longitude empty", LongitudeRefText(""), "西经"},
        {"direction T", ImgDirectionRefText("T"), "真方向"},
        {"direction M", ImgDirectionRefText("M"), "磁方位"},
        {"direction t", ImgDirectionRefText("t"), "磁方位"},
        {"direction empty", ImgDirectionRefText(""), "磁方位"},
    };
    for (const Case& c : cases) EXPECT_EQ(c.actual, c.expected) << c.name;
}

}  // namespace
}  // namespace exif
