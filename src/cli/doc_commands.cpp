// lum2doc encode, decode and info: one-off conversions over the same core as
// the desktop program.
#include <sys/stat.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <ctime>
#include <memory>

#include "base/file_handle.h"
#include "base/path_functions.h"
#include "base/printable_text.h"
#include "base/safe_file.h"
#include "cli/command.h"
#include "cli/terminal_progress.h"
#include "cli/work_dir.h"
#include "convert/database_name.h"
#include "convert/run_status.h"
#include "convert/task_options.h"
#include "doc/bookmark_records.h"
#include "doc/doc_builder.h"
#include "doc/doc_extractor.h"
#include "doc/doc_status.h"
#include "doc/palm_doc_format.h"
#include "lum2/lum2.h"
#include "tasks/task_record.h"
#include "text/palm_charset.h"
#include "text/text_filters.h"

namespace lum2::cli {

namespace {

constexpr const char* kStandardStream = "-";

// Standard input longer than the most text a document holds (kLargestText)
// is refused as a longer file is.
// Record offsets are 32-bit, so no document reaches past its last record
// starting below 4 GiB; the bound keeps an endless input from filling the disk.
constexpr uint64_t kLargestDocument = (uint64_t{1} << 32) + 65536;

// How a failure names "-": the stream it stands for.
std::string Shown(const std::string& argument, const char* stream) {
    return argument == kStandardStream ? std::string(stream) : argument;
}

// Standard input is copied into the work folder first: the converters need a
// file whose length they know before they start. Returns the failure, or an
// outcome that is Ok.
Outcome ResolveInput(const std::string& input, const WorkDir& work, std::string& path,
                     uint64_t limit = kLargestDocument) {
    if (input != kStandardStream) {
        path = input;
        return {};
    }
    path = work.Path() + "stdin";
    int error = 0;
    switch (SpoolToFile(stdin, path, limit, &error)) {
    case SpoolResult::kDone: return {};
    case SpoolResult::kTooLong: return limit == kLargestText ? Outcome(kDocTextTooLong) : Outcome(kDocCorrupt);
    case SpoolResult::kFailed: break;
    }
    return kDocFailed.With(ErrorText(error));
}

// Opens an input file, only as a regular file. Returns the failure with the
// file system's reason, or an outcome that is Ok: missing is only what is not
// there ("No such file or directory"), and a folder is one ("Is a directory").
Outcome OpenInput(const std::string& path, const char* missingStatus, FileHandle& file) {
    std::string cause;
    file.reset(OpenRegularStream(path, cause));
    if (file) return {};
    const int error = errno;
    struct stat info {};
    if (::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode)) cause = ErrorText(EISDIR);
    if (error == ENOENT) return Outcome::Failure(OutcomeCode::kRefused, missingStatus, cause);
    return kDocFailed.With(cause);
}

// Opens the document that decode or info is given ("-": standard input,
// spooled first). Returns the failure, or an outcome that is Ok.
Outcome OpenDocument(const std::string& argument, const WorkDir& work, FileHandle& doc) {
    std::string palmPath;
    const Outcome resolved = ResolveInput(argument, work, palmPath);
    if (!resolved.Ok()) return resolved;
    return OpenInput(palmPath, kStatusPalmFileMissing, doc);
}

// Sends a finished file to its destination: renamed over OUTPUT, or copied to
// standard output. Writing elsewhere first means a failure never leaves a
// half-written OUTPUT behind.
class OutputFile {
public:
    OutputFile(const std::string& output, const WorkDir& work)
        : toStdout_(output == kStandardStream), replacement_(toStdout_ ? work.Path() + "stdout" : output) {}

    std::FILE* File() const { return replacement_.File(); }
    bool Ok() const { return replacement_.Ok(); }
    // Why creating, writing or finishing failed; empty when nothing did.
    std::string Cause() const {
        return stdoutError_ != 0 ? "standard output: " + ErrorText(stdoutError_) : replacement_.Cause();
    }

