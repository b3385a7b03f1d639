// make_jpeg_seeds DIR: writes the JPEG preview fuzzer's seeds into DIR: small
// JPEGs in every layout the decoder handles (sampling factors, restart
// intervals, one scan per component, grey, RGB, progressive scripts with
// successive approximation), some cut short, and progressive ones it leaves
// alone (AC bits missing).
#include "jpeg_test_codec.h"

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

using namespace jpegtest;

namespace {

struct Seed {
    const char* name;
    int width, height;
    std::initializer_list<int> h, v;  // sampling factors; one for grey
    int restartInterval = 0;
    bool separateScans = false;
    bool rgb = false;
    bool optimize = false;
    bool progressive = false;
    bool cut = false;               // keep only the first two thirds
    std::vector<Scan> script = {};  // progressive: instead of libjpeg's usual scans
};

// The DC in steps, the AC in bands refined twice, refinements out of order.
const std::vector<Scan> kSteps = {
    {{0, 1, 2}, 0, 0, 0, 2}, {{1}, 1, 2, 0, 2},    {{1}, 3, 63, 0, 2},     {{2}, 1, 63, 0, 1},
    {{0}, 1, 63, 0, 0},      {{0, 2}, 0, 0, 2, 1}, {{1}, 0, 0, 2, 1},      {{1}, 1, 63, 2, 1},
    {{1}, 1, 63, 1, 0},      {{2}, 1, 63, 1, 0},   {{0, 1, 2}, 0, 0, 1, 0}};
// Each scan one component; with a luma sampled 4 x 4 no MCU holds them all.
const std::vector<Scan> kAlone = {{{0}, 0, 0, 0, 1},   {{1}, 0, 0, 0, 0}, {{2}, 0, 0, 0, 1},
                                  {{1}, 1, 63, 0, 0},  {{2}, 1, 9, 0, 1}, {{0}, 1, 63, 0, 0},
                                  {{2}, 10, 63, 0, 0}, {{2}, 1, 9, 1, 0}, {{0}, 0, 0, 1, 0},
                                  {{2}, 0, 0, 1, 0}};
const std::vector<Scan> kNoAc = {{{0, 1, 2}, 0, 0, 0, 0}};

const Seed kSeeds[] = {
    {"420", 40, 24, {2, 1, 1}, {2, 1, 1}},
    {"444", 24, 16, {1, 1, 1}, {1, 1, 1}},
    {"422", 33, 17, {2, 1, 1}, {1, 1, 1}},
    {"411", 48, 9, {4, 1, 1}, {1, 1, 1}},
    {"440", 16, 32, {1, 1, 1}, {2, 1, 1}},
    {"luma-4x2", 40, 20, {4, 1, 1}, {2, 1, 1}},
    {"luma-4x4-scans", 40, 40, {4, 1, 1}, {4, 1, 1}, 0, true},
    {"grey", 30, 20, {1}, {1}},
    {"rgb", 16, 16, {1, 1, 1}, {1, 1, 1}, 0, false, true},
    {"restart-1", 48, 32, {2, 1, 1}, {2, 1, 1}, 1},
    {"restart-1-cut", 48, 32, {2, 1, 1}, {2, 1, 1}, 1, false, false, false, false, true},
    {"restart-3-444", 40, 24, {1, 1, 1}, {1, 1, 1}, 3},
    {"scans-420", 40, 24, {2, 1, 1}, {2, 1, 1}, 0, true},
    {"optimised", 32, 32, {2, 1, 1}, {2, 1, 1}, 0, false, false, true},
    {"progressive", 24, 24, {2, 1, 1}, {2, 1, 1}, 0, false, false, false, true},
    {"progressive-grey", 40, 24, {1}, {1}, 0, false, false, false, true},
    {"progressive-444-restart-2", 24, 16, {1, 1, 1}, {1, 1, 1}, 2, false, false, false, true},
    {"progressive-422-cut", 33, 17, {2, 1, 1}, {1, 1, 1}, 0, false, false, false, true, true},
    {"progressive-steps-420",
     40,
     24,
     {2, 1, 1},
     {2, 1, 1},
     0,
     false,
     false,
     false,
     true,
     false,
     kSteps},
    {"progressive-steps-restart-1",
     24,
     24,
     {2, 1, 1},
     {2, 1, 1},
     1,
     false,
     false,
     false,
     true,
     false,
     kSteps},
    {"progressive-alone-luma-4x4",
     40,
     40,
     {4, 1, 1},
     {4, 1, 1},
     0,
     false,
     false,
     false,
     true,
     false,
     kAlone},
    {"progressive-no-ac", 24, 16, {2, 1, 1}, {2, 1, 1}, 0, false, false, false, true, false, kNoAc},
    {"1x1", 1, 1, {2, 1, 1}, {2, 1, 1}},
};

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fputs("usage: make_jpeg_seeds DIR\n", stderr);
        return 2;
    }
    const std::string dir = argv[1];
    for (const Seed& seed : kSeeds) {
        Layout layout;
        layout.quality = 75;
        layout.components = static_cast<int>(seed.h.size());
        std::copy(seed.h.begin(), seed.h.end(), layout.h);
        std::copy(seed.v.begin(), seed.v.end(), layout.v);
        layout.restartInterval = seed.restartInterval;
        layout.separateScans = seed.separateScans;
        layout.rgb = seed.rgb;
        layout.optimize = seed.optimize;
        layout.progressive = seed.progressive;
        layout.script = seed.script;
        Bytes jpeg = Encode(Scene(seed.width, seed.height), layout);
        if (jpeg.empty()) {
            std::fprintf(stderr, "make_jpeg_seeds: libjpeg refused %s\n", seed.name);
            return 1;
        }
        if (seed.cut) jpeg.resize(jpeg.size() * 2 / 3);
        if (!WriteFile(dir + "/" + seed.name + ".jpg", jpeg)) {
            std::fprintf(stderr, "make_jpeg_seeds: cannot write %s/%s.jpg\n", dir.c_str(),
                         seed.name);
            return 1;
        }
    }
    return 0;
}
