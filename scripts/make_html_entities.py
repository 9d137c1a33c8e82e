#!/usr/bin/env python3
"""Writes src/text/html_entities.h: the named character references HTML
knows, sorted for binary search, and what a browser makes of the numeric
references &#128; to &#159;. Python's html module carries both tables as
browsers use them, so the header is made from it rather than typed.

Usage: scripts/make_html_entities.py [OUTPUT]   (default: src/text/html_entities.h)
"""
import html
import html.entities
import os
import sys

HEADER = """\
// Made by scripts/make_html_entities.py from Python's html module; run it
// again rather than editing this file.
//
// Every named character reference of HTML: the name as written after '&'
// (with its ';', or without it for the older names a browser also takes bare)
// and the one or two characters it stands for. Sorted by the bytes of the
// name, for binary search.
#pragma once

#include <cstddef>
#include <string_view>

namespace lum2::html {

struct NamedReference {
    std::string_view name;
    char32_t first;
    char32_t second;  // 0 when the name stands for one character
};

"""


def main():
    out_path = sys.argv[1] if len(sys.argv) > 1 else os.path.join(
        os.path.dirname(os.path.abspath(__file__)), "..", "src", "text", "html_entities.h")
    table = html.entities.html5
    names = sorted(table, key=lambda name: name.encode("ascii"))
    lines = [HEADER]
    lines.append("inline constexpr std::size_t kNamedReferenceCount = %d;\n" % len(names))
    lines.append("// The longest name, its ';' included, and the longest one a browser takes without ';'.\n")
    lines.append("inline constexpr std::size_t kLongestName = %d;\n" % max(len(n) for n in names))
    lines.append("inline constexpr std::size_t kLongestBareName = %d;\n\n"
                 % max(len(n) for n in names if not n.endswith(";")))
    lines.append("inline constexpr NamedReference kNamedReferences[kNamedReferenceCount] = {\n")
    for name in names:
        chars = [ord(c) for c in table[name]]
        assert 1 <= len(chars) <= 2, name
        second = chars[1] if len(chars) == 2 else 0
        lines.append('    {"%s", 0x%X, 0x%X},\n' % (name, chars[0], second))
    lines.append("};\n\n")
    lines.append("// What &#128; to &#159; show: Windows-1252's characters, as pages written\n"
                 "// for it meant them; the five numbers it leaves undefined keep their own.\n")
    lines.append("inline constexpr char32_t kC1References[32] = {\n")
    row = []
    for number in range(0x80, 0xA0):
        row.append("0x%X" % ord(html._invalid_charrefs.get(number, chr(number))))
    for start in range(0, 32, 8):
        lines.append("    " + ", ".join(row[start:start + 8]) + ",\n")
    lines.append("};\n\n}  // namespace lum2::html\n")
    with open(out_path, "w", encoding="ascii", newline="\n") as out:
        out.write("".join(lines))


if __name__ == "__main__":
    main()