    bool Finish() {
        if (!toStdout_) return replacement_.Commit();
        std::FILE* file = replacement_.File();
        return std::fflush(file) == 0 && std::fseek(file, 0, SEEK_SET) == 0 && Copy(file, stdout);
    }

private:
    bool Copy(std::FILE* in, std::FILE* out) {
        char buffer[1 << 15];
        for (;;) {
            const std::size_t got = std::fread(buffer, 1, sizeof buffer, in);
            if (got > 0 && std::fwrite(buffer, 1, got, out) != got) return Failed();
            if (got < sizeof buffer) {
                if (std::ferror(in)) return false;
                return std::fflush(out) == 0 || Failed();
            }
        }
    }
    bool Failed() {
        stdoutError_ = errno != 0 ? errno : EIO;
        return false;
    }

    bool toStdout_;
    ReplacementFile replacement_;
    int stdoutError_ = 0;
};

// An output that is the input would replace the only copy of what it is made
// from; "-" is compared as the stream it stands for (a redirection onto the
// input is the input too).
bool SameFileInAndOut(const std::string& input, const std::string& output) {
    return IsSameFile(input == kStandardStream ? "/dev/stdin" : input,
                      output == kStandardStream ? "/dev/stdout" : output);
}

std::string OptionsText(const ParsedArguments& args) {
    std::string options(kOptionJoinLines, '0');
    auto set = [&](int position, bool on) { options[position - 1] = on ? '1' : '0'; };
    set(kOptionCompress, args.Has("--compress"));
    set(kOptionTabsToSpaces, args.values.count("--tabs") != 0);
    set(kOptionStripHtml, args.Has("--strip-html"));
    set(kOptionCrToLf, args.Has("--cr-to-lf"));
    set(kOptionRaw, args.Has("--raw"));
    set(kOptionUtf8Text, args.Has("--utf8"));
    set(kOptionBookmarks, args.Has("--bookmarks"));
    set(kOptionJoinLines, args.Has("--join-lines"));
    return options;
}

void RequirePositionals(const ParsedArguments& args, std::size_t count) {
    if (args.positionals.size() != count) {
        throw UsageError("expected " + std::to_string(count) + " file argument" + (count == 1 ? "" : "s") + ", got " +
                         std::to_string(args.positionals.size()));
    }
}

int RunEncode(const ParsedArguments& args) {
    RequirePositionals(args, 2);
    const std::string& input = args.positionals[0];
    const std::string& output = args.positionals[1];
    const bool titled = args.values.count("--title") != 0;
    if (titled && args.TextValue("--title").empty()) throw UsageError("--title needs a name that is not empty");
    TaskRecord task;
    task.options = OptionsText(args);
    task.tabspace = static_cast<int16_t>(args.IntValue("--tabs", 0, 64, 0));
    const int category = args.IntValue("--category", 0, 15, 0);
    const int jobs = args.IntValue("--jobs", 1, 1024, 0);

    const CodecFunctions* codec = Codec();
    if (codec == nullptr) return kExitFailure;
    const std::string in = Shown(input, "standard input"), out = Shown(output, "standard output");
    if (SameFileInAndOut(input, output)) return FailOn(out, kStatusSameFile);
    WorkDir work;
    if (!work.Ok()) return FailOn("", kStatusGenericError, "no working folder");

    std::string pcPath;
    FileHandle opened;
    Outcome ready = ResolveInput(input, work, pcPath, kLargestText);
    if (ready.Ok()) ready = OpenInput(pcPath, kStatusPcFileMissing, opened);
    if (!ready.Ok()) return FailOn(in, ready.status, ready.cause);

    TerminalProgress progress;
    if (!task.HasOption(kOptionUtf8Text)) {
        // Bytes stay as they are; say so when that will garble the text.
        const std::unique_ptr<char[]> buffer(new char[1 << 16]);  // outlives the stream
        std::setvbuf(opened.get(), buffer.get(), _IOFBF, 1 << 16);
        Utf8Scanner scanner;
        if (ScanFile(opened.get(), scanner) && scanner.Valid() && scanner.NonAscii()) {
            progress.Note(
                "the text is UTF-8 with characters beyond ASCII, which Palm readers will show "
                "wrongly; --utf8 converts them to the Palm character set");
        }
    }
    opened.reset();
    // The filters name no status: the code chooses the converters' own.
    std::string textPath;
    std::vector<Bookmark> bookmarks;
    const Outcome filtered = ApplyFilters(pcPath, FilterOptionsOf(task), work.Path(), progress, textPath, &bookmarks);
    if (!filtered.Ok()) {
        return FailOn(in, filtered.code == OutcomeCode::kTooLong ? kStatusTextTooLong : kStatusGenericError,
                      filtered.cause);
    }

    OutputFile file(output, work);
    if (!file.Ok()) return FailOn(out, kStatusGenericError, file.Cause());
    DocBuildRequest request;
    request.textPath = textPath;
    // A title given names the document; else its file, else its input's,
    // else (standard input to standard output) the text's first line.
    if (titled) {
        request.databaseName = GivenDatabaseName(args.TextValue("--title"), UsesUtf8Text(task));
    } else {
        request.databaseName =
            NewDatabaseName(output != kStandardStream ? output : std::string(),
                            input != kStandardStream ? input : std::string(), UsesUtf8Text(task), textPath);
    }
    request.bookmarks = std::move(bookmarks);
    request.compressed = task.HasOption(kOptionCompress);
    request.category = category;
    request.jobs = jobs;
    const Outcome built = BuildDocFile(request, file.File(), *codec, progress);
    // A failed write is the output's; anything else, the text's.
    if (!built.Ok())
        return file.Cause().empty() ? FailOn(in, built.status, built.cause) : FailOn(out, built.status, file.Cause());
    if (!file.Finish()) return FailOn(out, kStatusGenericError, file.Cause());
    return kExitOk;
}

int RunDecode(const ParsedArguments& args) {
    RequirePositionals(args, 2);
    const std::string in = Shown(args.positionals[0], "standard input");
    const std::string out = Shown(args.positionals[1], "standard output");
    if (SameFileInAndOut(args.positionals[0], args.positionals[1])) return FailOn(out, kStatusSameFile);
    const CodecFunctions* codec = Codec();
    if (codec == nullptr) return kExitFailure;
    WorkDir work;
    if (!work.Ok()) return FailOn("", kStatusGenericError, "no working folder");

    FileHandle doc;
    if (const Outcome opened = OpenDocument(args.positionals[0], work, doc); !opened.Ok()) {
        return FailOn(in, opened.status, opened.cause);
    }

    OutputFile file(args.positionals[1], work);
    if (!file.Ok()) return FailOn(out, kStatusGenericError, file.Cause());
    TerminalProgress progress;
    progress.SetProgressCaption("Decompression");
    std::vector<Bookmark> marks;
    if (args.Has("--bookmarks")) {
        const Outcome read = ReadDocBookmarks(doc.get(), marks);
        if (!read.Ok()) return FailOn(in, read.status, read.cause);
    }
    const Outcome extracted = ExtractDocText(doc.get(), file.File(), *codec, progress, args.Has("--utf8"), &marks);
    // A failed write is the output's; anything else, the document's.
    if (!extracted.Ok()) {
        return file.Cause().empty() ? FailOn(in, extracted.status, extracted.cause)
                                    : FailOn(out, extracted.status, file.Cause());
    }
    if (!file.Finish()) return FailOn(out, kStatusGenericError, file.Cause());
    return kExitOk;
}

// What the document's text bytes look like: which set a Palm reader needs.
std::string TextKindText(std::FILE* doc, const WorkDir& work) {
    const CodecFunctions* codec = Codec();
    if (codec == nullptr) return "unknown (no compression library)";
    const std::string path = work.Path() + "text";
    FileHandle text(std::fopen(path.c_str(), "w+b"));
    ProgressSink quiet;
    Utf8Scanner scanner;
    if (!text || std::fseek(doc, 0, SEEK_SET) != 0 || !ExtractDocText(doc, text.get(), *codec, quiet).Ok() ||
        std::fseek(text.get(), 0, SEEK_SET) != 0 || !ScanFile(text.get(), scanner)) {
        return "unknown (the text records could not be read)";
    }
    if (!scanner.NonAscii()) return "plain ASCII";
    if (scanner.Valid()) return "looks like UTF-8 (Palm readers show its non-ASCII characters wrongly)";
    return "Palm character set (non-ASCII characters as Palm readers show them)";
}

std::string PalmTimeText(uint32_t palmTime) {
    // Palm time counts local seconds, so it is shown as it stands.
    const std::time_t seconds = static_cast<std::time_t>(palmTime) - std::time_t{LUM2_PALM_EPOCH_OFFSET};
    std::tm parts{};
    gmtime_r(&seconds, &parts);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &parts);
    return text;
}

