// The installer scripts and the command lines that start them.
#include "update/installer_script.h"

#include <gtest/gtest.h>

#include <string>

#include "platform/desktop.h"
#include "platform/text.h"
#include "support/sha256.h"

namespace {

TEST(Sha256, KnownDigests) {
  // The helper the script test relies on, checked against published values
  // (one block, two blocks with padding spilling over).
  EXPECT_EQ(sha256_hex(""), "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
  EXPECT_EQ(sha256_hex("abc"), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
  EXPECT_EQ(sha256_hex("abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq"),
            "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1");
}

TEST(PowerShellInstaller, IsTheExactText) {
  const std::string_view s = kPowerShellInstaller.script;
  EXPECT_EQ(s.size(), 1206u);
  EXPECT_EQ(sha256_hex(s), "c71e3f24ca651b0ed63c41d0359a81df542a8e2f2d977a69bb00b4689351f69f");
  // The shape behind the digest, so a failure says what went wrong.
  EXPECT_EQ(s.substr(0, s.find('\n') + 1), "param([int]$ProcId,[string]$Zip,[string]$Dest,[string]$Exe)\r\n");
  EXPECT_EQ(s.substr(s.size() - 3), "}\r\n");
  std::size_t lines = 0;
  for (std::size_t i = 0; i < s.size(); ++i) {
    if (s[i] == '\n') {
      ++lines;
      EXPECT_EQ(s[i - 1], '\r') << "line " << lines << " must end in CR LF";
    }
  }
  EXPECT_EQ(lines, 28u);
  EXPECT_EQ(s.find('"'), std::string_view::npos);
  EXPECT_NE(static_cast<unsigned char>(s[0]), 0xEF) << "no byte-order mark";
  EXPECT_EQ(kPowerShellInstaller.script_file, u"vesklar-update.ps1");
}

TEST(PowerShellInstaller, CommandLineQuotesEveryPathAsItIs) {
  InstallerArgs a;
  a.script = u"C:\\Users\\Ana O'Neil\\AppData\\Local\\Temp\\vesklar-update.ps1";
  a.pid = 4294967295u;
  a.zip = u"C:\\Users\\Ana O'Neil\\AppData\\Local\\Temp\\vesklar-update.zip";
  a.dest = u"D:\\Mis programas\\Vesklar";
  a.exe = u"D:\\Mis programas\\Vesklar\\Vesklar.exe";
  EXPECT_EQ(kPowerShellInstaller.command_line(a),
            u"powershell.exe -NoProfile -ExecutionPolicy Bypass -File "
            u"\"C:\\Users\\Ana O'Neil\\AppData\\Local\\Temp\\vesklar-update.ps1\" -ProcId 4294967295 "
            u"-Zip \"C:\\Users\\Ana O'Neil\\AppData\\Local\\Temp\\vesklar-update.zip\" "
            u"-Dest \"D:\\Mis programas\\Vesklar\" -Exe \"D:\\Mis programas\\Vesklar\\Vesklar.exe\"");
}

TEST(ShellInstaller, CommandLineHandsOverTheSameFourValues) {
  InstallerArgs a;
  a.script = u"\\tmp\\x y\\vesklar-update.sh";
  a.pid = 77;
  a.zip = u"\\tmp\\x y\\vesklar-update.zip";
  a.dest = u"\\opt\\it's\\Vesklar";
  a.exe = u"\\opt\\it's\\Vesklar\\vesklar";
  const auto p = [](const char16_t* path) { return platform::argument_path(path); };
  EXPECT_EQ(kShellInstaller.command_line(a), u"/bin/sh \"" + p(u"\\tmp\\x y\\vesklar-update.sh") + u"\" 77 \"" +
                                                 p(u"\\tmp\\x y\\vesklar-update.zip") + u"\" \"" +
                                                 p(u"\\opt\\it's\\Vesklar") + u"\" \"" +
                                                 p(u"\\opt\\it's\\Vesklar\\vesklar") + u"\"");
  EXPECT_EQ(kShellInstaller.script_file, u"vesklar-update.sh");
}

// The rules CommandLineToArgvW reads back, for the characters a folder name
// may hold; the POSIX layer's splitter reads them back the same way.
TEST(QuoteArgument, SurvivesTheWindowsCommandLineRules) {
  const struct {
    std::u16string_view arg, quoted;
  } cases[] = {
      {u"C:\\Tom's exe", u"\"C:\\Tom's exe\""},
      {u"C:\\a $HOME `pwd` \u00e9\u4e2d", u"\"C:\\a $HOME `pwd` \u00e9\u4e2d\""},
      {u"D:\\", u"\"D:\\\\\""},                             // a trailing backslash is doubled
      {u"/a \"b\" c", u"\"/a \\\"b\\\" c\""},                // a quote gets a backslash
      {u"/a\\\"b", u"\"/a\\\\\\\"b\""},                      // and the backslashes before it double
      {u"/a\\\\b", u"\"/a\\\\b\""},                          // backslashes elsewhere stay
      {u"", u"\"\""},
  };
  for (const auto& c : cases) EXPECT_EQ(quote_argument(c.arg), c.quoted) << platform::utf16_to_utf8(c.arg);
}

TEST(PowerShellInstaller, CommandLineForFoldersWithEveryCharacterAWindowsNameMayHold) {
  InstallerArgs a;
  a.script = u"C:\\Users\\O'Neil $x\\AppData\\Local\\Temp\\vesklar-update.ps1";
  a.pid = 9;
  a.zip = u"C:\\Users\\O'Neil $x\\AppData\\Local\\Temp\\vesklar-update.zip";
  a.dest = u"E:\\Tom's `exe` $(calc) \u00f1\u00e9 [1]";
  a.exe = u"E:\\Tom's `exe` $(calc) \u00f1\u00e9 [1]\\Vesklar.exe";
  EXPECT_EQ(kPowerShellInstaller.command_line(a),
            u"powershell.exe -NoProfile -ExecutionPolicy Bypass -File "
            u"\"C:\\Users\\O'Neil $x\\AppData\\Local\\Temp\\vesklar-update.ps1\" -ProcId 9 "
            u"-Zip \"C:\\Users\\O'Neil $x\\AppData\\Local\\Temp\\vesklar-update.zip\" "
            u"-Dest \"E:\\Tom's `exe` $(calc) \u00f1\u00e9 [1]\" "
            u"-Exe \"E:\\Tom's `exe` $(calc) \u00f1\u00e9 [1]\\Vesklar.exe\"");
  // A program at the root of a drive: the folder's backslash must not eat
  // its closing quote.
  a.dest = u"E:\\";
  a.exe = u"E:\\Vesklar.exe";
  const std::u16string line = kPowerShellInstaller.command_line(a);
  EXPECT_EQ(line.substr(line.find(u" -Dest ")), u" -Dest \"E:\\\\\" -Exe \"E:\\Vesklar.exe\"");
}

}  // namespace
