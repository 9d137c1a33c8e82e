// Speed of the codec as the programs see it: liblum2.so loaded at run time
// from beside this program and its operations resolved by name, over a text
// cut into 4096-byte records in order.
//
//   codec_api_bench TEXT [PASSES]
//
// Each pass compresses every record once (then decompresses every record
// once); the best pass counts, since on a shared machine a slower pass only
// says that something else ran. Speeds are in MB/s of text (1 MB = 2^20
// bytes), by the wall clock and by this thread's processor time, which
// leaves out the time other processes held the core.
#include <dlfcn.h>
#include <time.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "lum2.h"

namespace {

using Bytes = std::vector<uint8_t>;

struct Api {
    decltype(&Compress) compress = nullptr;
    decltype(&DeCompress) decompress = nullptr;
};

struct Clock {
    double wall;
    double cpu;
};

Clock Now() {
    timespec wall{}, cpu{};
    clock_gettime(CLOCK_MONOTONIC, &wall);
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &cpu);
    return {double(wall.tv_sec) + double(wall.tv_nsec) * 1e-9, double(cpu.tv_sec) + double(cpu.tv_nsec) * 1e-9};
}

bool LoadApi(Api& api, std::string& where) {
    std::error_code error;
    const auto exe = std::filesystem::read_symlink("/proc/self/exe", error);
    if (error) return false;
    where = (exe.parent_path() / "liblum2.so").string();
    void* handle = dlopen(where.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (handle == nullptr) {
        std::fprintf(stderr, "%s\n", dlerror());
        return false;
    }
    api.compress = reinterpret_cast<decltype(&Compress)>(dlsym(handle, "Compress"));
    api.decompress = reinterpret_cast<decltype(&DeCompress)>(dlsym(handle, "DeCompress"));
    return api.compress != nullptr && api.decompress != nullptr;
}

// Best and worst of the passes, as speeds.
struct Speeds {
    double bestWall = 0, worstWall = 1e300, bestCpu = 0;
    void Add(double megabytes, Clock start, Clock stop) {
        const double wall = megabytes / std::max(stop.wall - start.wall, 1e-9);
        bestWall = std::max(bestWall, wall);
        worstWall = std::min(worstWall, wall);
        bestCpu = std::max(bestCpu, megabytes / std::max(stop.cpu - start.cpu, 1e-9));
    }
};

void Print(const char* what, const Speeds& s, int passes) {
    std::printf("%s: %.1f MB/s  (best of %d passes; slowest %.1f MB/s; by processor time %.1f MB/s)\n", what,
                s.bestWall, passes, s.worstWall, s.bestCpu);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2 || argc > 3) {
        std::fprintf(stderr, "usage: %s TEXT [PASSES]\n", argv[0]);
        return 1;
    }
    const int passes = argc == 3 ? std::atoi(argv[2]) : 5;
    if (passes < 1) {
        std::fprintf(stderr, "PASSES must be at least 1\n");
        return 1;
    }
    std::ifstream in(argv[1], std::ios::binary);
    if (!in) {
        std::fprintf(stderr, "cannot read %s\n", argv[1]);
        return 1;
    }
    const Bytes text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());

    Api api;
    std::string library;
    if (!LoadApi(api, library)) {
        std::fprintf(stderr, "cannot load the codec from %s\n", library.c_str());
        return 1;
    }

    // Every record's encoding gets its own slot, so that the decoder reads
    // the records in order from memory the way a file's records lie.
    const size_t records = (text.size() + LUM2_RECORD_SIZE - 1) / LUM2_RECORD_SIZE;
    constexpr size_t kSlot = LUM2_COMPRESS_BOUND(LUM2_RECORD_SIZE);
    Bytes packed(records * kSlot);
    std::vector<int32_t> packedSize(records);
    const double megabytes = double(text.size()) / 1048576.0;

    Speeds compress;
    for (int pass = 0; pass < passes; ++pass) {
        const Clock start = Now();
        for (size_t r = 0; r < records; ++r) {
            const size_t at = r * LUM2_RECORD_SIZE;
            const auto size = static_cast<int32_t>(std::min<size_t>(LUM2_RECORD_SIZE, text.size() - at));
            packedSize[r] = api.compress(packed.data() + r * kSlot, kSlot, text.data() + at, size);
        }
        compress.Add(megabytes, start, Now());
    }
    size_t compressedBytes = 0;
    for (size_t r = 0; r < records; ++r) {
        if (packedSize[r] < 0) {
            std::fprintf(stderr, "record %zu: Compress failed (%d)\n", r, packedSize[r]);
            return 2;
        }
        compressedBytes += size_t(packedSize[r]);
    }

    // The timed passes decode into one record's buffer, as a reader does
    // before it writes the record out; one more pass checks every byte.
    Bytes decoded(LUM2_RECORD_SIZE);
    Speeds decompress;
    int64_t decodedBytes = 0;
    for (int pass = 0; pass < passes; ++pass) {
        decodedBytes = 0;
        const Clock start = Now();
        for (size_t r = 0; r < records; ++r) {
            decodedBytes += api.decompress(decoded.data(), LUM2_RECORD_SIZE, packed.data() + r * kSlot, packedSize[r]);
        }
        decompress.Add(megabytes, start, Now());
    }
    bool same = decodedBytes == static_cast<int64_t>(text.size());
    for (size_t r = 0; r < records && same; ++r) {
        const size_t at = r * LUM2_RECORD_SIZE;
        const auto size = static_cast<int32_t>(std::min<size_t>(LUM2_RECORD_SIZE, text.size() - at));
        same = api.decompress(decoded.data(), LUM2_RECORD_SIZE, packed.data() + r * kSlot, packedSize[r]) == size &&
               std::memcmp(decoded.data(), text.data() + at, size_t(size)) == 0;
    }
    if (!same) {
        std::fprintf(stderr, "the records do not decode to the text\n");
        return 2;
    }

    std::printf("codec: %s\n", library.c_str());
    std::printf("text: %zu bytes in %zu records; compressed: %zu bytes (%.2f%%)\n", text.size(), records,
                compressedBytes, text.empty() ? 0.0 : 100.0 * double(compressedBytes) / double(text.size()));
    Print("compress", compress, passes);
    Print("decompress", decompress, passes);
    return 0;
}
