// Names, paths and texts that come from a file or the store, made safe to
// show on a terminal or in a window. Their bytes are anybody's: a database
// name or a task path may hold a line end that forges another line of
// output, or an escape sequence that the terminal would obey. Everything
// LUM2 prints or shows of such a text goes through here; what is stored
// stays as it was.
#pragma once

#include <string>
#include <string_view>

namespace lum2 {

// text with every byte that could act as a control, or is not UTF-8, written
// as an escape:
//   \n \t \r          line feed, TAB, carriage return
//   \xNN              any other byte from 0x00 to 0x1F, 0x7F, a byte of no
//                     valid UTF-8 sequence, and each byte of a C1 control
//                     (U+0080-U+009F), a line or paragraph separator
//                     (U+2028, U+2029) or a bidirectional embedding,
//                     override or isolate (U+202A-U+202E, U+2066-U+2069),
//                     which would reorder or break the line; NN is lower-case hex
//   \\                a backslash, but only one that the next character
//                     would otherwise turn into an escape (a backslash, n,
//                     t, r, x, or an escaped byte)
// Printable UTF-8 passes unchanged, so ordinary names and most paths with a
// backslash in them read as they are. Reading back is unambiguous: "\\",
// "\n", "\t", "\r" and "\xNN" are escapes, any other backslash is itself.
std::string PrintableText(std::string_view text);

}  // namespace lum2
