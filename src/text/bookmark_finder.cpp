#include "text/bookmark_finder.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <memory>

#include "base/text_helpers.h"
#include "text/heading_rule.h"

namespace lum2 {

namespace {

constexpr std::size_t kMaxName = 15;
constexpr std::size_t kMaxMarkText = 64;            // bytes between "<*" and "*>"
constexpr std::size_t kMaxMark = kMaxMarkText + 4;  // with "<*" and "*>"
constexpr std::size_t kMaxTagName = 32;
constexpr std::size_t kMaxTagLine = 40;
constexpr std::size_t kMaxTagLines = 16;
// A heading is at most 60 bytes; a Markdown heading may run longer, but its
// name comes from its first bytes.
constexpr std::size_t kHeadBytes = 128;
// What FindTaggedLines keeps of each line: the longest tag and a name.
constexpr std::size_t kLinePrefix = 64;

// The name a bookmark shows for raw: control bytes made blanks, the blanks
// around it dropped, cut to kMaxName bytes (at a character boundary in UTF-8).
std::string BookmarkName(std::string_view raw, bool utf8) {
    std::string name(raw);
    for (char& c : name) {
        const auto b = static_cast<unsigned char>(c);
        if (b < 0x20 || b == 0x7F) c = ' ';
    }
    const auto trim = [&name] {
        const std::size_t last = name.find_last_not_of(' ');
        name.erase(last == std::string::npos ? 0 : last + 1);
    };
    name.erase(0, std::min(name.find_first_not_of(' '), name.size()));
    trim();
    if (name.size() > kMaxName) {
        name.resize(utf8 ? Utf8CutLength(name, kMaxName) : kMaxName);
        trim();
    }
    return name;
}

}  // namespace

BookmarkFinder::BookmarkFinder(bool utf8) : utf8_(utf8) {
    mark_.reserve(kMaxMark);
    head_.reserve(kHeadBytes);
    held_.reserve((kMaxTagLines + 1) * (kMaxTagLine + 1));
}

void BookmarkFinder::Feed(std::string_view chunk, std::string& out) {
    out_ = &out;
    Marks(chunk);
}

void BookmarkFinder::Finish(std::string& out) {
    out_ = &out;
    while (markState_ != MarkState::kText) {
        if (markState_ == MarkState::kLess) {
            markState_ = MarkState::kText;
            Lines("<");
        } else {
            FailMark();
        }
    }
    // The last line, when the text does not end with a line end.
    if (lineLength_ > 0) EndLine(false);
    // What is still held is a run of end tags (with the blank lines among
    // them) that nothing but blank lines followed: it leaves the text.
    for (std::size_t i = 0; i < heldLines_.size(); ++i) {
        if (!heldLines_[i].tag) continue;
        const std::size_t end = i + 1 < heldLines_.size() ? heldLines_[i + 1].start : held_.size();
        const std::string_view line = std::string_view(held_).substr(heldLines_[i].start, end - heldLines_[i].start);
        const std::size_t open = line.find('<');
        const std::string name(line.substr(open + 1, line.find('>') - open - 1));
        if (std::find(endTags_.begin(), endTags_.end(), name) == endTags_.end()) endTags_.push_back(name);
    }
    held_.clear();
    heldLines_.clear();
    // A mark inside a dropped end tag points at the end of the text.
    for (Bookmark& mark : marks_) mark.offset = static_cast<uint32_t>(std::min<uint64_t>(mark.offset, emitted_));
    for (const Unnamed& waiting : unnamed_) NameUnnamed(waiting);
    unnamed_.clear();
}

std::vector<Bookmark> BookmarkFinder::Bookmarks() const {
    if (!marks_.empty()) return marks_;
    if (!endTags_.empty()) return {};
    return headings_;
}

uint64_t BookmarkFinder::Dropped() const {
    if (!marks_.empty()) return marksDropped_;
    if (!endTags_.empty()) return 0;
    return headingsDropped_;
}

// --- Inline marks -----------------------------------------------------------

void BookmarkFinder::Marks(std::string_view text) {
    std::size_t at = 0;
    while (at < text.size()) {
        if (markState_ == MarkState::kText) {
            const void* found = std::memchr(text.data() + at, '<', text.size() - at);
            if (found == nullptr) {
                Lines(text.substr(at));
                return;
            }
            const std::size_t less = static_cast<const char*>(found) - text.data();
            Lines(text.substr(at, less - at));
            mark_.assign(1, '<');
            markState_ = MarkState::kLess;
            at = less + 1;
        } else if (MarkByte(text[at])) {
            ++at;
        }
    }
}

// Returns false when c is to be read again in the state left.
bool BookmarkFinder::MarkByte(char c) {
    if (markState_ == MarkState::kLess) {
        if (c == '*') {
            mark_.push_back('*');
            markState_ = MarkState::kInside;
            return true;
        }
        markState_ = MarkState::kText;
        Lines("<");
        return false;
    }
    if (c == '\n') {
        FailMark();
        return false;
    }
    mark_.push_back(c);
    if (mark_.size() >= 4 && mark_.compare(mark_.size() - 2, 2, "*>") == 0) {
        markState_ = MarkState::kText;
        AddMark(std::string_view(mark_).substr(2, mark_.size() - 4));
    } else if (mark_.size() >= kMaxMark) {
        FailMark();
    }
    return true;
}

// What looked like a mark is text: its '<' is, and the rest is read again,
// for it may hold the start of a real mark.
void BookmarkFinder::FailMark() {
    std::array<char, kMaxMark> copy{};
    const std::size_t length = mark_.size();
    std::memcpy(copy.data(), mark_.data(), length);
    mark_.clear();
    markState_ = MarkState::kText;
    Lines("<");
    Marks(std::string_view(copy.data() + 1, length - 1));
}

void BookmarkFinder::AddMark(std::string_view name) {
    if (marks_.size() >= kMaxBookmarks) {
        ++marksDropped_;
        return;
    }
    if (marks_.empty()) {
        // Marks win over headings: those found so far are of no more use.
        headings_ = {};
        headingsDropped_ = 0;
        head_.clear();
    }
    marks_.push_back({static_cast<uint32_t>(offset_), BookmarkName(name, utf8_)});
    if (marks_.back().name.empty()) unnamed_.push_back({marks_.size() - 1, {}});
}

// --- Lines: end tags and headings -------------------------------------------

void BookmarkFinder::Lines(std::string_view text) {
    while (!text.empty()) {
        const void* found = std::memchr(text.data(), '\n', text.size());
        const std::size_t end = found == nullptr ? text.size() : static_cast<const char*>(found) - text.data();
        if (end > 0) LineBytes(text.substr(0, end));
        if (found == nullptr) return;
        EndLine(true);
        text.remove_prefix(end + 1);
    }
}

void BookmarkFinder::LineBytes(std::string_view bytes) {
    const uint64_t before = lineLength_;
    offset_ += bytes.size();
    lineLength_ += bytes.size();
    if ((afterBlank_ || afterChapterLine_) && marks_.empty() && head_.size() < kHeadBytes) {
        head_.append(bytes.substr(0, kHeadBytes - head_.size()));
    }
    if (blank_) blank_ = std::all_of(bytes.begin(), bytes.end(), IsBlankOrTab);
    if (!holding_) {
        Emit(bytes);
        return;
    }
    // The line is held while it may still be an end tag or a blank line.
    for (std::size_t i = 0; i < bytes.size() && tagState_ != TagState::kNone; ++i) {
        const char c = bytes[i];
        const auto b = static_cast<unsigned char>(c);
        if (before + i >= kMaxTagLine) {
            tagState_ = TagState::kNone;
        } else if (tagState_ == TagState::kLead) {
            if (c == '<') {
                tagState_ = TagState::kName;
                tagName_ = 0;
            } else if (!IsBlankOrTab(c)) {
                tagState_ = TagState::kNone;
            }
        } else if (tagState_ == TagState::kName) {
            if (c == '>' && tagName_ > 0) {
                tagState_ = TagState::kTrail;
            } else if (c == '<' || c == '>' || c == '*' || b < 0x20 || b == 0x7F ||
                       (tagName_ == 0 && !IsAsciiAlnum(c)) || ++tagName_ > kMaxTagName) {
                // A tag's name begins with a letter or digit, so that markup
                // such as </html> at the end of a text is not taken for one.
                tagState_ = TagState::kNone;
            }
        } else if (!IsBlankOrTab(c)) {
            tagState_ = TagState::kNone;
        }
    }
    if (tagState_ != TagState::kNone) {
        held_.append(bytes);
        return;
    }
    // Not an end tag after all: the run before it is text too.
    holding_ = false;
    ReleaseHeld(held_.size(), heldLines_.size());
    Emit(bytes);
}

void BookmarkFinder::EndLine(bool lineEnd) {
    const bool chapterLine = !blank_ && (afterBlank_ || afterChapterLine_) && marks_.empty() &&
                             lineLength_ == head_.size() && IsChapterHeading(head_);
    // Chapter lines one under another are the entries of a table of
    // contents, which point nowhere: the first of them is no heading either.
    if (chapterLine && afterChapterLine_ && lastHeadingWasLineBefore_) headings_.pop_back();
    bool added = false;
    if (afterBlank_ && !blank_ && marks_.empty()) {
        std::string_view title;
        if (MarkdownHeading(head_, title)) {
            AddHeading(title);
        } else if (chapterLine) {
            added = AddHeading(head_);
        }
    }
    afterChapterLine_ = chapterLine;
    lastHeadingWasLineBefore_ = added;
    if (holding_) {
        if (lineEnd) held_.push_back('\n');
        const bool tag = tagState_ == TagState::kTrail;
        // A blank line before any end tag is text, and so is a run that an
        // unfinished tag ("<name" at a line end) follows.
        if ((tagState_ == TagState::kLead && heldLines_.empty()) || tagState_ == TagState::kName) {
            ReleaseHeld(held_.size(), heldLines_.size());
        } else {
            heldLines_.push_back({lineHeldStart_, tag});
            // The run starts with a tag and keeps the last kMaxTagLines lines.
            std::size_t keep = 0;
            while (keep < heldLines_.size() && (heldLines_.size() - keep > kMaxTagLines || !heldLines_[keep].tag)) {
                ++keep;
            }
            if (keep > 0) ReleaseHeld(keep < heldLines_.size() ? heldLines_[keep].start : held_.size(), keep);
        }
    } else if (lineEnd) {
        Emit("\n");
    }
    if (lineEnd) ++offset_;
    afterBlank_ = blank_;
    lineStart_ = offset_;
    lineLength_ = 0;
    blank_ = true;
    head_.clear();
    tagState_ = TagState::kLead;
    holding_ = true;
    lineHeldStart_ = held_.size();
}

// Emits the first bytes of held_, the first lines whole held lines among
// them, and keeps the rest.
void BookmarkFinder::ReleaseHeld(std::size_t bytes, std::size_t lines) {
    Emit(std::string_view(held_).substr(0, bytes));
    held_.erase(0, bytes);
    lines = std::min(lines, heldLines_.size());
    heldLines_.erase(heldLines_.begin(), heldLines_.begin() + static_cast<std::ptrdiff_t>(lines));
    for (HeldLine& line : heldLines_) line.start -= bytes;
    lineHeldStart_ = lineHeldStart_ >= bytes ? lineHeldStart_ - bytes : 0;
}

bool BookmarkFinder::AddHeading(std::string_view line) {
    std::string name = BookmarkName(line, utf8_);
    // A heading of control bytes only names nothing.
    if (name.empty()) return false;
    if (headings_.size() >= kMaxBookmarks) {
        ++headingsDropped_;
        return false;
    }
    headings_.push_back({static_cast<uint32_t>(lineStart_), std::move(name)});
    return true;
}

void BookmarkFinder::NameUnnamed(const Unnamed& waiting) {
    std::string name = BookmarkName(waiting.text, utf8_);
    marks_[waiting.index].name = name.empty() ? "Bookmark" : std::move(name);
}

void BookmarkFinder::Emit(std::string_view bytes) {
    if (bytes.empty()) return;
    out_->append(bytes);
    // An unnamed mark takes its name from the text after it: the rest of
    // the line, or the next line when it stands at a line's end.
    for (std::size_t i = 0; i < unnamed_.size();) {
        Unnamed& waiting = unnamed_[i];
        const uint64_t at = marks_[waiting.index].offset;
        bool named = false;
        for (std::size_t k = at > emitted_ ? static_cast<std::size_t>(at - emitted_) : 0; k < bytes.size(); ++k) {
            const char c = bytes[k];
            if (waiting.text.empty() && (IsBlankOrTab(c) || c == '\n')) continue;
            named = c == '\n';
            if (named) break;
            waiting.text.push_back(c);
            named = waiting.text.size() == kMaxName;
            if (named) break;
        }
        if (!named) {
            ++i;
            continue;
        }
        NameUnnamed(waiting);
        unnamed_.erase(unnamed_.begin() + static_cast<std::ptrdiff_t>(i));
    }
    emitted_ += bytes.size();
}

// --- Lines that begin with a tag --------------------------------------------

std::vector<Bookmark> FindTaggedLines(std::FILE* text, const std::vector<std::string>& tags, bool utf8,
                                      uint64_t* dropped) {
    std::vector<Bookmark> found;
    uint64_t over = 0;
    constexpr std::size_t kBlock = std::size_t{1} << 16;
    const std::unique_ptr<char[]> block(new char[kBlock]);
    std::string prefix;  // the line's first bytes
    uint64_t offset = 0;
    uint64_t lineStart = 0;
    const auto endLine = [&] {
        for (const std::string& tag : tags) {
            if (tag.empty() || prefix.compare(0, tag.size(), tag) != 0) continue;
            if (found.size() < kMaxBookmarks) {
                found.push_back({static_cast<uint32_t>(lineStart), BookmarkName(prefix, utf8)});
            } else {
                ++over;
            }
            break;
        }
        prefix.clear();
    };
    for (;;) {
        const std::size_t got = std::fread(block.get(), 1, kBlock, text);
        std::string_view rest(block.get(), got);
        while (!rest.empty()) {
            const void* end = std::memchr(rest.data(), '\n', rest.size());
            const std::size_t length = end == nullptr ? rest.size() : static_cast<const char*>(end) - rest.data();
            if (prefix.size() < kLinePrefix)
                prefix.append(rest.substr(0, std::min(length, kLinePrefix - prefix.size())));
            offset += length;
            if (end == nullptr) break;
            endLine();
            lineStart = ++offset;
            rest.remove_prefix(length + 1);
        }
        if (got < kBlock) break;
    }
    if (offset > lineStart) endLine();
    if (dropped != nullptr) *dropped = over;
    return found;
}

}  // namespace lum2
