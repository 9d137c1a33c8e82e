#include "text/text_filters.h"

#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>
#include <utility>

#include "base/safe_file.h"
#include "base/text_helpers.h"
#include "text/bookmark_finder.h"
#include "text/html_stripper.h"
#include "text/line_joiner.h"
#include "text/palm_charset.h"

namespace lum2 {

namespace {

constexpr std::size_t kChunkSize = 4096;
constexpr std::size_t kUtf8Sample = std::size_t{1} << 16;
// The window gets its pending events every 256 KB of text: a long text would
// otherwise leave it frozen for the whole pass (a second per few hundred MB).
constexpr int kChunksBetweenEvents = 64;
constexpr std::size_t kStreamBuffer = std::size_t{1} << 16;
// TAB expansion can multiply a chunk by the TAB width (up to 32767), so the
// output goes to disk whenever it passes this size rather than chunk by chunk.
constexpr std::size_t kFlushSize = 64 * 1024;

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};
using InputFile = std::unique_ptr<std::FILE, FileCloser>;

class FilterOutput {
public:
    // encoder: converts the filtered text to the Palm set; null keeps its bytes.
    // joiner and finder, when not null, see the text after the encoder, in
    // that order, so offsets are those of the final text.
    FilterOutput(std::FILE* file, const FilterOptions& options, PalmTextEncoder* encoder, LineJoiner* joiner,
                 BookmarkFinder* finder)
        : file_(file),
          tabsToSpaces_(options.tabsToSpaces),
          crToLf_(options.crToLf),
          spaces_(static_cast<std::size_t>(options.tabWidth), ' '),
          limit_(options.outputLimit),
          encoder_(encoder),
          joiner_(joiner),
          finder_(finder) {
        buffer_.reserve(kFlushSize + kChunkSize);
    }

    // Applies the line end and TAB rules to text and writes the result. The
    // rules look at one byte at a time, so chunk boundaries cannot change the
    // output (a CR LF pair split in two still gives the same bytes).
    bool Put(std::string_view text) {
        std::size_t at = 0;
        while (at < text.size()) {
            // Bytes up to the next CR (or TAB, when TABs become spaces) pass
            // unchanged, in one piece.
            std::size_t special = tabsToSpaces_ ? text.find_first_of("\r\t", at) : text.find('\r', at);
            if (special == std::string_view::npos) special = text.size();
            buffer_.append(text.data() + at, special - at);
            if (special == text.size()) break;
            if (text[special] == '\r') {
                if (crToLf_) buffer_.push_back('\n');
            } else {
                buffer_.append(spaces_);
                if (buffer_.size() >= kFlushSize && !Flush()) return false;
            }
            at = special + 1;
        }
        return Flush();
    }

    // Closes the file whatever happens; true only if every byte reached it.
    bool Close() {
        bool ok = Flush();
        if (encoder_ != nullptr) {
            converted_.clear();
            encoder_->Finish(converted_);
            ok = ok && Pass(converted_);
        }
        if (joiner_ != nullptr) {
            joined_.clear();
            joiner_->Finish(joined_);
            ok = ok && (finder_ != nullptr ? Find(joined_) : Write(joined_));
        }
        if (finder_ != nullptr) {
            found_.clear();
            finder_->Finish(found_);
            ok = ok && Write(found_);
        }
        ok = std::fflush(file_) == 0 && ok;
        ok = std::fclose(file_) == 0 && ok;
        file_ = nullptr;
        return ok;
    }

    ~FilterOutput() {
        if (file_ != nullptr) std::fclose(file_);
    }

    FilterOutput(const FilterOutput&) = delete;
    FilterOutput& operator=(const FilterOutput&) = delete;

    // Whether the output stopped for passing the most a document holds.
    bool TooLong() const { return tooLong_; }

private:
    bool Flush() {
        if (buffer_.empty()) return true;
        bool ok;
        if (encoder_ != nullptr) {
            converted_.clear();
            encoder_->Feed(buffer_, converted_);
            ok = Pass(converted_);
        } else {
            ok = Pass(buffer_);
        }
        buffer_.clear();
        return ok;
    }

    // The encoded text through the joiner and the finder to the file.
    bool Pass(const std::string& bytes) {
        if (joiner_ == nullptr) return finder_ != nullptr ? Find(bytes) : Write(bytes);
        joined_.clear();
        joiner_->Feed(bytes, joined_);
        return finder_ != nullptr ? Find(joined_) : Write(joined_);
    }

    bool Find(const std::string& bytes) {
        found_.clear();
        finder_->Feed(bytes, found_);
        return Write(found_);
    }

