#include "engine/html_stripper.h"

#include <gtest/gtest.h>

#include <cstddef>
#include <random>
#include <string>
#include <string_view>

namespace lum2 {
namespace {

std::string Strip(std::string_view html) {
    HtmlStripper stripper;
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

TEST(HtmlStripperMarkup, TagsAreRemovedAndBlockTagsBecomeLineEnds) {
    EXPECT_EQ(Strip("<b>bold</b> <i class=\"c\">it</i>"), "bold it");
    EXPECT_EQ(Strip("<p>one</p><br>two<br/><BR />three"), "\none\n\ntwo\n\nthree");
    EXPECT_EQ(Strip("<DIV id=a>x</Div><li>y<tr>z"), "\nx\n\ny\nz");
    EXPECT_EQ(Strip("<h1>a</h1><h2>b</h2><h3>c</h3><h4>d</h4><h5>e</h5><h6>f</h6>"),
              "\na\n\nb\n\nc\n\nd\n\ne\n\nf\n");
    // Names that merely start like a block tag, or are not one, add nothing.
    EXPECT_EQ(Strip("<pre>a</pre><b>b</b><hr>c<h7>d</h7><td>e</td><table>f<span>g"), "abcdefg");
    EXPECT_EQ(Strip("<brx>a<paragraph>b<divider>c<li-x>d"), "abcd");
}

TEST(HtmlStripperMarkup, QuotedAttributeValuesMayHoldGreaterThan) {
    EXPECT_EQ(Strip("<a title=\"x>y\" href='p>q'>link</a>"), "link");
    EXPECT_EQ(Strip("<p title = \"a>b\">t"), "\nt");
    // A quote that does not follow '=' opens no value, so the tag still ends.
    EXPECT_EQ(Strip("<p title=don't>text</p>rest"), "\ntext\nrest");
    EXPECT_EQ(Strip("<img alt=\"it's > that\">x"), "x");
}

TEST(HtmlStripperMarkup, LoneLessThanIsText) {
    EXPECT_EQ(Strip("a < b"), "a < b");
    EXPECT_EQ(Strip("1<2 and 3<=4 <3"), "1<2 and 3<=4 <3");
    EXPECT_EQ(Strip("x<<b>y"), "x<y");
    EXPECT_EQ(Strip("end <"), "end <");
    EXPECT_EQ(Strip("end </"), "end </");
    EXPECT_EQ(Strip("a</>b"), "ab");
}

TEST(HtmlStripperMarkup, ScriptAndStyleContentIsDropped) {
    EXPECT_EQ(Strip("a<script>if (x < 3 && y > 2) document.write('<p>');</script>b"), "ab");
    EXPECT_EQ(Strip("a<SCRIPT language=js>x</ScRiPt >b<Style>p > a {}</STYLE>c"), "abc");
    // Only the matching end tag ends the element.
    EXPECT_EQ(Strip("<script>x</style></scripts></scrip>y</script>z"), "z");
    EXPECT_EQ(Strip("<style>a</script>b</style>c"), "c");
    EXPECT_EQ(Strip("<script><</</script>z"), "z");
    EXPECT_EQ(Strip("<script>a<</script>z<style><</style>y"), "zy");
    // An end tag's own attributes, even quoted '>', are dropped with it.
    EXPECT_EQ(Strip("<script>x</script foo=\">\">z"), "z");
    // A self-closed script has no content to drop.
    EXPECT_EQ(Strip("<script src=\"a.js\"/>text"), "text");
    // A stray end tag drops nothing after it.
    EXPECT_EQ(Strip("a</script>b</style>c"), "abc");
    // An unclosed script swallows the rest.
    EXPECT_EQ(Strip("a<script>never closed <p>"), "a");
}

TEST(HtmlStripperMarkup, CommentsDeclarationsAndInstructionsAreRemoved) {
    EXPECT_EQ(Strip("a<!-- <p>hidden</p> > -> -- -->b"), "ab");
    EXPECT_EQ(Strip("a<!---->b<!-- x --->c<!-->d"), "abcd");
    EXPECT_EQ(Strip("<!DOCTYPE html PUBLIC \"-//W3C//DTD\">a<!doctype html>b"), "ab");
    EXPECT_EQ(Strip("<?xml version=\"1.0\"?>a<?php if ($a > 1) ?>b"), "ab");
    EXPECT_EQ(Strip("<!-x>a"), "a");
    EXPECT_EQ(Strip("a<!-- never closed <p>"), "a");
}

TEST(HtmlStripperEntities, KnownEntitiesBecomeSingleBytes) {
    EXPECT_EQ(Strip("&amp;&lt;&gt;&quot;&apos;"), "&<>\"'");
    EXPECT_EQ(Strip("a&nbsp;b"), "a b");
    EXPECT_EQ(Strip("&copy;&reg;"), "\xA9\xAE");
    EXPECT_EQ(Strip("&AMP;&LT;&GT;&QUOT;&COPY;&REG;"), "&<>\"\xA9\xAE");
    EXPECT_EQ(Strip("&#65;&#x42;&#X43;&#x6a;&#255;&#xFF;&#160;"), "ABCj\xFF\xFF\xA0");
    EXPECT_EQ(Strip("&#0000065;"), "A");
    EXPECT_EQ(Strip(std::string_view("&#0;", 4)), std::string(1, '\0'));
}

TEST(HtmlStripperEntities, AnythingElseStaysAsWritten) {
    EXPECT_EQ(Strip("AT&T"), "AT&T");
    EXPECT_EQ(Strip("a & b"), "a & b");
    EXPECT_EQ(Strip("&&amp;"), "&&");
    EXPECT_EQ(Strip("&amp"), "&amp");
    EXPECT_EQ(Strip("&amp &lt;"), "&amp <");
    EXPECT_EQ(Strip("&unknown; &Amp; &NBSP;"), "&unknown; &Amp; &NBSP;");
    EXPECT_EQ(Strip("&#256; &#x100; &#99999999;"), "&#256; &#x100; &#99999999;");
    EXPECT_EQ(Strip("&#; &#x; &#12a; &#xG1; &x#1;"), "&#; &#x; &#12a; &#xG1; &x#1;");
    // Eleven characters is beyond the bound, whatever follows.
    EXPECT_EQ(Strip("&#00000065;"), "&#00000065;");
    EXPECT_EQ(Strip("&toolongentityname;"), "&toolongentityname;");
    EXPECT_EQ(Strip("&amp<b>x"), "&ampx");
}

TEST(HtmlStripperText, LineEndsAndHighBytesPassThrough) {
    EXPECT_EQ(Strip("a\r\nb\rc\nd\te"), "a\r\nb\rc\nd\te");
    EXPECT_EQ(Strip("\xE9t\xE9 \x80\xFF"), "\xE9t\xE9 \x80\xFF");
    EXPECT_EQ(Strip(std::string_view("a\0b", 3)), std::string("a\0b", 3));
}

TEST(HtmlStripperChunks, AnySplitGivesTheWholeOutput) {
    const std::string whole = Strip(kTrickySample);
    // The sample must exercise the cases, not be swallowed by one of them.
    EXPECT_NE(whole.find("AT&T & a < b <AB\xFF \xA9\n"), std::string::npos);
    EXPECT_NE(whole.find("after comment\n"), std::string::npos);
    EXPECT_EQ(whole.find("if (a"), std::string::npos);
    EXPECT_EQ(whole.substr(whole.size() - 9), "\nend &quo");

    for (std::size_t split = 0; split <= kTrickySample.size(); ++split) {
        HtmlStripper stripper;
        std::string out;
        stripper.Feed(std::string_view(kTrickySample).substr(0, split), out);
        stripper.Feed(std::string_view(kTrickySample).substr(split), out);
        stripper.Finish(out);
        ASSERT_EQ(out, whole) << "split at " << split;
    }
    {
        HtmlStripper stripper;
        std::string out;
        for (const char c : kTrickySample) stripper.Feed(std::string_view(&c, 1), out);
        stripper.Finish(out);
        EXPECT_EQ(out, whole);
    }
    std::mt19937 random(7);
    for (int round = 0; round < 200; ++round) {
        HtmlStripper stripper;
        std::string out;
        std::size_t pos = 0;
        while (pos < kTrickySample.size()) {
            const std::size_t size = std::uniform_int_distribution<std::size_t>(0, 12)(random);
            stripper.Feed(std::string_view(kTrickySample).substr(pos, size), out);
            pos += size;
        }
        stripper.Finish(out);
        ASSERT_EQ(out, whole) << "round " << round;
    }
}

TEST(HtmlStripperChunks, EntitiesWaitForTheNextChunkAndFinishFlushesAndResets) {
    HtmlStripper stripper;
    std::string out;
    stripper.Feed("x &am", out);
    EXPECT_EQ(out, "x ");
    stripper.Feed("p; &#x4", out);
    stripper.Feed("1;", out);
    stripper.Finish(out);
    EXPECT_EQ(out, "x & A");
    out.clear();
    stripper.Feed("a <!-- open", out);
    stripper.Finish(out);
    EXPECT_EQ(out, "a ");
    out.clear();
    stripper.Feed("b &lt", out);
    stripper.Finish(out);
    EXPECT_EQ(out, "b &lt");
    out.clear();
    stripper.Feed("<p>c", out);
    stripper.Finish(out);
    EXPECT_EQ(out, "\nc");
}

TEST(HtmlStripperChunks, LongElementsCostNoState) {
    // Whatever it holds between chunks must fit in a few dozen bytes, which
    // rules out buffering a tag, comment or script.
    EXPECT_LE(sizeof(HtmlStripper), 64u);

    const std::string filler(1 << 20, 'x');
    const std::string pieces[] = {
        "a<script>", filler, "</scr", filler, "</script>",
        "b<!--", filler, "--", filler, "-->",
        "c<p title=\"", filler, ">\">",
        "d<", filler, ">e",
    };
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
