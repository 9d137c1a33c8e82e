// Removes HTML markup from a byte stream fed in chunks of any size.
//
// Block tags (p, br, div, li, h1-h6, tr) become line ends, script and style
// content is dropped, the common named entities and numeric references up to
// 255 become single bytes. The state between chunks is a few bytes, so a tag,
// comment or entity split across chunks gives the same output as a whole one.
#pragma once

#include <string>
#include <string_view>

namespace lum2 {

class HtmlStripper {
public:
    // Appends the text of the next chunk of markup to out.
    void Feed(std::string_view chunk, std::string& out);
    // Appends what an unfinished entity left pending at the end of input.
    void Finish(std::string& out);

private:
    struct State;
    // Implementation-defined small state; see html_stripper.cpp.
    int mode_ = 0;
    std::string pending_;   // bounded: a tag name, entity or closing-tag probe
    bool inClosingTag_ = false;
    std::string skipUntil_; // "script" or "style" while their content is dropped
};

}  // namespace lum2
