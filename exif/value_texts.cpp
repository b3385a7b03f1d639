#include "exif/value_texts.h"

namespace exif {
namespace {

constexpr CodeText kOrientation[] = {
    {1, "1-上/左"}, {2, "2-上/右"}, {3, "3-下/右"}, {4, "4-下/左"},
    {5, "5-左/上"}, {6, "6-右/上"}, {7, "7-右/下"}, {8, "8-左/下"},
};

constexpr CodeText kResolutionUnit[] = {
    {1, "1-没有"},
    {2, "2-英寸"},
    {3, "3-厘米"},
};

constexpr CodeText kExposureProgram[] = {
    {0, "0-未定义"},   {1, "1-手动"},     {2, "2-程序"},     {3, "3-光圈优先"}, {4, "4-快门优先"},
    {5, "5-景深优先"}, {6, "6-运动模式"}, {7, "7-肖像模式"}, {8, "8-风景模式"},
};

constexpr CodeText kMeteringMode[] = {
    {0, "0-未知"},     {1, "1-平均测光"},   {2, "2-中央重点测光"}, {3, "3-点测光"},
    {4, "4-多点测光"}, {5, "5-多区域测光"}, {6, "6-局部测光"},     {255, "255-其他"},
};

// 13 to 15 lack their closing parenthesis and 15 repeats 色: these are the
// texts users of the program have always seen. 9 is Exif's "fine weather":
// it used to read 阴天 (overcast), which 10 (cloudy) already covers.
constexpr CodeText kLightSource[] = {
    {0, "0-未知"},
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
    {255, "255-其他"},
};

// The flash code is matched whole, not split into its bits.
constexpr CodeText kFlash[] = {
    {0, "0-关闭"},
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
    {95, "95-打开（自动/防红眼/探测返回光线）"},
};

constexpr CodeText kWhiteBalance[] = {
    {0, "0-自动"},
    {1, "1-手动"},
};

// The uncalibrated text goes with the code it names (0xFFFF), not with 2.
constexpr CodeText kColorSpace[] = {
    {1, "1-sRGB"},
    {65535, "65535-未校准"},
};

constexpr CodeText kSensingMethod[] = {
    {1, "1-未定义"},
    {2, "2-一个芯片颜色区域传感器"},
    {3, "3-两个芯片颜色区域传感器"},
    {4, "4-三个芯片颜色区域传感器"},
    {5, "5-连续芯片颜色区域传感器"},
    {7, "7-三线性传感器"},
    {8, "8-连续芯片颜色线型传感器"},
};

constexpr CodeText kCompression[] = {
    {1, "1-未压缩"},      {2, "2-CCITT 1D"}, {3, "3-Group 3 Fax"},
    {4, "4-Group 4 Fax"}, {5, "5-LZW"},      {6, "6-JPEG压缩（缩略图）"},
    {7, "7-JPEG"},        {8, "8-ZLib"},     {32773, "32773-PackBits"},
};

constexpr CodeText kSceneCaptureType[] = {
    {0, "0-标准"},
    {1, "1-风景"},
    {2, "2-肖像"},
    {3, "3-夜景"},
};

constexpr CodeText kGainControl[] = {
    {0, "0-无"}, {1, "1-低增益"}, {2, "2-高增益"}, {3, "3-低增益下"}, {4, "4-高增益下"},
};

constexpr CodeText kContrast[] = {
    {0, "0-标准"},
    {1, "1-弱"},
    {2, "2-强"},
};

constexpr CodeText kSaturation[] = {
    {0, "0-标准"},
    {1, "1-低"},
    {2, "2-高"},
};

constexpr CodeText kSharpness[] = {
    {0, "0-标准"},
    {1, "1-弱"},
    {2, "2-强"},
};

constexpr CodeText kSubjectDistanceRange[] = {
    {0, "0-未知"},
    {1, "1-微距"},
    {2, "2-近景"},
    {3, "3-远景"},
};

constexpr CodeText kExposureMode[] = {
    {0, "0-自动"},
    {1, "1-手动"},
    {2, "2-Auto bracket"},
};

constexpr CodeText kCustomRendered[] = {
    {0, "0-标准"},
    {1, "1-自定义"},
};

constexpr CodeText kYCbCrPositioning[] = {
    {1, "1-居中"},
    {2, "2-co-sited"},
};

// TIFF codes: 0 and 1 are the two kinds of greyscale, 2 is RGB.
constexpr CodeText kPhotometric[] = {
    {0, "单色"},
    {1, "单色"},
    {2, "RGB"},
    {6, "YCbCr"},
};

constexpr CodeText kSceneType[] = {
    {0, "0-未定义"},
    {1, "1-直接拍摄"},
};

constexpr CodeText kFileSource[] = {
    {0, "0-其他"},
    {1, "1-透明片扫描"},
    {2, "2-反射片扫描"},
    {3, "3-DSC数码相机"},
};

}  // namespace

std::string_view LookupCode(std::span<const CodeText> table, std::uint32_t code) {
    for (const CodeText& row : table)
        if (row.code == code) return row.text;
    return {};
}

std::string_view OrientationText(std::uint32_t code) { return LookupCode(kOrientation, code); }
std::string_view ResolutionUnitText(std::uint32_t code) {
    return LookupCode(kResolutionUnit, code);
}
std::string_view ExposureProgramText(std::uint32_t code) {
    return LookupCode(kExposureProgram, code);
}
std::string_view MeteringModeText(std::uint32_t code) { return LookupCode(kMeteringMode, code); }
std::string_view LightSourceText(std::uint32_t code) { return LookupCode(kLightSource, code); }
std::string_view FlashText(std::uint32_t code) { return LookupCode(kFlash, code); }
std::string_view WhiteBalanceText(std::uint32_t code) { return LookupCode(kWhiteBalance, code); }
std::string_view ColorSpaceText(std::uint32_t code) { return LookupCode(kColorSpace, code); }
std::string_view SensingMethodText(std::uint32_t code) { return LookupCode(kSensingMethod, code); }
std::string_view CompressionText(std::uint32_t code) { return LookupCode(kCompression, code); }
std::string_view SceneCaptureTypeText(std::uint32_t code) {
    return LookupCode(kSceneCaptureType, code);
}
std::string_view GainControlText(std::uint32_t code) { return LookupCode(kGainControl, code); }
std::string_view ContrastText(std::uint32_t code) { return LookupCode(kContrast, code); }
std::string_view SaturationText(std::uint32_t code) { return LookupCode(kSaturation, code); }
std::string_view SharpnessText(std::uint32_t code) { return LookupCode(kSharpness, code); }
std::string_view SubjectDistanceRangeText(std::uint32_t code) {
    return LookupCode(kSubjectDistanceRange, code);
}
std::string_view ExposureModeText(std::uint32_t code) { return LookupCode(kExposureMode, code); }
std::string_view CustomRenderedText(std::uint32_t code) {
    return LookupCode(kCustomRendered, code);
}
std::string_view YCbCrPositioningText(std::uint32_t code) {
    return LookupCode(kYCbCrPositioning, code);
}
std::string_view PhotometricText(std::uint32_t code) { return LookupCode(kPhotometric, code); }
std::string_view SceneTypeText(std::uint32_t code) { return LookupCode(kSceneType, code); }
std::string_view FileSourceText(std::uint32_t code) { return LookupCode(kFileSource, code); }

std::string_view AltitudeRefText(std::uint32_t code) { return code == 0 ? "海平面" : "海平面以下"; }
std::string_view LatitudeRefText(std::string_view text) { return text == "N" ? "北纬" : "南纬"; }
std::string_view LongitudeRefText(std::string_view text) { return text == "E" ? "东经" : "西经"; }
std::string_view ImgDirectionRefText(std::string_view text) {
    return text == "T" ? "真方向" : "磁方位";
}

}  // namespace exif
