#include "cli/terminal_host.h"

#include <unistd.h>

#include <cctype>
#include <cstdio>
#include <iostream>

#include "base/printable_text.h"

namespace lum2::cli {

namespace {

std::string ReadAnswerLine() {
    std::string line;
    if (!std::getline(std::cin, line)) return {};
    std::string word;
    for (const char c : line) {
        if (!std::isspace(static_cast<unsigned char>(c))) word += static_cast<char>(std::tolower(c));
    }
    return word;
}

}  // namespace

TerminalHost::TerminalHost(RecordStore& store, std::string fixedAnswer)
    : HeadlessHost(&store), fixedAnswer_(std::move(fixedAnswer)) {
    SetAnswerer([this](PromptKind kind, const std::string& question, const std::string& path) {
        return Answer(kind, question, path);
    });
}

int TerminalHost::Answer(PromptKind kind, const std::string& question, const std::string& path) {
    if (fixedAnswer_ == "skip") return kAnswerSkip;
    if (fixedAnswer_ == "stop") return kAnswerStop;
    if (fixedAnswer_ == "yes") {
        // Which side to update is not a yes-or-no question: leave the task alone.
        return kind == PromptKind::kOverwrite ? kAnswerYes : kAnswerSkip;
    }
    // Nobody to ask (a timer job, a pipe): leave the task alone and go on
    // with the rest; the run's exit status tells that it was not done.
    if (isatty(STDIN_FILENO) != 1) return SkipUnanswerable(kind, question, path);
    return AskOnTerminal(kind, question, path);
}

int TerminalHost::AskOnTerminal(PromptKind kind, const std::string& question, const std::string& path) {
    for (;;) {
        if (kind == PromptKind::kOverwrite) {
            std::fprintf(stderr,
                         "\n%s\n  %s\n[y]es, [s]kip task, s[t]op conversion, [a]lways (yes, and do not ask again)? ",
                         question.c_str(), PrintableText(path).c_str());
        } else {
            std::fprintf(stderr,
                         "\nBoth files have been changed!\nWhich one do you like to be updated?\n"
                         "[p]c file, p[a]lm file, [s]kip task, s[t]op conversion? ");
        }
        std::fflush(stderr);
        const std::string word = ReadAnswerLine();
        if (word.empty() && std::cin.eof()) return kAnswerStop;
        if (word == "s" || word == "skip") return kAnswerSkip;
        if (word == "t" || word == "stop") return kAnswerStop;
        if (kind == PromptKind::kOverwrite) {
            if (word == "y" || word == "yes") return kAnswerYes;
            if (word == "a" || word == "always") {
                ClearAskBeforeOverwrite();
                return kAnswerYes;
            }
        } else {
            if (word == "p" || word == "pc") return kAnswerUpdatePcFile;
            if (word == "a" || word == "palm") return kAnswerUpdatePalmFile;
        }
    }
}

}  // namespace lum2::cli