// The bookmarks, one a line after their number: offset, then the name (in
// the Palm set unless it reads as UTF-8, and escaped either way).
void PrintBookmarks(std::FILE* doc) {
    std::vector<Bookmark> bookmarks;
    if (std::fseek(doc, 0, SEEK_SET) != 0 || !ReadDocBookmarks(doc, bookmarks).Ok()) {
        std::printf("bookmarks: unknown (the record list could not be read)\n");
        return;
    }
    std::printf("bookmarks: %zu\n", bookmarks.size());
    for (const Bookmark& bookmark : bookmarks) {
        Utf8Scanner scanner;
        scanner.Feed(bookmark.name);
        std::string name;
        if (scanner.Valid()) {
            name = bookmark.name;
        } else {
            AppendUtf8FromPalm(bookmark.name, name);
        }
        std::printf("bookmark: %u %s\n", bookmark.offset, PrintableText(name).c_str());
    }
}

int RunInfo(const ParsedArguments& args) {
    RequirePositionals(args, 1);
    const std::string in = Shown(args.positionals[0], "standard input");
    WorkDir work;
    if (!work.Ok()) return FailOn("", kStatusGenericError, "no working folder");
    FileHandle doc;
    if (const Outcome opened = OpenDocument(args.positionals[0], work, doc); !opened.Ok()) {
        return FailOn(in, opened.status, opened.cause);
    }

    PalmHeader header;
    DocInfo info;
    const Outcome checked = CheckDocFile(doc.get(), header, info);
    if (!checked.Ok()) return FailOn(in, checked.status, checked.cause);
    try {
        std::string name = ReadTextAt(doc.get(), kNameOffset, kNameFieldSize);
        name = name.substr(0, name.find('\0'));
        // The header's texts are the file's bytes, not ours to print raw.
        std::printf("name: %s\n", PrintableText(name).c_str());
        std::printf("type: %s\n", PrintableText(header.type).c_str());
        std::printf("creator: %s\n", PrintableText(header.creator).c_str());
        std::printf("compressed: %s\n", info.version == 2 ? "yes" : "no");
        std::printf("text records: %d\n", info.recordCount);
        std::printf("text length: %u\n", info.textLength);
        std::printf("category: %d\n", info.category);
        std::printf("created: %s\n", PalmTimeText(ReadLongAt(doc.get(), kCreationDateOffset)).c_str());
        std::printf("text: %s\n", TextKindText(doc.get(), work).c_str());
        PrintBookmarks(doc.get());
    } catch (const DocIoError&) {
        return FailOn(in, kStatusGenericError, ErrorText(EIO));
    }
    return std::fflush(stdout) == 0 ? kExitOk : kExitFailure;
}

}  // namespace

