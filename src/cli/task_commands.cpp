// lum2doc tasks, targets and run: the task list of a lumdata.dat without the
// desktop program, converted by the same batch run.
#include <cstdio>
#include <memory>

#include "base/path_functions.h"
#include "base/printable_text.h"
#include "cli/command.h"
#include "cli/terminal_host.h"
#include "convert/batch_run.h"
#include "hotsync/install_targets.h"
#include "hotsync/system_user_directory.h"
#include "tasks/record_store.h"
#include "tasks/store_layout.h"

namespace lum2::cli {

namespace {

const char* const kDirectionNames[] = {"none", "palm-to-pc", "pc-to-palm", "sync"};

std::string DirectionName(int direction) {
    if (direction >= kDirectionNone && direction <= kDirectionSync) return kDirectionNames[direction - 1];
    return "unknown(" + std::to_string(direction) + ")";
}

std::string BaseDirectory(const ParsedArguments& args) {
    std::string dir = args.TextValue("--dir", ".");
    if (dir.empty()) dir = ".";
    if (dir.back() != PathSeparator()) dir += PathSeparator();
    return dir;
}

// Opens the store of --dir; a store that had to be set aside is said once, on stderr.
void OpenStore(RecordStore& store, const ParsedArguments& args) {
    store.OpenStore(BaseDirectory(args));
    const std::string note = store.SetAsideMessage();
    if (!note.empty()) std::fprintf(stderr, "lum2doc: %s\n", PrintableText(note).c_str());
}

// The commands that change the list make its folder as the desktop program
// does on a fresh account: every missing level private. Reading a list that
// is not there only says so.
void OpenStoreForChange(RecordStore& store, const ParsedArguments& args) {
    const std::string failure = CreatePrivateFolder(BaseDirectory(args));
    if (!failure.empty()) throw StoreError("Error: cannot create the folder " + failure);
    OpenStore(store, args);
}

// A path option's value, refused when the task could not hold it whole.
std::string PathValue(const ParsedArguments& args, const std::string& option, const std::string& which) {
    std::string path = args.TextValue(option);
    if (!FitsField(path, kPathFieldWidth)) {
        throw UsageError(PathTooLongText(which) + " (" + option + " is " + std::to_string(path.size()) + " bytes)");
    }
    return path;
}

// The HotSync users of this machine, then "Custom"; warnings go to stderr.
struct Targets {
    Targets() : directory(MakeSystemUserDirectory(DirectoryEnvironment::FromProcess())), list(directory.get()) {
        for (const auto& warning : list.FillInstallList()) std::fprintf(stderr, "%s\n", PrintableText(warning).c_str());
    }
    std::unique_ptr<UserDirectory> directory;
    InstallTargets list;
};

// A text of "0" and "1" characters, at most width long.
std::string BitsValue(const ParsedArguments& args, const std::string& option, std::size_t width) {
    const std::string text = args.TextValue(option);
    if (text.empty() || text.size() > width || text.find_first_not_of("01") != std::string::npos) {
        throw UsageError(option + " takes up to " + std::to_string(width) + " characters of 0 and 1, not \"" + text +
                         "\"");
    }
    return text;
}

int ListTasks(RecordStore& store) {
    std::printf("#\tdirection\tpc file\tpalm file\toptions\tinstall\tstatus\n");
    for (int n = kFirstTaskRecord; n <= store.RecordCount(); ++n) {
        const TaskRecord task = store.GetRecord(n);
        // One line per task, a TAB between fields, whatever bytes the fields hold.
        std::printf("%d\t%s\t%s\t%s\t%s\t%s\t%s\n", RowOfRecord(n), DirectionName(task.direction).c_str(),
                    PrintableText(task.pcfile).c_str(), PrintableText(task.palmfile).c_str(),
                    PrintableText(task.options).c_str(), PrintableText(task.install).c_str(),
                    PrintableText(task.status).c_str());
    }
    return kExitOk;
}

int AddTask(RecordStore& store, const ParsedArguments& args) {
    if (args.values.count("--pc") == 0 || args.values.count("--palm") == 0) {
        throw UsageError("tasks add needs --pc PATH and --palm PATH");
    }
    int direction = 0;
    if (args.values.count("--direction") != 0) {
        const std::string name = args.TextValue("--direction");
        for (int d = kDirectionNone; d <= kDirectionSync; ++d) {
            if (name == kDirectionNames[d - 1]) direction = d;
        }
        if (direction == 0)
            throw UsageError("--direction is none, palm-to-pc, pc-to-palm or sync, not \"" + name + "\"");
    }
    // Check every value before the task exists, so a usage error adds nothing.
    const std::string pc = PathValue(args, "--pc", "PC File");
    const std::string palm = PathValue(args, "--palm", "Palm File");
    const std::string options = args.values.count("--options") ? BitsValue(args, "--options", 32) : "";
    const std::string install =
        args.values.count("--install") ? BitsValue(args, "--install", kMaximumInstallEntries) : "";
    const int category = args.IntValue("--category", 0, 15, -1);
    const int tabs = args.IntValue("--tabs", 0, 64, -1);

    const int position = AppendNewTask(store);
    const int record = RecordOfRow(position);
    TaskRecord task = store.GetRecord(record);
    task.pcfile = pc;
    task.palmfile = palm;
    if (direction != 0) task.direction = static_cast<int16_t>(direction);
    if (!options.empty()) task.options = options;
    if (!install.empty()) task.install = install;
    if (category >= 0) task.category = static_cast<int16_t>(category);
    if (tabs >= 0) task.tabspace = static_cast<int16_t>(tabs);
    store.PutRecord(record, task);
    std::printf("%d\n", position);
    return kExitOk;
}

int DeleteTask(RecordStore& store, const ParsedArguments& args) {
    if (args.positionals.size() != 2) throw UsageError("tasks delete takes one position");
    ParsedArguments position;
    position.values["POS"] = args.positionals[1];
    const int count = RowOfRecord(store.RecordCount());
    if (count < 1) return Fail("Error: the task list is empty");
    const int pos = position.IntValue("POS", 1, count, 0);
    store.DeleteRecord(RecordOfRow(pos));
    return kExitOk;
}

int RunTasks(const ParsedArguments& args) {
    if (!args.positionals.empty()) throw UsageError("tasks takes no file arguments");
    // Read beside the window, which holds the list's lock for as long as it runs.
    RecordStore store;
    store.OpenForReading(BaseDirectory(args));
    if (args.values.count("--pc") || args.values.count("--palm") || args.values.count("--direction") ||
        args.values.count("--options") || args.values.count("--install") || args.values.count("--category") ||
        args.values.count("--tabs")) {
        throw UsageError("task fields are given to \"tasks add\"");
    }
    return ListTasks(store);
}

int RunTasksCommand(const ParsedArguments& args) {
    if (args.positionals.empty()) return RunTasks(args);
    const std::string& sub = args.positionals[0];
    RecordStore store;
    if (sub == "add") {
        if (args.positionals.size() != 1) throw UsageError("tasks add takes no file arguments");
        OpenStoreForChange(store, args);
        return AddTask(store, args);
    }
    if (sub == "delete") {
        OpenStoreForChange(store, args);
        return DeleteTask(store, args);
    }
    throw UsageError("unknown tasks command \"" + sub + "\"");
}

int RunTargets(const ParsedArguments& args) {
    if (!args.positionals.empty()) throw UsageError("targets takes no arguments");
    Targets targets;
    for (int entry = 0; entry < targets.list.Count(); ++entry) {
        std::printf("%d\t%s\n", entry, PrintableText(targets.list.EntryText(entry)).c_str());
    }
    return kExitOk;
}

int RunList(const ParsedArguments& args) {
    if (!args.positionals.empty()) throw UsageError("run takes no arguments");
    const std::string answer = args.TextValue("--answer");
    if (!answer.empty() && answer != "yes" && answer != "skip" && answer != "stop") {
        throw UsageError("--answer is yes, skip or stop, not \"" + answer + "\"");
    }
    const CodecFunctions* codec = Codec();
    if (codec == nullptr) return kExitFailure;

    RecordStore store;
    OpenStore(store, args);
    TerminalHost host(store, answer);
    const BatchSummary summary = RunTaskListWithoutWindow(store, host, *codec, BaseDirectory(args), stdout);
    // A timer job has only the exit status to go by: anything short of every
    // task done or up to date is a failure, a skipped task too.
    const int notDone = summary.tasksInList - summary.tasksEndedWell;
    if (notDone > 0) {
        std::fflush(stdout);
        std::fprintf(stderr, "lum2doc: %d of %d tasks failed or were skipped\n", notDone, summary.tasksInList);
    }
    return summary.unfinished ? kExitFailure : kExitOk;
}

}  // namespace

std::vector<Command> TaskCommands() {
    std::vector<Command> commands;
    const std::string dirHelp = "  --dir DIR       the folder of lumdata.dat (default: the working directory)\n";
    commands.push_back(Command{
        "tasks", "list, add or delete the tasks of lumdata.dat",
        "lum2doc tasks [--dir DIR] | tasks add --pc PATH --palm PATH [FIELDS] | tasks delete POS",
        "lum2doc tasks [--dir DIR]\n"
        "  Lists the tasks: position, direction, PC file, Palm file, options, install, status.\n"
        "lum2doc tasks add --pc PATH --palm PATH [--direction none|palm-to-pc|pc-to-palm|sync]\n"
        "                  [--options 1100001] [--category N] [--tabs N] [--install 1000...] [--dir DIR]\n"
        "  Appends a task as the desktop program's \"New\" does (the stored defaults and a\n"
        "  fresh id), sets the given fields and prints the new task's position.\n"
        "  --options: one 0 or 1 per option: Compress, TABs to Spaces, Strip HTML, CR to LF,\n"
        "  Allow Binary, Raw, UTF-8 Text (a missing one is off).\n"
        "  --install: one 0 or 1 per install target (see \"lum2doc targets\").\n"
        "  --palm is a file name for HotSync users, or the full path with the Custom target.\n"
        "lum2doc tasks delete POS [--dir DIR]\n"
        "  Deletes the task at position POS.\n" +
            dirHelp +
            "  add and delete create a missing DIR (each new level with mode 0700).\n"
            "Names, paths and statuses are shown with control characters escaped (\\n, \\t,\n"
            "\\x1b ...), as are bytes that are not UTF-8.",
        OptionSpec{{}, {"--dir", "--pc", "--palm", "--direction", "--options", "--category", "--tabs", "--install"}},
        RunTasksCommand});
    commands.push_back(Command{"targets", "list the install targets: HotSync users, then Custom", "lum2doc targets",
                               "Lists the install targets with their index (the position in a task's install text,\n"
                               "counted from 0): the J-Pilot user when J-Pilot is set up ($JPILOT_HOME or $HOME),\n"
                               "the users of the folder tree in $LUM2_HOTSYNC_ROOT, and Custom last.",
                               OptionSpec{}, RunTargets});
    commands.push_back(
        Command{"run", "convert the task list of lumdata.dat", "lum2doc run [--answer yes|skip|stop] [--dir DIR]",
                "Converts every task from the top, prints one line per task (position, mark, status)\n"
                "and the summary, and saves each task's status. Marks: \" OK\" converted, \" ?\" an\n"
                "error, \" -\" skipped, stopped or nothing to do.\n"
                "\n"
                "  --answer yes|skip|stop  answers every prompt: yes overwrites existing files (and\n"
                "                  skips a sync task whose two files both changed), skip leaves the\n"
                "                  task alone, stop ends the run after the task. Without it prompts are\n"
                "                  asked on the terminal; with no terminal they are answered skip.\n" +
                    dirHelp +
                    "\nExit status: 0 when every task ended \"OK\" or \"No update necessary\" (a task with\n"
                    "the direction none counts as done), 1 otherwise, with the count of the others on\n"
                    "standard error.",
                OptionSpec{{}, {"--answer", "--dir"}}, RunList});
    return commands;
}

}  // namespace lum2::cli
