#include "cli/terminal_progress.h"

#include <unistd.h>

#include <cstdio>

#include "base/printable_text.h"

namespace lum2::cli {

TerminalProgress::TerminalProgress() : enabled_(isatty(STDERR_FILENO) == 1) {}

TerminalProgress::~TerminalProgress() {
    if (shown_) std::fputs("\r\033[K", stderr);
}

void TerminalProgress::SetProgressCaption(const std::string& caption) { caption_ = caption; }

void TerminalProgress::SetProgressRange(int maximum) {
    maximum_ = maximum;
    lastPercent_ = -1;
}

void TerminalProgress::SetProgressValue(int value) {
    // Small jobs finish before anyone could read a line.
    if (!enabled_ || maximum_ < 64) return;
    const int percent = static_cast<int>(100LL * value / maximum_);
    if (percent == lastPercent_) return;
    lastPercent_ = percent;
    std::fprintf(stderr, "\r%s %3d%%", caption_.c_str(), percent);
    std::fflush(stderr);
    shown_ = true;
}

void TerminalProgress::Note(const std::string& text) {
    if (shown_) std::fputs("\r\033[K", stderr);
    shown_ = false;
    lastPercent_ = -1;
    // Causes name files, and a name may hold anything.
    std::fprintf(stderr, "lum2doc: %s\n", PrintableText(text).c_str());
}

}  // namespace lum2::cli