    bool Write(const std::string& bytes) {
        written_ += bytes.size();
        if (written_ > limit_) {
            tooLong_ = true;
            return false;
        }
        return bytes.empty() || std::fwrite(bytes.data(), 1, bytes.size(), file_) == bytes.size();
    }

    std::FILE* file_;
    bool tabsToSpaces_;
    bool crToLf_;
    std::string spaces_;
    uint64_t limit_;
    PalmTextEncoder* encoder_;
    LineJoiner* joiner_;
    BookmarkFinder* finder_;
    std::string buffer_;
    std::string converted_;
    std::string joined_;
    std::string found_;
    uint64_t written_ = 0;
    bool tooLong_ = false;
};

// Whether the filters would give the file's bytes back unchanged: no CR, no
// TAB when TABs become spaces, nothing beyond ASCII when the text is
// converted to the Palm set. Reads up to the first byte they would change, so
// a text with CR LF line ends costs one block.
bool NothingToFilter(std::FILE* input, bool tabsToSpaces, bool onlyAscii) {
    static constexpr std::size_t kBlock = std::size_t{1} << 16;
    const std::unique_ptr<unsigned char[]> block(new unsigned char[kBlock]);
    for (;;) {
        const std::size_t got = std::fread(block.get(), 1, kBlock, input);
        const unsigned char* bytes = block.get();
        if (std::memchr(bytes, '\r', got) != nullptr) return false;
        if (tabsToSpaces && std::memchr(bytes, '\t', got) != nullptr) return false;
        if (onlyAscii) {
            unsigned char any = 0;
            for (std::size_t k = 0; k < got; ++k) any |= bytes[k];
            if (any >= 0x80) return false;
        }
        if (got < kBlock) return std::ferror(input) == 0;
    }
}

// The filters name no status: a failure's code tells the caller which of its
// own to show.
Outcome Failed(std::string cause = {}) { return Outcome::Failure(OutcomeCode::kFailed, {}, std::move(cause)); }

Outcome TooLongOrFailed(const FilterOutput& output) {
    return output.TooLong() ? Outcome::Failure(OutcomeCode::kTooLong, {}) : Failed();
}

// The bookmarks of the filtered text at path: the finder's, or, for a text
// that ended in end tags, the lines those name, which only the whole text
// shows. False when the text cannot be read again.
bool CollectBookmarks(const BookmarkFinder& finder, const std::string& path, bool utf8, ProgressSink& progress,
                      std::vector<Bookmark>* bookmarks) {
    uint64_t dropped = finder.Dropped();
    std::vector<Bookmark> found = finder.Bookmarks();
    if (found.empty() && !finder.EndTags().empty()) {
        std::string cause;
        InputFile text(OpenRegularStream(path, cause));
        if (!text) return false;
        found = FindTaggedLines(text.get(), finder.EndTags(), utf8, &dropped);
    }
    if (dropped > 0) {
        progress.Note(DroppedBookmarksNote(dropped));
    }
    if (bookmarks != nullptr) *bookmarks = std::move(found);
    return true;
}

}  // namespace

