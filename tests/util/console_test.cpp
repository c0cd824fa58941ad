#include <gtest/gtest.h>

#include "util/Console.h"

namespace quillon {
namespace {

struct TerminalCase {
  std::string_view text;
  std::string_view shown;            // on a terminal that reads UTF-8
  std::string_view shown_code_page;  // on a console of the ANSI code page
};

TEST(Terminal, WhatATerminalWouldObeyIsWrittenOut) {
  const TerminalCase cases[] = {
      {"plain name.txt", "plain name.txt", "plain name.txt"},
      {"a\x1B]0;t\x07z\tq\x7F", "a\\x1B]0;t\\x07z\tq\\x7F", "a\\x1B]0;t\\x07z\tq\\x7F"},
      // An 8-bit terminal's OSC and ST, raw bytes outside any UTF-8 sequence.
      {"\x9D"
       "0;retitled\x9C",
       "\\x9D0;retitled\\x9C",
       "\x9D"
       "0;retitled\x9C"},
      {"\x80\xC2", "\\x80\xC2", "\x80\xC2"},
      // The same controls as UTF-8 characters, U+009D and U+009C, and U+0080 and U+009F.
      {"\xC2\x9D"
       "0;t\xC2\x9C",
       "\\u009D0;t\\u009C",
       "\xC2\x9D"
       "0;t\xC2\x9C"},
      {"\xC2\x80\xC2\x9F\xC2\xA0", "\\u0080\\u009F\xC2\xA0", "\xC2\x80\xC2\x9F\xC2\xA0"},
      // Continuation bytes of letters are no controls: \xC4\x9D is U+011D.
      {"\xC4\x9D\xE2\x82\xAC\xF0\x9F\x98\x80", "\xC4\x9D\xE2\x82\xAC\xF0\x9F\x98\x80",
       "\xC4\x9D\xE2\x82\xAC\xF0\x9F\x98\x80"},
      // Overlong and surrogate forms are no sequences: their 0x80 to 0x9F bytes are escaped.
      {"\xE0\x80\x9D\xED\x9F\xBF\xED\xA0\x80", "\xE0\\x80\\x9D\xED\x9F\xBF\xED\xA0\\x80",
       "\xE0\x80\x9D\xED\x9F\xBF\xED\xA0\x80"},
      // Overrides, embeddings and isolates, each end of both ranges; their neighbours stay.
      {"a\xE2\x80\xAE"
       "cod.exe  [reason]",
       "a\\u202Ecod.exe  [reason]",
       "a\xE2\x80\xAE"
       "cod.exe  [reason]"},
      {"\xE2\x80\xAA\xE2\x80\xAD\xE2\x81\xA6\xE2\x81\xA9", "\\u202A\\u202D\\u2066\\u2069",
       "\xE2\x80\xAA\xE2\x80\xAD\xE2\x81\xA6\xE2\x81\xA9"},
      {"\xE2\x80\xA9\xE2\x80\xAF\xE2\x81\xA5\xE2\x81\xAA",
       "\xE2\x80\xA9\xE2\x80\xAF\xE2\x81\xA5\xE2\x81\xAA",
       "\xE2\x80\xA9\xE2\x80\xAF\xE2\x81\xA5\xE2\x81\xAA"},
      // A sequence cut short by the end of the text.
      {"a\xE2\x80", "a\xE2\\x80", "a\xE2\x80"},
  };
  for (const TerminalCase& test : cases) {
    EXPECT_EQ(ShownOnTerminal(test.text), kTerminalReadsUtf8 ? test.shown : test.shown_code_page)
        << test.text;
  }
}

}  // namespace
}  // namespace quillon