std::vector<Command> DocCommands() {
    std::vector<Command> commands;
    commands.push_back(Command{
        "encode", "convert a text file into a Palm Doc database (.pdb)",
        "lum2doc encode [--compress] [--tabs N] [--cr-to-lf] [--strip-html] [--utf8] [--raw] [--bookmarks] "
        "[--join-lines] [--title TEXT] [--category N] [--jobs N] INPUT OUTPUT.pdb",
        "Converts the text file INPUT into the Palm Doc database OUTPUT.pdb.\n"
        "The database name is TEXT, else OUTPUT's file name without its extension (at most\n"
        "31 bytes), else INPUT's, else the text's first line that is not blank.\n"
        "Without options, carriage returns are removed and TABs are kept.\n"
        "\n"
        "  --compress      compress the text records (smaller file, Doc version 2)\n"
        "  --tabs N        replace every TAB by N spaces (N from 0 to 64)\n"
        "  --cr-to-lf      turn every carriage return into a line feed instead of removing it\n"
        "  --strip-html    turn HTML into text: tags, head, script and style go, blanks collapse\n"
        "                  as in a browser, blocks become paragraphs, list items get \"- \" or\n"
        "                  their number, table cells a TAB, and every character reference its\n"
        "                  character (in the text's set)\n"
        "  --utf8          convert a UTF-8 text to the Palm character set (accents composed,\n"
        "                  stand-ins such as \"->\" or \"?\" for what the set lacks, and their\n"
        "                  number told); a text that is not UTF-8 keeps its bytes\n"
        "  --raw           take the text byte for byte (every filter option, --utf8 too, is ignored)\n"
        "  --bookmarks     give the document bookmarks: one for each <* name *> mark in the text\n"
        "                  (the marks are removed); else, when the text ends in lines such as\n"
        "                  <CHAPTER>, one for each line that begins with CHAPTER; else one for each\n"
        "                  heading (\"CHAPTER I.\", \"Part 2: ...\", Markdown # to ###, <h1> to <h3>)\n"
        "  --join-lines    join the lines of paragraphs wrapped at a fixed width, so the handheld\n"
        "                  wraps them to its own screen; blank lines, indented lines, lists and\n"
        "                  headings stay as they are\n"
        "  --title TEXT    name the document TEXT (at most 31 bytes; in the Palm set with --utf8)\n"
        "  --category N    Palm category of the document (0 to 15)\n"
        "  --jobs N        compress on N threads (default: one per core); the file is the same\n"
        "\n"
        "INPUT or OUTPUT may be \"-\" for standard input or standard output.",
        OptionSpec{{"--compress", "--cr-to-lf", "--strip-html", "--utf8", "--raw", "--bookmarks", "--join-lines"},
                   {"--tabs", "--category", "--jobs", "--title"}},
        RunEncode});
    commands.push_back(Command{"decode", "convert a Palm Doc database into a text file",
                               "lum2doc decode [--utf8] [--bookmarks] INPUT.pdb OUTPUT",
                               "Writes the text of the Palm Doc database INPUT.pdb into OUTPUT, byte for byte,\n"
                               "with nothing added between records. Plain and compressed documents are read.\n"
                               "\n"
                               "  --utf8          convert the text from the Palm character set to UTF-8\n"
                               "  --bookmarks     write a mark <* name *> where each bookmark stands, so that\n"
                               "                  encode --bookmarks gives the same bookmarks back\n"
                               "\n"
                               "INPUT or OUTPUT may be \"-\" for standard input or standard output.",
                               OptionSpec{{"--utf8", "--bookmarks"}, {}}, RunDecode});
    commands.push_back(
        Command{"info", "describe a Palm Doc database", "lum2doc info INPUT.pdb",
                "Checks INPUT.pdb as decode would and prints its name, type, creator, whether it is\n"
                "compressed, its number of text records, its text length, its category and its\n"
                "creation date, whether its text is plain ASCII, in the Palm character set, or\n"
                "looks like UTF-8 (which Palm readers show wrongly), and its bookmarks (offset and\n"
                "name). INPUT may be \"-\" for standard input.",
                OptionSpec{}, RunInfo});
    return commands;
}

}  // namespace lum2::cli