Outcome ApplyFilters(const std::string& pcPath, const FilterOptions& options, const std::string& baseDirectory,
                     ProgressSink& progress, std::string& textPath, std::vector<Bookmark>* bookmarks) {
    textPath.clear();
    if (bookmarks != nullptr) bookmarks->clear();
    // A raw task sends the file's bytes as they are; there is nothing to copy.
    if (options.raw) {
        textPath = pcPath;
        return {};
    }

    const bool stripHtml = options.stripHtml;
    // Joining lines and finding bookmarks change a text that has nothing
    // else to filter too.
    const bool reshape = options.joinLines || options.bookmarks;

    if (options.tabWidth < 0) return Failed();
    // Only a regular file has a length to divide into chunks; a folder opens
    // fine on Linux but cannot be read, and a FIFO would block the run.
    std::string cause;
    // Read through a 64 KB buffer, a system call per 16 chunks; a file that
    // shrinks while it is read still comes up short at a chunk. Declared
    // before the stream, the buffer outlives it.
    const std::unique_ptr<char[]> inBuffer(new char[kStreamBuffer]);
    InputFile input(OpenRegularStream(pcPath, cause));
    if (!input) return Failed(cause);
    std::setvbuf(input.get(), inBuffer.get(), _IOFBF, kStreamBuffer);
    struct stat info {};
    if (fstat(fileno(input.get()), &info) != 0) return Failed();
    const auto length = static_cast<unsigned long long>(info.st_size);
    if (length == 0) return Outcome::Failure(OutcomeCode::kEmpty, {}, "the file is empty");
    const unsigned long long chunkCount = (length + kChunkSize - 1) / kChunkSize;
    if (chunkCount > static_cast<unsigned long long>(INT_MAX)) return Failed();
    const int n = static_cast<int>(chunkCount);
    const std::size_t lastChunk = length % kChunkSize == 0 ? kChunkSize : length % kChunkSize;

    // Whether the text is UTF-8 is decided for the whole file before any of
    // it is written, so a text is never half converted.
    // The joiner counts characters and the finder cuts names at their
    // boundaries, so they too need to know whether the final text is UTF-8.
    bool toPalmSet = false;
    bool finalUtf8 = false;
    if (options.toPalmSet) {
        Utf8Scanner scanner;
        if (!ScanFile(input.get(), scanner) || std::fseek(input.get(), 0, SEEK_SET) != 0) return Failed();
        toPalmSet = scanner.Valid();
        if (!toPalmSet) progress.Note("the text is not valid UTF-8: its bytes were kept as they are");
    } else if (reshape) {
        // Only how lines are counted and names cut depend on it, so the
        // text's first 64 KB decide, without a pass over all of it.
        std::string head(kUtf8Sample, '\0');
        head.resize(std::fread(head.data(), 1, head.size(), input.get()));
        if (std::ferror(input.get()) || std::fseek(input.get(), 0, SEEK_SET) != 0) return Failed();
        head.resize(Utf8CutLength(head, head.size()));
        Utf8Scanner scanner;
        scanner.Feed(head);
        finalUtf8 = scanner.Valid();
    }
    // Most texts written on Linux have no CR: a copy of the file would be the
    // file itself, so it is converted from where it is, as a raw one is.
    if (!stripHtml && !reshape) {
        if (NothingToFilter(input.get(), options.tabsToSpaces, toPalmSet)) {
            textPath = pcPath;
            return {};
        }
        if (std::fseek(input.get(), 0, SEEK_SET) != 0) return Failed();
    }

    progress.SetProgressCaption("Applying Filters");
    progress.SetProgressRange(n);
    progress.SetProgressValue(0);
    progress.LetEventsRun();

    const std::string outPath = baseDirectory + kFilterFileName;
    // Each chunk's output would otherwise cost a system call through stdio's
    // 4 KB buffer. Declared before the stream, the buffer outlives it.
    const std::unique_ptr<char[]> outBuffer(new char[kStreamBuffer]);
    const int outFd = CreateWorkingFile(outPath, cause);
    if (outFd < 0) return Failed(cause);
    std::FILE* outFile = fdopen(outFd, "wb");
    if (outFile == nullptr) {
        close(outFd);
        return Failed();
    }
    std::setvbuf(outFile, outBuffer.get(), _IOFBF, kStreamBuffer);
    PalmTextEncoder encoder;
    LineJoiner joiner(finalUtf8);
    BookmarkFinder finder(finalUtf8);
    FilterOutput output(outFile, options, toPalmSet ? &encoder : nullptr, options.joinLines ? &joiner : nullptr,
                        options.bookmarks ? &finder : nullptr);

    HtmlStripper stripper(toPalmSet, options.bookmarks);
    std::string chunk(kChunkSize, '\0');
    std::string stripped;
    stripped.reserve(kChunkSize + HtmlStripper::kMaxEntity);

    for (int i = 1; i <= n; ++i) {
        progress.SetProgressValue(i);
        progress.SetTrayIcon(TrayFrame(i, n), "");
        if (i % kChunksBetweenEvents == 0) progress.LetEventsRun();
        const std::size_t want = i == n ? lastChunk : kChunkSize;
        // A file that shrank while being read would leave a hole; give up.
        if (std::fread(chunk.data(), 1, want, input.get()) != want) return Failed();
        std::string_view text(chunk.data(), want);
        if (stripHtml) {
            stripped.clear();
            stripper.Feed(text, stripped);
            text = stripped;
        }
        if (!output.Put(text)) return TooLongOrFailed(output);
    }
    if (stripHtml) {
        stripped.clear();
        stripper.Finish(stripped);
        if (!output.Put(stripped)) return TooLongOrFailed(output);
    }
    if (!output.Close()) return TooLongOrFailed(output);
    if (options.bookmarks && !CollectBookmarks(finder, outPath, finalUtf8, progress, bookmarks)) return Failed();
    if (encoder.Replaced() > 0) {
        const bool one = encoder.Replaced() == 1;
        progress.Note(std::to_string(encoder.Replaced()) + (one ? " character is" : " characters are") +
                      " not in the Palm character set and " + (one ? "was" : "were") + " replaced");
    }
    textPath = outPath;
    return {};
}

}  // namespace lum2
