// Splitting a Windows command line into arguments, as the C runtime of the
// started program would on Windows.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/posix/spawn.h"
#include "platform/text.h"

namespace {

struct SplitCase {
  const char16_t* line;
  std::vector<std::u16string> args;
};

const SplitCase kCases[] = {
    {u"", {}},
    {u"  \t ", {}},
    {u"prog", {u"prog"}},
    {u"  prog  a\tb  ", {u"prog", u"a", u"b"}},
    // The program name keeps its backslashes; quotes only group.
    {u"\"C:\\Program Files\\app.exe\" x", {u"C:\\Program Files\\app.exe", u"x"}},
    {u"C:\\dir\\\"quoted part\"\\app x", {u"C:\\dir\\quoted part\\app", u"x"}},
    // Backslashes stand for themselves unless a quote follows them.
    {u"p a\\\\b c\\", {u"p", u"a\\\\b", u"c\\"}},
    {u"p \"abc\" d e", {u"p", u"abc", u"d", u"e"}},
    {u"p d\"e f\"g h", {u"p", u"de fg", u"h"}},
    {u"p a\\\"b", {u"p", u"a\"b"}},
    {u"p a\\\\\\\"b", {u"p", u"a\\\"b"}},
    {u"p a\\\\\"b c\" d", {u"p", u"a\\b c", u"d"}},
    {u"p \"C:\\dir\\\" next", {u"p", u"C:\\dir\" next"}},
    // "" inside quotes is a literal quote and the quotes go on.
    {u"p a\"b\"\" c d", {u"p", u"ab\" c d"}},
    {u"p \"\" \"\"", {u"p", u"", u""}},
    {u"p \"unterminated arg", {u"p", u"unterminated arg"}},
    {u"\"C:\\Program Files\\Microsoft\\Edge\\Application\\msedge.exe\" --app=http://127.0.0.1:17865/ "
     u"--user-data-dir=\"C:\\Users\\u\\AppData\\Local\\Vesklar\\profile\" --no-first-run",
     {u"C:\\Program Files\\Microsoft\\Edge\\Application\\msedge.exe", u"--app=http://127.0.0.1:17865/",
      u"--user-data-dir=C:\\Users\\u\\AppData\\Local\\Vesklar\\profile", u"--no-first-run"}},
};

class CommandLineSplit : public ::testing::TestWithParam<SplitCase> {};

TEST_P(CommandLineSplit, FollowsTheWindowsRules) {
  EXPECT_EQ(platform::posix::split_command_line(GetParam().line), GetParam().args)
      << platform::utf16_to_utf8(GetParam().line);
}

INSTANTIATE_TEST_SUITE_P(Platform, CommandLineSplit, ::testing::ValuesIn(kCases));

}  // namespace
