// The JPEG preview decoder alone (DecodeJpegPreview, the file in memory)
// over 12, 24 and 50 megapixel JPEGs: baseline 4:2:0 (its chroma's AC is
// decoded for the small transforms), baseline 4:2:2 (every AC coefficient
// only skipped) and progressive 4:2:0 (DC scans decoded, AC scans passed
// over but for the chroma's first coefficients), and baseline 4:2:0 with a
// restart marker after each row of MCUs (as iPhones, HP, Kodak and Pentax
// write them); the sequential ones decoded by two threads (split at a restart
// marker, or from a guess) and by one; against libjpeg's own eighth-size
// decode of the same bytes. The photos are written by the tests'
// JPEG codec when first needed, at quality 92.
//   jpeg_preview_bench [--benchmark_repetitions=N] [--benchmark_filter=REGEX]
#include "preview/jpeg_dc_preview.h"

#include "jpeg_test_codec.h"

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <map>
#include <string>
#include <utility>

namespace {

struct Size {
    const char* name;
    int width;
    int height;
};

constexpr Size kSizes[] = {
    {"12mp", 4000, 3000},
    {"24mp", 6000, 4000},
    {"50mp", 8688, 5792},
};

struct Kind {
    const char* name;
    int h, v;  // of the luma; the chroma is sampled once per MCU
    bool progressive;
    bool restartEachRow = false;
};

constexpr Kind kKinds[] = {
    {"baseline_420", 2, 2, false},
    {"baseline_422", 2, 1, false},
    {"progressive_420", 2, 2, true},
    {"baseline_420_restarts", 2, 2, false, true},
};

const jpegtest::Bytes& Photo(const Size& size, const Kind& kind) {
    static std::map<std::pair<const Size*, const Kind*>, jpegtest::Bytes> photos;
    jpegtest::Bytes& bytes = photos[{&size, &kind}];
    if (bytes.empty()) {
        jpegtest::Layout layout;
        layout.quality = 92;
        layout.h[0] = kind.h;
        layout.v[0] = kind.v;
        layout.progressive = kind.progressive;
        if (kind.restartEachRow)
            layout.restartInterval = (size.width + 8 * kind.h - 1) / (8 * kind.h);
        bytes = jpegtest::Encode(jpegtest::Scene(size.width, size.height), layout);
        if (bytes.empty()) std::abort();
    }
    return bytes;
}

void Report(benchmark::State& state, const Size& size, const jpegtest::Bytes& bytes) {
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * bytes.size()));
    state.counters["megapixels/s"] =
        benchmark::Counter(static_cast<double>(size.width) * size.height / 1e6 *
                               static_cast<double>(state.iterations()),
                           benchmark::Counter::kIsRate);
}

void Preview(benchmark::State& state, const Size* size, const Kind* kind,
             std::uint64_t parallelFromMcus) {
    const jpegtest::Bytes& bytes = Photo(*size, *kind);
    for (auto _ : state) {
        preview::JpegPreview decoded =
            preview::DecodeJpegPreview(bytes, std::uint64_t{1} << 32, parallelFromMcus);
        if (decoded.result != preview::JpegPreview::Result::Complete) {
            state.SkipWithError("not decoded");
            break;
        }
        benchmark::DoNotOptimize(decoded.pixels.data());
    }
    Report(state, *size, bytes);
}

void Libjpeg(benchmark::State& state, const Size* size, const Kind* kind) {
    const jpegtest::Bytes& bytes = Photo(*size, *kind);
    for (auto _ : state) {
        jpegtest::Decoded decoded = jpegtest::DecodeEighth(bytes);
        if (!decoded.ok) {
            state.SkipWithError("libjpeg refused it");
            break;
        }
        benchmark::DoNotOptimize(decoded.picture.rgb.data());
    }
    Report(state, *size, bytes);
}

}  // namespace

int main(int argc, char** argv) {
    for (const Kind& kind : kKinds) {
        for (const Size& size : kSizes) {
            const std::string name = std::string(kind.name) + "/" + size.name;
            benchmark::RegisterBenchmark(("preview/" + name).c_str(), Preview, &size, &kind,
                                         preview::kParallelFromMcus)
                ->Unit(benchmark::kMillisecond)
                ->UseRealTime();
            if (!kind.progressive)
                benchmark::RegisterBenchmark(("preview_one_thread/" + name).c_str(), Preview, &size,
                                             &kind, UINT64_MAX)
                    ->Unit(benchmark::kMillisecond)
                    ->UseRealTime();
            benchmark::RegisterBenchmark(("libjpeg/" + name).c_str(), Libjpeg, &size, &kind)
                ->Unit(benchmark::kMillisecond)
                ->UseRealTime();
        }
    }
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
