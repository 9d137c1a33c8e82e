// Opens the help page in the user's browser: $BROWSER when set, else
// xdg-open, started on its own with the page's address as its one argument.
#pragma once

#include <QString>

class QWidget;

namespace lum2::shell {

enum class BrowserOutcome { kStarted, kNoBrowser, kNotStarted };

// Starts the browser; reports a failure in a message box owned by owner.
BrowserOutcome OpenInBrowser(const QString& address, QWidget* owner);

// The help page: help/help.htm in the base directory, else the installed copy.
QString HelpAddress(const QString& baseDirectory);

}  // namespace lum2::shell
