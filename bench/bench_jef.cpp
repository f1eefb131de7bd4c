// JEF reading and writing of a 1,000,000-stitch design, against the obvious alternatives: a
// reader that pulls every byte through the checked reader into an unreserved vector and
// computes the bounds in a second walk, and a writer that appends each record as its own
// small vector without reserving.
#include "VDLBytes.h"
#include "VDLDesign.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <random>
#include <unistd.h>

namespace {

constexpr size_t kStitches = 1000000;

VDLDesign makeJefDesign(size_t count) {
    std::mt19937 rng(11);
    std::vector<VDLStitch> list;
    list.reserve(count);
    size_t changes = 0;
    float x = 0, y = 0;
    for (size_t i = 0; i < count; ++i) {
        float dx = float(int(rng() % 201) - 100) + float(rng() % 100) / 100.0f;
        float dy = float(int(rng() % 201) - 100) + float(rng() % 100) / 100.0f;
        if (std::fabs(x + dx) > 900) dx = -dx;
        if (std::fabs(y + dy) > 1200) dy = -dy;
        x += dx;
        y += dy;
        const bool change = i % 50000 == 49999;
        list.emplace_back(dx, dy, !change && rng() % 50 == 0, change);
        changes += change;
    }
    VDLDesign d;
    d.setStitches(std::move(list));
    const char* keys[] = {"002", "225", "207", "204", "226", "001", "214"};
    for (size_t i = 0; i <= changes; ++i) d.threads().emplace_back(keys[i % 7], "Janome");
    d.setDesignType("JEF");
    d.recomputeBounds();
    d.setHoopFromVendor("Janome", 29);
    return d;
}

VDLDesign& design() {
    static VDLDesign d = makeJefDesign(kStitches);
    return d;
}

const std::vector<uint8_t>& fileBytes() {
    static const std::vector<uint8_t> b = design().exportJefDesignToData();
    return b;
}

void naiveRead(VDLDesign& d, std::span<const uint8_t> data) {
    VDLByteReader r(data);
    int32_t offset = 0;
    r.i32le(offset);
    r.seek(offset);
    auto& out = d.stitches();
    while (r.remaining() >= 2) {
        int8_t a = 0, b = 0;
        r.i8(a);
        if (uint8_t(a) == 0x80) {
            uint8_t cmd = 0;
            r.u8(cmd);
            if (cmd == 0x10) break;
            if (cmd == 0x01 || cmd == 0x02 || cmd == 0x04) {
                int8_t dx = 0, dy = 0;
                if (!r.i8(dx) || !r.i8(dy)) break;
                out.push_back(VDLStitch(dx, dy, cmd != 0x01, cmd == 0x01));
            } else {
                out.push_back(VDLStitch(0, 0, false, false));
            }
        } else {
            r.i8(b);
            out.push_back(VDLStitch(a, b, false, false));
        }
    }
    d.recomputeBounds();
}

std::vector<uint8_t> naiveWrite(const VDLDesign& d) {
    std::vector<uint8_t> out(116 + 8 * d.threads().size(), 0);
    float rx = 0, ry = 0;
    for (const VDLStitch& s : d.stitches()) {
        const float fx = std::floor(s.deltaX + rx), fy = std::floor(s.deltaY + ry);
        rx = rx + s.deltaX - fx;
        ry = ry + s.deltaY - fy;
        std::vector<uint8_t> rec;
        if (s.isColorChange) rec.insert(rec.end(), {0x80, 0x01});
        if (s.isJumpStitch) rec.insert(rec.end(), {0x80, 0x02});
        rec.push_back(uint8_t(int8_t(fx)));
        rec.push_back(uint8_t(int8_t(fy)));
        out.insert(out.end(), rec.begin(), rec.end());
    }
    out.insert(out.end(), {0x80, 0x10});
    return out;
}

void BM_JefRead(benchmark::State& state) {
    const auto& bytes = fileBytes();
    for (auto _ : state) {
        VDLDesign d;
        benchmark::DoNotOptimize(d.importJefDesignFromData(bytes, false));
        benchmark::DoNotOptimize(d.stitches().data());
    }
    state.SetItemsProcessed(int64_t(state.iterations()) * int64_t(kStitches));
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(bytes.size()));
}

void BM_JefReadNaive(benchmark::State& state) {
    const auto& bytes = fileBytes();
    for (auto _ : state) {
        VDLDesign d;
        naiveRead(d, bytes);
        benchmark::DoNotOptimize(d.stitches().data());
    }
    state.SetItemsProcessed(int64_t(state.iterations()) * int64_t(kStitches));
}

void BM_JefWrite(benchmark::State& state) {
    VDLDesign& d = design();
    for (auto _ : state) {
        auto bytes = d.exportJefDesignToData();
        benchmark::DoNotOptimize(bytes.data());
    }
    state.SetItemsProcessed(int64_t(state.iterations()) * int64_t(kStitches));
}

void BM_JefWriteNaive(benchmark::State& state) {
    const VDLDesign& d = design();
    for (auto _ : state) {
        auto bytes = naiveWrite(d);
        benchmark::DoNotOptimize(bytes.data());
    }
    state.SetItemsProcessed(int64_t(state.iterations()) * int64_t(kStitches));
}

// The whole export: hoop check, bytes, atomic replacement of the file.
void BM_JefWriteFile(benchmark::State& state) {
    VDLDesign& d = design();
    const auto path = std::filesystem::temp_directory_path() / ("vardelle-bench-" + std::to_string(::getpid()) + ".jef");
    const VDLURL url(path);
    for (auto _ : state) {
        if (!d.exportJefDesignToURL(url)) state.SkipWithError("export failed");
    }
    std::error_code ec;
    std::filesystem::remove(path, ec);
    state.SetItemsProcessed(int64_t(state.iterations()) * int64_t(kStitches));
}

}  // namespace

BENCHMARK(BM_JefRead)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_JefReadNaive)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_JefWrite)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_JefWriteNaive)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_JefWriteFile)->Unit(benchmark::kMillisecond);
