// A buffered writer for the Doc reader's text and the Doc writer's records.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>

namespace lum2 {

// Output in large blocks: one write per 256 KB, not per record (larger
// blocks cost more in first-touch page faults than they save).
class BlockWriter {
public:
    static constexpr std::size_t kBlock = std::size_t{1} << 18;

    explicit BlockWriter(std::FILE* file) : file_(file), buffer_(new uint8_t[kBlock]) {}

    // Room for size more bytes at Tail(), writing out what is held when needed.
    bool Reserve(std::size_t size) { return used_ + size <= kBlock || Flush(); }
    uint8_t* Tail() { return buffer_.get() + used_; }
    void Advance(std::size_t size) { used_ += size; }

    bool Append(const void* data, std::size_t size) {
        if (!Reserve(size)) return false;
        if (size > kBlock) return std::fwrite(data, 1, size, file_) == size;
        std::memcpy(Tail(), data, size);
        used_ += size;
        return true;
    }

    bool Flush() {
        if (used_ != 0 && std::fwrite(buffer_.get(), 1, used_, file_) != used_) return false;
        used_ = 0;
        return true;
    }

private:
    std::FILE* file_;
    std::unique_ptr<uint8_t[]> buffer_;
    std::size_t used_ = 0;
};

}  // namespace lum2
