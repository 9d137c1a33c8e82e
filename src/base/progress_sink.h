// How long-running core work (filters, converters) shows its progress.
//
// The desktop program implements it with its progress label, progress bar and
// tray icon; lum2doc and the tests use the silent default or record the calls.
#pragma once

#include <string>

namespace lum2 {

// The pictures of the tray icon, the desktop program's status display, by
// their numbers in the window's picture set.
enum class TrayPicture {
    kNormal = 1,
    kBusy = 2,  // alternates with kNormal while a conversion works
    kSuccess = 9,
    kErrors = 10,
};

class ProgressSink {
public:
    virtual ~ProgressSink() = default;

    // Switches the status area between the status text and the progress display.
    virtual void ShowProgressDisplay(bool /*visible*/) {}
    virtual void SetProgressCaption(const std::string& /*caption*/) {}
    virtual void SetProgressRange(int /*maximum*/) {}
    virtual void SetProgressValue(int /*value*/) {}
    // Changes the tray picture and its tip text.
    virtual void SetTrayIcon(TrayPicture /*picture*/, const std::string& /*tip*/) {}
    // Lets pending window events run, so the window repaints during long work.
    virtual void LetEventsRun() {}
    // A remark about the conversion that is not a failure (characters replaced,
    // a text kept as it was); lum2doc prints it, the window has no place for it.
    virtual void Note(const std::string& /*text*/) {}
    // Why the failure the status will name happened ("<file>: No space left
    // on device"); the status text itself stays the generic one.
    virtual void ReportFailureCause(const std::string& /*cause*/) {}
};

// The tray picture for unit i of n: kNormal and kBusy take turns about every
// eighth of the work. The quotient is rounded half to even, with the step held
// in single precision as the original program did.
TrayPicture TrayFrame(int i, int n);

}  // namespace lum2
