// Starting programs from Windows-form command lines and waiting for them;
// the message box and the default handler, with stand-ins for the desktop
// tools.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>

#include <cstdlib>
#include <string>

#include "platform/file_text.h"
#include "platform/posix/posix_path.h"
#include "platform/posix/scoped_env.h"
#include "platform/process.h"
#include "platform/threads.h"
#include "platform/ui.h"
#include "support/temp_dir.h"

namespace {

using platform::posix::to_native;
using platform_test::read_text;
using platform_test::ScopedEnv;

platform::Process run_in(const TempDir& dir, const std::u16string& line) {
  platform::ProcessOptions options;
  options.hidden = true;
  options.no_window = true;
  options.current_folder = &dir.path();
  return platform::start_process(line, options);
}

TEST(StartProcess, PassesArgumentsSplitTheWindowsWay) {
  TempDir dir;
  // The program path is converted; the arguments, backslashes included, are not.
  platform::Process p = run_in(
      dir, u"\\bin\\sh -c \"for a; do printf '[%s]' \\\"$a\\\"; done > args.txt\" sh a\\b \"c d\" \"\" \\\"q");
  ASSERT_TRUE(p.valid());
  ASSERT_TRUE(platform::wait_process(p, 10000));
  EXPECT_EQ(read_text(dir / u"args.txt"), "[a\\b][c d][][\"q]");
}

TEST(StartProcess, FailsWhenTheProgramOrFolderIsMissing) {
  TempDir dir;
  EXPECT_FALSE(run_in(dir, u"vesklar-no-such-program --flag").valid());
  EXPECT_FALSE(run_in(dir, u"\\bin\\vesklar-no-such-program").valid());
  EXPECT_FALSE(run_in(dir, u"").valid());
  const std::u16string missing = dir / u"missing";
  platform::ProcessOptions options;
  options.current_folder = &missing;
  EXPECT_FALSE(platform::start_process(u"sh -c true", options).valid());
}

TEST(StartProcess, ChildGetsDefaultSigpipeHandling) {
  struct sigaction ignore {}, old {};
  ignore.sa_handler = SIG_IGN;
  sigaction(SIGPIPE, &ignore, &old);  // as the launcher does
  TempDir dir;
  platform::Process p = run_in(dir, u"sh -c \"grep SigIgn /proc/self/status > sig.txt\"");
  sigaction(SIGPIPE, &old, nullptr);
  ASSERT_TRUE(p.valid());
  ASSERT_TRUE(platform::wait_process(p, 10000));
  const std::string line = read_text(dir / u"sig.txt");
  ASSERT_EQ(line.rfind("SigIgn:", 0), 0u) << line;
  const unsigned long long ignored = std::strtoull(line.c_str() + 7, nullptr, 16);
  EXPECT_EQ(ignored & (1ull << (SIGPIPE - 1)), 0u) << line;
}

TEST(WaitProcess, TimesOutWhileRunningAndSeesTheEnd) {
  TempDir dir;
  platform::Process p = run_in(dir, u"sh -c \"while [ ! -e go ]; do sleep 0.02; done\"");
  ASSERT_TRUE(p.valid());
  EXPECT_FALSE(platform::wait_process(p, 50));
  EXPECT_FALSE(platform::wait_process(p, 0));
  TempDir::write(dir / u"go", "");
  EXPECT_TRUE(platform::wait_process(p, 10000));
  EXPECT_TRUE(platform::wait_process(p, 0));  // still reports the end until closed
  EXPECT_FALSE(platform::wait_process(platform::Process(), 0));
}

// A stand-in for a desktop tool: records its arguments, one per '|', in
// `record` and ends with `status`. Uses shell built-ins only, so PATH may
// hold nothing but its folder.
void make_fake_tool(const std::u16string& path, const std::u16string& record, int status) {
  const std::string script = "#!/bin/sh\nfor a; do printf '%s|' \"$a\"; done > '" + to_native(record) +
                             "'\nexit " + std::to_string(status) + "\n";
  TempDir::write(path, script);
  ASSERT_EQ(::chmod(to_native(path).c_str(), 0755), 0);
}

struct BoxCase {
  const char* name;
  const char* display;
  const char* wayland;
  const char16_t* tool;  // fake tool on PATH, or nullptr for none
  int tool_status;
  platform::BoxIcon icon;
  platform::BoxButtons buttons;
  platform::BoxAnswer answer;
  const char* recorded;  // the tool's arguments, or "<missing>" when it must not run
};

using platform::BoxAnswer;
using platform::BoxButtons;
using platform::BoxIcon;

const BoxCase kBoxCases[] = {
    {"NoDisplayDeclines", nullptr, nullptr, u"zenity", 0, BoxIcon::question, BoxButtons::yes_no, BoxAnswer::no,
     "<missing>"},
    {"NoToolDeclines", ":0", nullptr, nullptr, 0, BoxIcon::question, BoxButtons::yes_no, BoxAnswer::no,
     "<missing>"},
    {"ZenityYes", ":0", nullptr, u"zenity", 0, BoxIcon::information, BoxButtons::yes_no, BoxAnswer::yes,
     "--question|--no-markup|--title=Cap\xC3\xADtulo|--text=www\\index.html\n2|"},
    {"ZenityNo", nullptr, "wayland-0", u"zenity", 1, BoxIcon::information, BoxButtons::yes_no, BoxAnswer::no,
     "--question|--no-markup|--title=Cap\xC3\xADtulo|--text=www\\index.html\n2|"},
    {"ZenityError", ":0", nullptr, u"zenity", 1, BoxIcon::error, BoxButtons::ok, BoxAnswer::ok,
     "--error|--no-markup|--title=Cap\xC3\xADtulo|--text=www\\index.html\n2|"},
    {"KdialogYes", ":0", nullptr, u"kdialog", 0, BoxIcon::question, BoxButtons::yes_no, BoxAnswer::yes,
     "--title|Cap\xC3\xADtulo|--yesno|www\\index.html\n2|"},
};

class MessageBox : public ::testing::TestWithParam<BoxCase> {};

TEST_P(MessageBox, WritesStderrAndAsksADesktopToolWhenThereIsOne) {
  const BoxCase& c = GetParam();
  TempDir dir;
  if (c.tool) make_fake_tool(dir / c.tool, dir / u"args.txt", c.tool_status);
  ScopedEnv env{{"DISPLAY", c.display}, {"WAYLAND_DISPLAY", c.wayland}, {"PATH", to_native(dir.path()).c_str()}};
  ::testing::internal::CaptureStderr();
  const BoxAnswer answer = platform::message_box(u"Cap\u00EDtulo", u"www\\index.html\n2", c.icon, c.buttons);
  EXPECT_EQ(::testing::internal::GetCapturedStderr(), "Cap\xC3\xADtulo: www\\index.html\n2\n");
  EXPECT_EQ(answer, c.answer);
  EXPECT_EQ(read_text(dir / u"args.txt"), c.recorded);
}

INSTANTIATE_TEST_SUITE_P(Platform, MessageBox, ::testing::ValuesIn(kBoxCases),
                         [](const auto& p) { return std::string(p.param.name); });

TEST(DefaultHandler, HandsTheUrlToXdgOpenWithoutWaitingForIt) {
  TempDir dir;
  make_fake_tool(dir / u"xdg-open", dir / u"args.txt", 0);
  ScopedEnv env{{"PATH", to_native(dir.path()).c_str()}};
  platform::open_with_default_handler(u"http://127.0.0.1:17865/?a=1&b='2' $HOME");
  std::string got;
  for (int i = 0; i < 1000 && (got = read_text(dir / u"args.txt")).find('|') == std::string::npos; ++i) {
    platform::sleep_ms(10);
  }
  EXPECT_EQ(got, "http://127.0.0.1:17865/?a=1&b='2' $HOME|");
}

}  // namespace
