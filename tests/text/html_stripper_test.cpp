#include "text/html_stripper.h"

#include <gtest/gtest.h>

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace lum2 {
namespace {

std::string Strip(std::string_view html, bool utf8 = false) {
    HtmlStripper stripper(utf8);
    std::string out;
    stripper.Feed(html, out);
    stripper.Finish(out);
    return out;
}

// Markup that leans on every piece of state kept between chunks.
const std::string kTrickySample =
    "<!DOCTYPE html><?xml version=\"1.0\"?><HTML><Body>\r\n"
    "<P class=\"x>y\" title='a>b'>AT&T &amp; a < b &lt;&#65;&#x42;&#XfF;&nbsp;&copy;</P>\n"
    "<!-- <p>hidden</p> -- > --->after comment<Br/>"
    "<script type=\"text/javascript\">if (a < b && c > d) { s = '</scrip'; t = '<p>'; }</SCRIPT >"
    "<style>p > a { content: \"&amp;\" }</style>"
    "&unknown; &#256; &toolongentityname; &&lt; &#;<h3>T</h3><li>i</li><tr><td>c</td></tr>"
    "<div\ndata-x=\"1\"\n/>end &quo";

// The markup kTrickySample already holds (quoted '>' in attributes, a script
// with '<' and "</scrip" in it, upper-case end tags) is not repeated here.
TEST(HtmlStripper, MarkupGoesEntitiesDecodeAndTextStays) {
    const std::pair<std::string, std::string> cases[] = {
        {"<b>bold</b> <i class=\"c\">it</i>", "bold it"}, {"<DIV id=a>x</Div><li>y<tr>z", "\nx\n\ny\nz"},
        {"<p>one</p><br>two<br/><BR />three", "\none\n\ntwo\n\nthree"}, {"<p title = \"a>b\">t", "\nt"},
        {"<h1>a</h1><h2>b</h2><h3>c</h3><h4>d</h4><h5>e</h5><h6>f</h6>", "\na\n\nb\n\nc\n\nd\n\ne\n\nf\n"},
        // Names that merely start like a block tag, or are not one, add nothing.
        {"<pre>a</pre><b>b</b><hr>c<h7>d</h7><td>e</td><table>f<span>g", "abcdefg"},
        {"<brx>a<paragraph>b<divider>c<li-x>d", "abcd"}, {"x<<b>y", "x<y"}, {"a</>b", "ab"},
        // A quote that does not follow '=' opens no value, so the tag still ends.
        {"<p title=don't>text</p>rest", "\ntext\nrest"}, {"<img alt=\"it's > that\">x", "x"},
        // Only the matching end tag ends the element.
        {"<script>x</style></scripts></scrip>y</script>z", "z"}, {"<style>a</script>b</style>c", "c"},
        {"<script><</</script>z", "z"}, {"<script>a<</script>z<style><</style>y", "zy"},
        // An end tag's own attributes, even quoted '>', are dropped with it; a self-closed script has no
        // content to drop; a stray end tag drops nothing after it; an unclosed script swallows the rest.
        {"<script>x</script foo=\">\">z", "z"}, {"<script src=\"a.js\"/>text", "text"},
        {"a</script>b</style>c", "abc"}, {"a<script>never closed <p>", "a"},
        {"a<!-- <p>hidden</p> > -> -- -->b", "ab"}, {"a<!---->b<!-- x --->c<!-->d", "abcd"},
        {"<!DOCTYPE html PUBLIC \"-//W3C//DTD\">a<!doctype html>b", "ab"}, {"<!-x>a", "a"},
        {"<?xml version=\"1.0\"?>a<?php if ($a > 1) ?>b", "ab"}, {"a<!-- never closed <p>", "a"},
        {"&amp;&lt;&gt;&quot;&apos;", "&<>\"'"}, {"a&nbsp;b", "a b"}, {"&copy;&reg;", "\xA9\xAE"},
        {"&AMP;&LT;&GT;&QUOT;&COPY;&REG;", "&<>\"\xA9\xAE"}, {"&#0000065;", "A"}, {"&#0;", std::string(1, '\0')},
        {"&#65;&#x42;&#X43;&#x6a;&#255;&#xFF;&#160;", "ABCj\xFF\xFF\xA0"}, {"&amp<b>x", "&ampx"}};
    for (const auto& [html, text] : cases) EXPECT_EQ(Strip(html), text) << html;
    // Text that only looks like markup, and references the stripper does not know, stay as they are; eleven
    // characters is beyond the bound, whatever follows.
    const std::string unchanged[] = {"a < b", "1<2 and 3<=4 <3", "end <", "end </", "AT&T", "a & b", "&amp",
                                     "&unknown; &Amp; &NBSP;", "&#256; &#x100; &#99999999;", "&#00000065;",
                                     "&#; &#x; &#12a; &#xG1; &x#1;", "a\r\nb\rc\nd\te",
                                     "\xE9t\xE9 \x80\xFF", std::string("a\0b", 3)};
    for (const auto& text : unchanged) EXPECT_EQ(Strip(text), text);
}

TEST(HtmlStripperChunks, AnySplitGivesTheWholeOutputAndFinishStartsAfreshInTheSameSet) {
    // The sample must exercise the cases, not be swallowed by one of them.
    EXPECT_EQ(Strip(kTrickySample), "\r\n\nAT&T & a < b <AB\xFF \xA9\n\nafter comment\n"
                                    "&unknown; &#256; &toolongentityname; &< &#;\nT\n\ni\n\nc\n\nend &quo");
    // Two pieces split anywhere, and one byte at a time with an empty piece after each: every
    // state is then both carried over and fed nothing.
    const std::size_t n = kTrickySample.size();
    std::vector<std::vector<std::size_t>> cuttings;  // the sizes of the pieces
    for (std::size_t split = 0; split <= n; ++split) cuttings.push_back({split, n - split});
    cuttings.emplace_back(2 * n);
    for (std::size_t k = 0; k < 2 * n; k += 2) cuttings.back()[k] = 1;
    for (const bool utf8 : {false, true}) {
        const std::string whole = Strip(kTrickySample, utf8);
        // One stripper for every cutting: each Finish leaves it as new, in its own set.
        HtmlStripper stripper(utf8);
        for (const auto& sizes : cuttings) {
            std::string out;
            std::size_t at = 0;
            for (const std::size_t size : sizes) {
                stripper.Feed(std::string_view(kTrickySample).substr(at, size), out);
                at += size;
            }
            stripper.Finish(out);
            ASSERT_EQ(out, whole) << "UTF-8 " << utf8 << ", " << sizes.size() << " pieces, the first of " << sizes[0];
        }
    }
}

TEST(HtmlStripperChunks, LongElementsCostNoState) {
    // Whatever it holds between chunks must fit in a few dozen bytes, which
    // rules out buffering a tag, comment or script.
    EXPECT_LE(sizeof(HtmlStripper), 64u);

    const std::string filler(1 << 20, 'x');
    const std::string pieces[] = {"a<script>", filler, "</scr", filler, "</script>", "b<!--", filler, "--", filler,
                                  "-->", "c<p title=\"", filler, ">\">", "d<", filler, ">e"};
    HtmlStripper stripper;
    std::string out;
    for (const auto& piece : pieces) {
        for (std::size_t pos = 0; pos < piece.size(); pos += 4096) {
            stripper.Feed(std::string_view(piece).substr(pos, 4096), out);
        }
    }
    stripper.Finish(out);
    EXPECT_EQ(out, "abc\nde");
}

}  // namespace
}  // namespace lum2
