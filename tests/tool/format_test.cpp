// How the tool shows names and values: JSON strings that carry every byte
// (UTF-8 as is, other bytes as lone surrogates), and the plain listing's
// escapes.
#include <gtest/gtest.h>

#include <string>

#include "escape.h"
#include "json.h"

namespace {

std::string Json(const std::string& bytes) {
    std::string out;
    ulvex_cli::AppendJson(out, bytes);
    return out;
}

TEST(JsonString, EscapesQuoteBackslashAndControls) {
    EXPECT_EQ(Json("a\"b\\"), R"("a\"b\\")");
    EXPECT_EQ(Json(std::string("\0\x01\x1f", 3)), R"("\u0000\u0001\u001f")");
    EXPECT_EQ(Json("\b\f\n\r\t"), R"("\b\f\n\r\t")");
    EXPECT_EQ(Json(" ~\x7f"), R"(" ~\u007f")");
}

TEST(JsonString, KeepsWellFormedUtf8AtEveryLengthBoundary) {
    for (const char* s : {"\xc2\x80", "\xdf\xbf", "\xe0\xa0\x80", "\xed\x9f\xbf", "\xee\x80\x80", "\xef\xbf\xbf",
                          "\xf0\x90\x80\x80", "\xf4\x8f\xbf\xbf"})
        EXPECT_EQ(Json(s), "\"" + std::string(s) + "\"");
}

TEST(JsonString, TurnsEachByteOfMalformedUtf8IntoALoneSurrogate) {
    EXPECT_EQ(Json("\xc1\xbf"), R"("\udcc1\udcbf")");                      // overlong 2-byte
    EXPECT_EQ(Json("\xe0\x9f\xbf"), R"("\udce0\udc9f\udcbf")");            // overlong 3-byte
    EXPECT_EQ(Json("\xed\xa0\x80"), R"("\udced\udca0\udc80")");            // U+D800
    EXPECT_EQ(Json("\xf4\x90\x80\x80"), R"("\udcf4\udc90\udc80\udc80")");  // U+110000
    EXPECT_EQ(Json("\x80"), R"("\udc80")");                                // a stray continuation byte
}

TEST(JsonString, CutSequenceIsEscapedAndWhatFollowsIsKept) {
    EXPECT_EQ(Json("\xe2\x82"), R"("\udce2\udc82")");  // cut by the end
    EXPECT_EQ(Json("\xe2\x82"
                   "A\xc3\xa9"),
              "\"\\udce2\\udc82A\xc3\xa9\"");
    EXPECT_EQ(Json("\xf0\x9f\x98"
                   "\xf0\x9f\x98\x80"),
              "\"\\udcf0\\udc9f\\udc98\xf0\x9f\x98\x80\"");
    EXPECT_EQ(Json("\xc3\"x"), R"("\udcc3\"x")");  // a quote never joins a sequence
}

TEST(PlainEscape, ShowsPrintableUtf8AndEscapesEverythingElse) {
    EXPECT_EQ(ulvex_cli::Escape("caf\xc3\xa9 \xe2\x82\xac \xf0\x9f\x98\x80", false),
              "caf\xc3\xa9 \xe2\x82\xac \xf0\x9f\x98\x80");
    EXPECT_EQ(ulvex_cli::Escape("\xc2\x85", false), "\\xc2\\x85");           // C1 control NEL
    EXPECT_EQ(ulvex_cli::Escape("\xe2\x80\xae", false), "\\xe2\\x80\\xae");  // right-to-left override
    EXPECT_EQ(ulvex_cli::Escape("\xed\xa0\x80", false), "\\xed\\xa0\\x80");  // surrogate
    EXPECT_EQ(ulvex_cli::Escape(std::string("\0\n\x7f", 3), false), "\\x00\\x0a\\x7f");
}

TEST(PlainEscape, EscapesBackslashAlwaysAndQuoteOnlyInNames) {
    EXPECT_EQ(ulvex_cli::Escape("a\\\"", true), "a\\x5c\\x22");
    EXPECT_EQ(ulvex_cli::Escape("a\\\"", false), "a\\x5c\"");
}

}  // namespace
