#include "text/line_joiner.h"
#include "base/text_helpers.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "text/heading_rule.h"

namespace lum2 {

namespace {

constexpr int kMinWidth = 30;
constexpr int kMaxWidth = 100;
constexpr int kLongLine = 5;  // beyond the width by more: a line of its own
constexpr int kNear = 12;     // lines this close to the width are the wrapped ones
// A text with fewer lines than this says too little about its width.
constexpr std::size_t kMinLines = 8;

// "- ", "* ", "+ ", a bullet, "1. ", "12) " or "a) ".
bool IsListItem(std::string_view line, bool utf8) {
    const auto followedByBlank = [&line](std::size_t at) { return line.size() > at && IsBlankOrTab(line[at]); };
    if (line.empty()) return false;
    if (line[0] == '-' || line[0] == '*' || line[0] == '+') return followedByBlank(1);
    if (utf8 ? line.starts_with("\xE2\x80\xA2") : line[0] == '\x95') return followedByBlank(utf8 ? 3 : 1);
    std::size_t digits = 0;
    while (digits < line.size() && digits < 4 && IsAsciiDigit(line[digits])) ++digits;
    if (digits > 0 && digits < 4 && line.size() > digits && (line[digits] == '.' || line[digits] == ')')) {
        return followedByBlank(digits + 1);
    }
    const bool letter = (line[0] >= 'a' && line[0] <= 'z') || (line[0] >= 'A' && line[0] <= 'Z');
    return letter && line.size() > 1 && line[1] == ')' && followedByBlank(2);
}

bool IsHeading(std::string_view line) {
    std::string_view title;
    return IsChapterHeading(line) || MarkdownHeading(line, title);
}

std::size_t Characters(std::string_view text, bool utf8) {
    if (!utf8) return text.size();
    // Every byte but the continuation bytes (10xxxxxx) starts a character;
    // eight bytes at a time, since every line of the text is counted.
    std::size_t continuations = 0;
    std::size_t at = 0;
    for (; at + 8 <= text.size(); at += 8) {
        uint64_t word;
        std::memcpy(&word, text.data() + at, 8);
        // One bit (the lowest) per continuation byte, summed by the multiply
        // into the top byte: no popcount, which this target lacks.
        const uint64_t marks = (word & ~(word << 1) & 0x8080808080808080ULL) >> 7;
        continuations += static_cast<std::size_t>((marks * 0x0101010101010101ULL) >> 56);
    }
    for (; at < text.size(); ++at) continuations += (static_cast<unsigned char>(text[at]) & 0xC0) == 0x80;
    return text.size() - continuations;
}

// What a line tells about joining: its length, its first word and its kind.
struct LineShape {
    bool blank = true;
    bool indented = false;       // begins with a blank or TAB
    std::size_t trimmed = 0;     // bytes without the trailing blanks
    std::size_t characters = 0;  // characters of those bytes
    std::size_t firstWord = 0;   // characters of the first word
};

LineShape Shape(std::string_view line, bool utf8) {
    LineShape shape;
    std::size_t end = line.size();
    while (end > 0 && IsBlankOrTab(line[end - 1])) --end;
    if (end == 0) return shape;
    shape.blank = false;
    shape.indented = IsBlankOrTab(line[0]);
    shape.trimmed = end;
    shape.characters = Characters(line.substr(0, end), utf8);
    std::size_t word = 0;
    while (word < end && !IsBlankOrTab(line[word])) ++word;
    shape.firstWord = Characters(line.substr(0, word), utf8);
    return shape;
}

}  // namespace

LineJoiner::LineJoiner(bool utf8) : utf8_(utf8) { learn_.reserve(kLearnBytes); }

void LineJoiner::Feed(std::string_view chunk, std::string& out) {
    if (learning_) {
        const std::size_t take = std::min(chunk.size(), kLearnBytes - learn_.size());
        learn_.append(chunk.substr(0, take));
        chunk.remove_prefix(take);
        if (learn_.size() < kLearnBytes) return;
        Learn(false, out);
    }
    Process(chunk, out);
}

void LineJoiner::Finish(std::string& out) {
    if (learning_) Learn(true, out);
    if (!head_.empty()) {
        EndLine(head_, false, out);
        head_.clear();
    } else if (joinable_) {
        out.append(blanks_);
        out.push_back('\n');
    }
    joinable_ = false;
    passing_ = false;
}

// Decides the width from the learn block, then lets the block through.
// complete: the block is the whole text, its last line included.
void LineJoiner::Learn(bool complete, std::string& out) {
    learning_ = false;
    // Each line's shape, and whether it could take part in a joint at all.
    std::vector<LineShape> lines;
    std::vector<bool> joinable;  // as the line before: not a heading
    std::vector<bool> joins;     // as the line after: no heading or list item either
    std::string_view rest = learn_;
    while (!rest.empty()) {
        const std::size_t end = rest.find('\n');
        if (end == std::string_view::npos && !complete) break;
        const std::string_view line = rest.substr(0, end);
        lines.push_back(Shape(line, utf8_));
        const bool heading = !lines.back().blank && IsHeading(line);
        joinable.push_back(!heading);
        joins.push_back(!heading && !IsListItem(line, utf8_));
        rest.remove_prefix(end == std::string_view::npos ? rest.size() : end + 1);
    }
    std::vector<std::size_t> lengths;
    for (const LineShape& line : lines) {
        if (!line.blank) lengths.push_back(line.characters);
    }
    if (lengths.size() >= kMinLines) {
        const std::size_t rank = (lengths.size() * 95 + 99) / 100 - 1;
        std::nth_element(lengths.begin(), lengths.begin() + static_cast<std::ptrdiff_t>(rank), lengths.end());
        const auto width = static_cast<int>(std::min<std::size_t>(lengths[rank], 1000));
        std::size_t near = 0;
        for (const std::size_t length : lengths) near += std::abs(static_cast<int>(length) - width) <= kNear;
        // Where a line is followed by one it could join, a wrapped text broke
        // it because the next word did not fit.
        std::size_t pairs = 0;
        std::size_t full = 0;
        for (std::size_t i = 0; i + 1 < lines.size(); ++i) {
            const LineShape& line = lines[i];
            const LineShape& next = lines[i + 1];
            if (line.blank || next.blank || next.indented || !joinable[i] || !joins[i + 1]) continue;
            if (line.characters > static_cast<std::size_t>(width + kLongLine)) continue;
            ++pairs;
            full += line.characters + 1 + next.firstWord > static_cast<std::size_t>(width);
        }
        if (width >= kMinWidth && width <= kMaxWidth && near * 2 >= lengths.size() && pairs > 0 &&
            full * 10 >= pairs * 6) {
            width_ = width;
            lookAhead_ = (utf8_ ? 4 : 1) * static_cast<std::size_t>(width + kLongLine) + 64;
        }
    }
    std::string block;
    block.swap(learn_);
    Process(block, out);
}

void LineJoiner::Process(std::string_view text, std::string& out) {
    if (width_ == 0) {
        out.append(text);
        return;
    }
    while (!text.empty()) {
        const void* found = std::memchr(text.data(), '\n', text.size());
        const std::size_t length = found == nullptr ? text.size() : static_cast<const char*>(found) - text.data();
        const std::size_t through = found == nullptr ? length : length + 1;
        if (passing_ || head_.size() + length > lookAhead_) {
            // A line longer than the look-ahead joins nothing: it passes as it comes.
            if (joinable_) {
                out.append(blanks_);
                out.push_back('\n');
                joinable_ = false;
            }
            out.append(head_);
            head_.clear();
            out.append(text.substr(0, through));
            passing_ = found == nullptr;
        } else if (found == nullptr) {
            head_.append(text);
        } else if (head_.empty()) {
            EndLine(text.substr(0, length), true, out);
        } else {
            head_.append(text.substr(0, length));
            EndLine(head_, true, out);
            head_.clear();
        }
        text.remove_prefix(through);
    }
}

// The line before, if it may join, joins line or keeps its line end; then
// line goes out, its own line end held when it may join the next.
void LineJoiner::EndLine(std::string_view line, bool lineEnd, std::string& out) {
    const LineShape shape = Shape(line, utf8_);
    const bool heading = !shape.blank && IsHeading(line);
    if (joinable_) {
        const bool join = !shape.blank && !shape.indented && !heading && !IsListItem(line, utf8_) &&
                          previous_ + 1 + shape.firstWord > static_cast<std::size_t>(width_);
        if (join) {
            out.push_back(' ');
        } else {
            out.append(blanks_);
            out.push_back('\n');
        }
    }
    joinable_ = lineEnd && !shape.blank && !heading && shape.characters <= static_cast<std::size_t>(width_ + kLongLine);
    if (joinable_) {
        out.append(line.substr(0, shape.trimmed));
        blanks_.assign(line.substr(shape.trimmed));
        previous_ = shape.characters;
    } else {
        out.append(line);
        if (lineEnd) out.push_back('\n');
    }
}

}  // namespace lum2
