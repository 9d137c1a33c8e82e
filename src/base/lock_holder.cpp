#include "base/lock_holder.h"

#include <unistd.h>

#include <cerrno>
#include <cstdlib>

#include "base/printable_text.h"

namespace lum2 {

namespace {

constexpr std::size_t kHolderLimit = 64;
constexpr std::size_t kNameLimit = 32;

}  // namespace

int WriteLockHolder(int fd) {
    const std::string text = std::string(program_invocation_short_name).substr(0, kNameLimit) + " " +
                             std::to_string(static_cast<long>(getpid())) + "\n";
    if (ftruncate(fd, 0) != 0) return errno;
    if (pwrite(fd, text.data(), text.size(), 0) != static_cast<ssize_t>(text.size())) return errno != 0 ? errno : EIO;
    return 0;
}

int ClearLockHolder(int fd) { return ftruncate(fd, 0) == 0 ? 0 : errno; }

LockHolder ReadLockHolder(int fd) {
    char bytes[kHolderLimit];
    const ssize_t got = pread(fd, bytes, sizeof bytes, 0);
    if (got <= 0) return {};
    const std::string text(bytes, static_cast<std::size_t>(got));
    const std::size_t blank = text.find(' ');
    const std::size_t end = text.find('\n');
    if (blank == std::string::npos || end == std::string::npos || blank == 0 || blank > kNameLimit ||
        end <= blank + 1 || end - blank - 1 > 9) {
        return {};
    }
    for (std::size_t i = 0; i < blank; ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (c < 0x21 || c == 0x7F) return {};
    }
    for (std::size_t i = blank + 1; i < end; ++i) {
        if (text[i] < '0' || text[i] > '9') return {};
    }
    const long pid = std::strtol(text.c_str() + blank + 1, nullptr, 10);
    if (pid <= 0) return {};
    return {text.substr(0, blank), pid};
}

std::string HolderText(const LockHolder& holder) {
    if (holder.program.empty()) return "another LUM2 program";
    return PrintableText(holder.program) + " (process " + std::to_string(holder.pid) + ")";
}

}  // namespace lum2
