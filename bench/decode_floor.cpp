// The least time any decode of a Doc file can take here: its records
// decompressed in process by liblum2 (loaded from beside this program, as
// the programs load it), plus one plain write of the text to a new file, an
// fsync, the rename over the output and an fsync of the folder, which every
// replacement of a user's file pays to be durable.
//
//   decode_floor DOC OUTPUT [PASSES]
//
// Each part is timed PASSES (5) times and its best pass counts, since on a
// shared machine a slower pass only says that something else ran. Prints
// one "name seconds" line per part for scripts, then a summary.
#include <dlfcn.h>
#include <fcntl.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "lum2.h"

namespace {

using Bytes = std::vector<uint8_t>;

double Seconds(clockid_t clock) {
    timespec t{};
    clock_gettime(clock, &t);
    return double(t.tv_sec) + double(t.tv_nsec) * 1e-9;
}

unsigned Big16(const Bytes& b, size_t at) { return unsigned(b[at]) << 8 | b[at + 1]; }
uint32_t Big32(const Bytes& b, size_t at) { return uint32_t(Big16(b, at)) << 16 | Big16(b, at + 2); }

// The text records of a Doc database as [begin, end) offsets into the file,
// with the compression from record 0 (1 none, 2 PalmDoc); false when the
// file is not laid out as one.
struct DocLayout {
    unsigned compression = 0;
    uint32_t textLength = 0;
    std::vector<std::pair<size_t, size_t>> records;
};

bool ReadLayout(const Bytes& file, DocLayout& doc) {
    if (file.size() < 78) return false;
    const unsigned count = Big16(file, 76);
    if (count < 2 || file.size() < 78 + 8 * size_t(count)) return false;
    std::vector<size_t> starts;
    for (unsigned r = 0; r < count; ++r) starts.push_back(Big32(file, 78 + 8 * r));
    starts.push_back(file.size());
    for (unsigned r = 0; r < count; ++r) {
        if (starts[r] > starts[r + 1] || starts[r + 1] > file.size()) return false;
    }
    if (starts[1] - starts[0] < 10) return false;
    doc.compression = Big16(file, starts[0]);
    doc.textLength = Big32(file, starts[0] + 4);
    const unsigned textRecords = std::min(Big16(file, starts[0] + 8), count - 1);
    for (unsigned r = 1; r <= textRecords; ++r) doc.records.emplace_back(starts[r], starts[r + 1]);
    return doc.compression == 1 || doc.compression == 2;
}

// Writes text to a new file beside output and renames it over output, both
// made durable; false with errno on failure.
bool WriteDurably(const Bytes& text, const std::filesystem::path& output) {
    const std::string temporary = output.string() + ".floor-tmp";
    const int fd = open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0) return false;
    size_t done = 0;
    while (done < text.size()) {
        const ssize_t wrote = write(fd, text.data() + done, text.size() - done);
        if (wrote <= 0) break;
        done += size_t(wrote);
    }
    const bool written = done == text.size() && fsync(fd) == 0;
    if (close(fd) != 0 || !written || rename(temporary.c_str(), output.c_str()) != 0) {
        unlink(temporary.c_str());
        return false;
    }
    const std::string folder = output.has_parent_path() ? output.parent_path().string() : ".";
    const int dir = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir < 0) return false;
    const bool synced = fsync(dir) == 0;
    close(dir);
    return synced;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3 || argc > 4) {
        std::fprintf(stderr, "usage: %s DOC OUTPUT [PASSES]\n", argv[0]);
        return 1;
    }
    const int passes = argc == 4 ? std::atoi(argv[3]) : 5;
    if (passes < 1) {
        std::fprintf(stderr, "PASSES must be at least 1\n");
        return 1;
    }
    std::ifstream in(argv[1], std::ios::binary);
    const Bytes file((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    DocLayout doc;
    if (!in || !ReadLayout(file, doc)) {
        std::fprintf(stderr, "%s is not a Doc file this benchmark reads\n", argv[1]);
        return 1;
    }

    std::error_code error;
    const auto library = std::filesystem::read_symlink("/proc/self/exe", error).parent_path() / "liblum2.so";
    void* handle = dlopen(library.c_str(), RTLD_NOW | RTLD_LOCAL);
    const auto decompress =
        handle == nullptr ? nullptr : reinterpret_cast<decltype(&DeCompress)>(dlsym(handle, "DeCompress"));
    if (decompress == nullptr) {
        std::fprintf(stderr, "cannot load DeCompress from %s\n", library.c_str());
        return 1;
    }

    // The timed passes decode each record into one record's buffer, as a
    // reader does before it writes the record out; one more pass gathers the
    // text that the write then puts into the file.
    Bytes record(LUM2_MAX_DECODED_SIZE);
    Bytes text;
    text.reserve(doc.textLength);
    double bestWall = 1e300, bestCpu = 1e300;
    for (int pass = 0; pass <= passes; ++pass) {
        const bool gather = pass == passes;
        const double wall = Seconds(CLOCK_MONOTONIC), cpu = Seconds(CLOCK_THREAD_CPUTIME_ID);
        for (const auto& [begin, end] : doc.records) {
            const auto size = int32_t(end - begin);
            int32_t got = std::min<int32_t>(size, LUM2_MAX_DECODED_SIZE);
            if (doc.compression == 2) {
                got = decompress(record.data(), LUM2_MAX_DECODED_SIZE, file.data() + begin, size);
            } else {
                std::copy_n(file.begin() + long(begin), got, record.begin());
            }
            if (got < 0) {
                std::fprintf(stderr, "a record of %s does not decode (%d)\n", argv[1], got);
                return 2;
            }
            if (gather) text.insert(text.end(), record.begin(), record.begin() + got);
        }
        if (gather) break;
        bestWall = std::min(bestWall, Seconds(CLOCK_MONOTONIC) - wall);
        bestCpu = std::min(bestCpu, Seconds(CLOCK_THREAD_CPUTIME_ID) - cpu);
    }
    const size_t length = text.size();

    double bestWrite = 1e300;
    for (int pass = 0; pass < passes; ++pass) {
        const double wall = Seconds(CLOCK_MONOTONIC);
        if (!WriteDurably(text, argv[2])) {
            std::perror(argv[2]);
            return 1;
        }
        bestWrite = std::min(bestWrite, Seconds(CLOCK_MONOTONIC) - wall);
    }

    std::printf("decompress %.6f\n", bestWall);
    std::printf("decompress_cpu %.6f\n", bestCpu);
    std::printf("write_fsync_rename %.6f\n", bestWrite);
    std::printf("floor %.6f\n", bestWall + bestWrite);
    std::printf(
        "text %zu bytes from %zu records: decompress %.3f s (%.1f MB/s), write+fsync+rename %.3f s, best of %d\n",
        length, doc.records.size(), bestWall, double(length) / 1048576.0 / bestWall, bestWrite, passes);
    return 0;
}
