// The Palm file name of a clipboard conversion: the clipboard record's name
// made whole (home folder, "clipboard.pdb"), and the count-up number.
#pragma once

#include <string>

namespace lum2 {

inline constexpr const char* kClipboardFileName = "clipboard.pdb";
inline constexpr const char* kClipboardTextFileName = "lumclip.tmp";

// n empty: home + "clipboard.pdb"; a bare file name goes into home; a folder
// gets "clipboard.pdb"; a name the file system cannot look at (a folder that
// does not exist) falls back to home + "clipboard.pdb". home ends with a separator.
std::string ResolveClipboardName(const std::string& name, const std::string& home);

// Puts the three-digit counter before the extension, the stem cut to 28
// characters: /home/u/clip.pdb with 5 gives /home/u/clip005.pdb.
std::string CountedName(const std::string& name, int counter);
// The counter after one conversion: one up, 999 wraps to 1.
int NextCounter(int counter);

}  // namespace lum2
