#include "text/html_stripper.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstddef>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <string_view>
#include <tuple>
#include <vector>

#include "text/html_entities.h"

namespace lum2 {
namespace {

std::string Strip(std::string_view html, bool utf8 = false, bool marks = false) {
    HtmlStripper stripper(utf8, marks);
    std::string out;
    stripper.Feed(html, out);
    stripper.Finish(out);
    return out;
}

TEST(HtmlStripper, ReferencesDecodeAsBrowsersReadThemInEitherSet) {
    // Markup, the text in the Palm set, the text in UTF-8.
    const std::tuple<std::string, std::string, std::string> cases[] = {
        {"caf&eacute; &mdash; wait&hellip; it&rsquo;s &euro;5", "caf\xE9 \x97 wait\x85 it\x92s \x80" "5",
         "caf\xC3\xA9 \xE2\x80\x94 wait\xE2\x80\xA6 it\xE2\x80\x99s \xE2\x82\xAC" "5"},
        {"&laquo;&uuml;ber&raquo; &AElig;&amp;&lt;&gt;&quot;&apos;", "\xAB\xFC" "ber\xBB \xC6&<>\"'",
         "\xC2\xAB\xC3\xBC" "ber\xC2\xBB \xC3\x86&<>\"'"},
        // Older names also stand bare, even before letters; other names need their ';'.
        {"&copy 2024 &amp<b>x &notit; &ampx;", "\xA9 2024 &x \xACit; &x;", "\xC2\xA9 2024 &x \xC2\xACit; &x;"},
        {"&hellip &rarr; &NotEqualTilde;", "&hellip -> ?", "&hellip \xE2\x86\x92 \xE2\x89\x82\xCC\xB8"},
        // &#128;-&#159; are Windows-1252's; 0, surrogates and numbers beyond Unicode are U+FFFD.
        {"&#x1F600;&#128;&#150;&#129;", "?\x80\x96\x81", "\xF0\x9F\x98\x80\xE2\x82\xAC\xE2\x80\x93\xC2\x81"},
        {"&#0;&#xD800;&#x110000;&#99999999999999999999;", "????", "\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD"},
        {"&#xDFFF;&#xD7FF;&#xE000;", "???", "\xEF\xBF\xBD\xED\x9F\xBF\xEE\x80\x80"},
        {"&#65&#x42x&#0000067;&#X44;", "ABxCD", "ABxCD"},
        // No-break spaces are plain ones that do not collapse; &#10; collapses as a line end would.
        {"a&nbsp;&#160; b&#10;&#32;c", "a   b c", "a   b c"},
        // What is no reference stays as written; a name longer than any is text.
        {"AT&T a & b &&lt; &unknown; &Amp; &#; &#x; &#xG;", "AT&T a & b &< &unknown; &Amp; &#; &#x; &#xG;",
         "AT&T a & b &< &unknown; &Amp; &#; &#x; &#xG;"},
        {"&CounterClockwiseContourIntegral; &CounterClockwiseContourIntegrals;",
         "? &CounterClockwiseContourIntegrals;", "\xE2\x88\xB3 &CounterClockwiseContourIntegrals;"}};
    for (const auto& [html, palm, utf8] : cases) {
        EXPECT_EQ(Strip(html), palm + "\n") << html;
        EXPECT_EQ(Strip(html, true), utf8 + "\n") << html;
    }

    // Every name of the table decodes to its characters: the table is sorted
    // as the look-up needs and each name is found whole.
    ASSERT_EQ(html::kNamedReferenceCount, 2231u);
    for (const auto& reference : html::kNamedReferences) {
        if (reference.first == '\t' || reference.first == '\n' || reference.first == 0xA0) continue;
        std::string expected;
        for (const char32_t c : {reference.first, reference.second}) {
            if (c == 0) continue;
            if (c < 0x80) {
                expected += static_cast<char>(c);
            } else if (c < 0x800) {
                expected += {static_cast<char>(0xC0 | c >> 6), static_cast<char>(0x80 | (c & 0x3F))};
            } else if (c < 0x10000) {
                expected += {static_cast<char>(0xE0 | c >> 12), static_cast<char>(0x80 | (c >> 6 & 0x3F)),
                             static_cast<char>(0x80 | (c & 0x3F))};
            } else {
                expected += {static_cast<char>(0xF0 | c >> 18), static_cast<char>(0x80 | (c >> 12 & 0x3F)),
                             static_cast<char>(0x80 | (c >> 6 & 0x3F)), static_cast<char>(0x80 | (c & 0x3F))};
            }
        }
        ASSERT_EQ(Strip("&" + std::string(reference.name), true), expected + "\n") << reference.name;
    }
}

TEST(HtmlStripper, LaysThePageOutAsABrowserShowsIt) {
    const std::pair<std::string, std::string> cases[] = {
        // Whitespace collapses, and none is left at a line's start or end.
        {"\n  <div>\n    Some   text\n\tover  lines\n  </div>\n  <div> <b>bold</b> <i> it </i> </div>\n",
         "Some text over lines\nbold it\n"},
        // Paragraphs are set off by one blank line, never more, none first; <br> ends a line.
        {"<p>one</p>\n\n<p></p><div><p>two</p></div><h2>three</h2><hr><blockquote>four</blockquote>",
         "one\n\ntwo\n\nthree\n\nfour\n"},
        {"a<br>b<br/><br />c<br><br><br><br>d</br>e", "a\nb\n\nc\n\nd\ne\n"},
        {"<section>a</section><article>b<footer>c</footer></article><dl><dt>d<dd>e</dl>f", "a\nb\nc\nd\ne\nf\n"},
        // Items, numbered in an <ol>, indented by their depth; a paragraph in an item stays by its marker.
        {"<ul><li>a</li><li><p>b</p></li><li>c<ol><li>d<li>e<ul><li>f</ul></ol></li></ul>after",
         "- a\n- b\n\n- c\n  1. d\n  2. e\n    - f\n\nafter\n"},
        {"<ol><li>x<ol start = ' 7'><li>y</ol><li>z</ol><ol title='start=5' start=\"0\"><li>w</ol>"
         "<li>lone<li></li><p>p",
         "1. x\n  7. y\n2. z\n\n0. w\n\n- lone\n- \n\np\n"},
        // Cells of a row are separated by one TAB each, an empty one included.
        {"<table>\n<tr><th>Name</th> <th>Age</th></tr>\n<tr><td> Ann </td><td></td><td>7</td></tr></table>x",
         "Name\tAge\nAnn\t\t7\n\nx\n"},
        // <pre> keeps its text but the line break right after <pre>.
        {"a<pre>\r\n  keep   this\r\n\n\tand <b>this</b>\n</pre>b", "a\n\n  keep   this\n\n\tand this\n\nb\n"},
        // What is not shown leaves nothing, not even a blank.
        {"<!DOCTYPE html><html><head><title>T <b>x</b></title><meta charset=utf-8><style>p{}</style></head>"
         "<body>a <!-- <p>hidden</p> --> b<?php echo 1 ?> c<template><p>t</p></template> d</body></html>",
         "a b c d\n"},
        {"<head><title>T</title><p>a page without </head><head>or a late head", "a page without or a late head\n"},
        {"<head><meta charset=x>hidden<p>shown</p>", "shown\n"}, {"a<?php if (x > y) ?>b", "ab\n"},
        // Tags, and only tags, go: text that looks like markup stays.
        {"<b>bold</b><span class=\"c\">x</span><unknown a='>'>y</unknown>", "boldxy\n"},
        {"a < b, 1<2, x<<b>y, end <", "a < b, 1<2, x<y, end <\n"},
        {"<p title=don't>text</p>rest<img alt=\"it's > that\">", "text\n\nrest\n"},
        {"<script>if (a < b) x = '</scrip' + '<p>';</script  >a<script src=a.js/>b<style>a</script>b</style>c",
         "abc\n"},
        {"a<!---->b<!-- x --->c<!-->d<!-x>e<!-- never closed <p>", "abcde\n"},
        {"", ""}, {"<p> </p><br>", ""}, {"a\r\nb", "a b\n"}, {std::string("a\0b", 3), std::string("a\0b\n", 4)}};
    for (const auto& [html, text] : cases) EXPECT_EQ(Strip(html), text) << html;
}

TEST(HtmlStripper, HeadingMarksNameTheirHeadingsBoundedAndReadable) {
    const std::string longName(47, 'x');
    // Markup, the text without marks, the text with them (UTF-8).
    const std::tuple<std::string, std::string, std::string> cases[] = {
        {"<h1>  Caf&eacute;\n  &amp;  <i>more</i> </h1>text", "Caf\xC3\xA9 & more\n\ntext\n",
         "<* Caf\xC3\xA9 & more *>Caf\xC3\xA9 & more\n\ntext\n"},
        {"<h2>Two</h2><h3>Three<h4>Four</h4><h1></h1><h1> </h1>", "Two\n\nThree\n\nFour\n",
         "<* Two *>Two\n\n<* Three *>Three\n\nFour\n"},
        // The name is cut at 48 bytes, between characters, and at a blank before it.
        {"<h1>" + longName + "\xC3\xA9 tail</h1>", longName + "\xC3\xA9 tail\n",
         "<* " + longName + " *>" + longName + "\xC3\xA9 tail\n"},
        {"<h1>" + longName + " \xC3\xA9 tail</h1>", longName + " \xC3\xA9 tail\n",
         "<* " + longName + " *>" + longName + " \xC3\xA9 tail\n"},
        // A name that would end its mark early gets none; the first line is the name.
        {"<h1>a *> b</h1><h2>" + longName + "*>y</h2>", "a *> b\n\n" + longName + "*>y\n",
         "a *> b\n\n" + longName + "*>y\n"},
        {"<h1>Chapter 1<br>Start</h1><h1>open at the end", "Chapter 1\nStart\n\nopen at the end\n",
         "<* Chapter 1 *>Chapter 1\nStart\n\n<* open at the end *>open at the end\n"}};
    for (const auto& [html, plain, marked] : cases) {
        EXPECT_EQ(Strip(html, true), plain) << html;
        EXPECT_EQ(Strip(html, true, true), marked) << html;
    }
    // In the Palm set each character is a byte: the cut falls at the 48th.
    EXPECT_EQ(Strip("<h1>" + longName + "&eacute;&eacute;</h1>", false, true),
              "<* " + longName + "\xE9 *>" + longName + "\xE9\xE9\n");
}

// A page with a bit of everything, and markup that leans on every piece of
// state kept between chunks.
const std::string kPage =
    "<!DOCTYPE html><?xml version=\"1.0\"?><HTML><Head><title>T</title>\r\n<style>p > a {}</style></head><Body>\r\n"
    "<H1 class=\"x>y\">Caf&eacute; &amp co&#x2192;</H1>\n<P title='a>b'>AT&T &amp; a < b &lt;&#65;&#x42;&#XfF;&nbsp;"
    "&copy;&notit;</P>\n<!-- <p>hidden</p> -- > --->after comment<Br/>"
    "<script type=\"text/javascript\">if (a < b && c > d) { s = '</scrip'; t = '<p>'; }</SCRIPT >"
    "&unknown; &#256; &#99999999; &toolongentitynamethatnothingmatchesatall; &&lt; &#;<h2>Two &#8212; <b>x</b></h2>"
    "<ul>\n  <li>one</li>\n  <li>two<ol start=3><li>a</li></ol></li>\n</ul>\n"
    "<table><tr><th>k</th><th>v</th></tr><tr><td>1</td><td></td></tr></table>"
    "<pre>\n a  b\r\n\r\nc</pre><div\ndata-x=\"1\"\n/>end &quo";

TEST(HtmlStripperChunks, AnySplitGivesTheWholeTextAndFinishStartsAfreshWithTheSameSettings) {
    // The page must exercise the cases, not be swallowed by one of them.
    EXPECT_EQ(Strip(kPage, true, true),
              "<* Caf\xC3\xA9 & co\xE2\x86\x92 *>Caf\xC3\xA9 & co\xE2\x86\x92\n\n"
              "AT&T & a < b <AB\xC3\xBF \xC2\xA9\xC2\xACit;\n\nafter comment\n"
              "&unknown; \xC4\x80 \xEF\xBF\xBD &toolongentitynamethatnothingmatchesatall; &< &#;\n\n"
              "<* Two \xE2\x80\x94 x *>Two \xE2\x80\x94 x\n\n- one\n- two\n  3. a\n\n"
              "k\tv\n1\n\n a  b\n\nc\n\nend &quo\n");
    // Two pieces split anywhere, and one byte at a time with an empty piece after each: every
    // state is then both carried over and fed nothing.
    const std::size_t n = kPage.size();
    std::vector<std::vector<std::size_t>> cuttings;  // the sizes of the pieces
    for (std::size_t split = 0; split <= n; ++split) cuttings.push_back({split, n - split});
    cuttings.emplace_back(2 * n);
    for (std::size_t k = 0; k < 2 * n; k += 2) cuttings.back()[k] = 1;
    for (const bool utf8 : {false, true}) {
        for (const bool marks : {false, true}) {
            const std::string whole = Strip(kPage, utf8, marks);
            // One stripper for every cutting: each Finish leaves it as new, with its own settings.
            HtmlStripper stripper(utf8, marks);
            for (const auto& sizes : cuttings) {
                std::string out;
                std::size_t at = 0;
                for (const std::size_t size : sizes) {
                    stripper.Feed(std::string_view(kPage).substr(at, size), out);
                    at += size;
                }
                stripper.Finish(out);
                ASSERT_EQ(out, whole) << "UTF-8 " << utf8 << ", marks " << marks << ", " << sizes.size()
                                      << " pieces, the first of " << sizes[0];
            }
        }
    }
}

TEST(HtmlStripperChunks, LongElementsDeepNestingAndTheFuzzCorpusCostNoState) {
    // Whatever it holds between chunks must be a fixed few hundred bytes,
    // which rules out buffering a tag, comment, script or heading.
    EXPECT_LE(sizeof(HtmlStripper), 256u);

    const std::string filler(1 << 20, 'x');
    std::string deep;
    for (int i = 0; i < 1000000; ++i) deep += "<ol>";
    deep += "<li>deep";
    const std::string pieces[] = {"a<script>", filler, "</scr", filler, "</script>", "b<!--", filler, "--", filler,
                                  "-->", "c<p title=\"", filler, ">\">", "d<", filler, ">e", deep};
    HtmlStripper stripper;
    std::string out;
    for (const auto& piece : pieces) {
        for (std::size_t pos = 0; pos < piece.size(); pos += 4096) {
            stripper.Feed(std::string_view(piece).substr(pos, 4096), out);
        }
    }
    stripper.Finish(out);
    EXPECT_EQ(out, "abc\n\nde\n\n" + std::string(30, ' ') + "- deep\n");

    // Each seed of the fuzz corpus, whole, in either set, with and without
    // marks: quick, and never more than a few bytes of text per byte of markup.
    const auto corpus = std::filesystem::path(LUM2_TEST_DATA) / ".." / "fuzz" / "corpus" / "fuzz_html_stripper";
    int seeds = 0;
    for (const auto& entry : std::filesystem::directory_iterator(corpus)) {
        std::ifstream in(entry.path(), std::ios::binary);
        const std::string markup((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        const auto started = std::chrono::steady_clock::now();
        for (const bool utf8 : {false, true}) {
            for (const bool marks : {false, true}) {
                EXPECT_LE(Strip(markup, utf8, marks).size(), 16 * markup.size() + 64) << entry.path();
            }
        }
        EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(5)) << entry.path();
        ++seeds;
    }
    EXPECT_GE(seeds, 10);
}

}  // namespace
}  // namespace lum2
