// Palm to PC: read the Doc database of the lowest checked target, check it,
// and write its text as the PC file.
#include <cstdio>
#include <memory>
#include <vector>

#include "base/file_handle.h"
#include "convert/converters.h"
#include "doc/doc_builder.h"
#include "doc/doc_extractor.h"
#include "base/file_times.h"
#include "base/path_functions.h"
#include "base/safe_file.h"
#include "convert/task_options.h"

namespace lum2 {

void ConvertPalmToPc(TaskRecord& task, ConversionContext& context) {
    ConversionHost& host = context.host;
    bool converting = false;

    try {
        const std::vector<int> checked = host.CheckedTargets();
        if (checked.empty()) {
            task.status = "Error: no source user (or custom) selected";
            return;
        }
        const std::string palm = RightTrim(task.palmfile);
        if (FileNamePart(palm).empty()) {
            task.status = "Error: no Palm File selected";
            return;
        }
        const std::string typedPc = RightTrim(task.pcfile);
        if (FileNamePart(typedPc).empty()) {
            task.status = "Error: no PC File selected";
            return;
        }
        task.palmfile = palm;
        task.pcfile = typedPc;
        const std::string pc = InFolder(context.baseDirectory, typedPc);

        const std::string source = PalmFileLocation(palm, checked.front(), context.targets, context.baseDirectory);
        if (FileProbe(source) != 1) {
            task.status = "Error: Palm File does not exist";
            return;
        }
        // Replacing the document by its own text would lose it.
        if (IsSameFile(source, pc)) {
            task.status = kStatusSameFile;
            return;
        }
        if (FileProbe(pc) == 1 && !host.overwritePromptSuppressed && host.AskBeforeOverwrite()) {
            const int answer = host.AskOverwrite("PC File already exists! Overwrite file?", pc);
            if (answer == kAnswerStop) {
                host.stopRequested = true;
                task.status = "User stopped conversion";
                return;
            }
            if (answer != kAnswerYes) {
                task.status = "User skipped task";
                return;
            }
        }

        // The existing PC file stays until the new one is complete, so a
        // damaged Palm file or a failed write never costs the user a text.
        converting = true;
        std::string openCause;
        FileHandle doc(OpenRegularStream(source, openCause));
        if (!doc) {
            task.status = kStatusGenericError;
            host.ReportFailureCause(openCause);
        } else {
            ReplacementFile text(pc);
            if (!text.Ok()) {
                task.status = kStatusGenericError;
            } else {
                host.ShowProgressDisplay(true);
                task.status = ExtractDocText(doc.get(), text.File(), context.codec, host, UsesUtf8Text(task));
                doc.reset();
                if (task.status == kStatusOk && !text.Commit()) task.status = kStatusGenericError;
            }
            if (task.status == kStatusGenericError && !text.Cause().empty()) host.ReportFailureCause(text.NamedCause());
        }

        if (task.status == kStatusOk) {
            double palmTime = 0;
            double pcTime = 0;
            if (ModificationDate(source, palmTime) && ModificationDate(pc, pcTime)) {
                task.palmfiletime = palmTime;
                task.pcfiletime = pcTime;
            } else {
                task.status = kStatusGenericError;
            }
        }
    } catch (const std::exception&) {
        task.status = kStatusGenericError;
    }

    if (converting || task.status == kStatusGenericError) {
        host.SetTrayIcon(TrayPicture::kNormal, "");
        host.ShowProgressDisplay(false);
        host.LetEventsRun();
    }
}

}  // namespace lum2
