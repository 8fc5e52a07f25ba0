// The contract of the platform headers, checked on whichever system the test is built
// for. Both implementations must pass it unchanged: the portable code relies
// on the Windows file-sharing rules, the Windows path form and the exact
// limits of the text and environment helpers.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <ostream>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "platform/files.h"
#include "platform/handle.h"
#include "platform/https.h"
#include "platform/net.h"
#include "platform/process.h"
#include "platform/text.h"
#include "platform/threads.h"
#include "support/loopback.h"

namespace {

using platform::File;

std::u16string widen(const std::string& s) { return std::u16string(s.begin(), s.end()); }

// Removes a tree built by these tests (no links inside).
void remove_tree(const std::u16string& path) {
  std::vector<platform::FolderEntry> entries;
  platform::list_folder(path, [&](const platform::FolderEntry& e) {
    entries.push_back(e);
    return true;
  });
  for (const auto& e : entries) {
    if (e.name == u"." || e.name == u"..") continue;  // never climb out
    const std::u16string child = path + u"\\" + e.name;
    if (e.is_folder) {
      remove_tree(child);
    } else {
      platform::delete_file(child);
    }
  }
  // Under Wine a child process that has just ended may hold its current
  // folder a moment longer.
  for (int i = 0; i < 40 && !platform::remove_folder(path); ++i) platform::sleep_ms(50);
}

class PlatformFiles : public ::testing::Test {
 protected:
  void SetUp() override {
    static int serial = 0;
    const auto tmp = platform::temp_folder();
    ASSERT_TRUE(tmp.has_value());
    root_ = *tmp + u"vesklar-contract-" + widen(std::to_string(platform::current_process_id())) +
            u"-" + widen(std::to_string(platform::tick_ms())) + u"-" +
            widen(std::to_string(++serial));
    ASSERT_TRUE(platform::create_folder(root_));
  }
  void TearDown() override { remove_tree(root_); }

  std::u16string path(const std::u16string& name) const { return root_ + u"\\" + name; }

  void write(const std::u16string& p, const std::string& content) {
    File f = platform::create_always(p);
    ASSERT_TRUE(f.valid());
    std::uint32_t written = 0;
    ASSERT_TRUE(f.write(content.data(), static_cast<std::uint32_t>(content.size()), &written));
    ASSERT_EQ(written, content.size());
  }

  // Whole content, or "<missing>" when the file cannot be opened.
  std::string read(const std::u16string& p) {
    File f = platform::open_for_read(p);
    if (!f) return "<missing>";
    std::string out;
    char buf[64];
    std::uint32_t got = 0;
    while (f.read(buf, sizeof buf, &got) && got > 0) out.append(buf, got);
    return out;
  }

  std::u16string root_;
};

// ---------------------------------------------------------------------------
// Sharing rules: what may be done to a file while this process holds it open.

enum class Holder { reader, writer };
enum class Op { open_read, create_always, remove, move_away, replace_onto, replace_from };

struct SharingCase {
  const char* name;
  Holder holder;
  Op op;
  bool allowed;
};

void PrintTo(const SharingCase& c, std::ostream* os) { *os << c.name; }

class PlatformSharing : public PlatformFiles,
                        public ::testing::WithParamInterface<SharingCase> {};

TEST_P(PlatformSharing, OpenFileIsProtected) {
  const SharingCase& c = GetParam();
  const std::u16string held = path(u"held.txt");
  const std::u16string other = path(u"other.txt");
  const std::u16string moved = path(u"moved.txt");
  write(held, "held");
  write(other, "other");

  {
    File h = c.holder == Holder::reader ? platform::open_for_read(held)
                                        : platform::create_always(held);
    ASSERT_TRUE(h.valid());
    if (c.holder == Holder::writer) {
      std::uint32_t n = 0;
      ASSERT_TRUE(h.write("held", 4, &n));
    }

    bool done = false;
    switch (c.op) {
      case Op::open_read: done = platform::open_for_read(held).valid(); break;
      case Op::create_always: done = platform::create_always(held).valid(); break;
      case Op::remove: done = platform::delete_file(held); break;
      case Op::move_away: done = platform::move_file(held, moved); break;
      case Op::replace_onto: done = platform::replace_file(other, held); break;
      case Op::replace_from: done = platform::replace_file(held, other); break;
    }
    EXPECT_EQ(done, c.allowed);
    if (!c.allowed) {
      // A refused operation leaves both files exactly as they were.
      EXPECT_EQ(platform::file_attributes(moved), platform::kInvalidAttributes);
      EXPECT_EQ(read(other), "other");
    }
  }
  if (!c.allowed) {
    EXPECT_EQ(read(held), "held");
  }
}

INSTANTIATE_TEST_SUITE_P(
    Rules, PlatformSharing,
    ::testing::Values(SharingCase{"ReaderAllowsReader", Holder::reader, Op::open_read, true},
                      SharingCase{"ReaderBlocksCreate", Holder::reader, Op::create_always, false},
                      SharingCase{"ReaderBlocksDelete", Holder::reader, Op::remove, false},
                      SharingCase{"ReaderBlocksMove", Holder::reader, Op::move_away, false},
                      SharingCase{"ReaderBlocksReplaceOnto", Holder::reader, Op::replace_onto,
                                  false},
                      SharingCase{"ReaderBlocksReplaceFrom", Holder::reader, Op::replace_from,
                                  false},
                      SharingCase{"WriterBlocksReader", Holder::writer, Op::open_read, false},
                      SharingCase{"WriterBlocksCreate", Holder::writer, Op::create_always, false},
                      SharingCase{"WriterBlocksDelete", Holder::writer, Op::remove, false},
                      SharingCase{"WriterBlocksMove", Holder::writer, Op::move_away, false},
                      SharingCase{"WriterBlocksReplaceOnto", Holder::writer, Op::replace_onto,
                                  false},
                      SharingCase{"WriterBlocksReplaceFrom", Holder::writer, Op::replace_from,
                                  false}),
    [](const ::testing::TestParamInfo<SharingCase>& p) { return p.param.name; });

TEST_F(PlatformFiles, ClosedFileCanBeReplacedMovedAndDeleted) {
  const std::u16string a = path(u"a.txt");
  const std::u16string b = path(u"b.txt");
  write(a, "first");
  { File r = platform::open_for_read(a); }  // closed again at once
  write(b, "second");
  EXPECT_TRUE(platform::replace_file(b, a));
  EXPECT_EQ(read(a), "second");
  EXPECT_EQ(platform::file_attributes(b), platform::kInvalidAttributes);
  EXPECT_TRUE(platform::move_file(a, b));
  EXPECT_EQ(read(b), "second");
  EXPECT_TRUE(platform::delete_file(b));
  EXPECT_EQ(read(b), "<missing>");
  EXPECT_FALSE(platform::delete_file(b));
}

TEST_F(PlatformFiles, MoveRefusesAnExistingTarget) {
  write(path(u"from"), "from");
  write(path(u"to"), "to");
  EXPECT_FALSE(platform::move_file(path(u"from"), path(u"to")));
  EXPECT_EQ(read(path(u"from")), "from");
  EXPECT_EQ(read(path(u"to")), "to");
}

TEST_F(PlatformFiles, CopyReplacesAnExistingTarget) {
  write(path(u"from"), "new content");
  write(path(u"to"), "old");
  EXPECT_TRUE(platform::copy_file(path(u"from"), path(u"to")));
  EXPECT_EQ(read(path(u"to")), "new content");
  EXPECT_EQ(read(path(u"from")), "new content");
  EXPECT_FALSE(platform::copy_file(path(u"missing"), path(u"to")));
}

TEST_F(PlatformFiles, CreateNewAndCreateAlways) {
  const std::u16string p = path(u"f.bin");
  {
    File f = platform::create_new(p);
    ASSERT_TRUE(f.valid());
    EXPECT_FALSE(platform::create_new(p).valid());  // exists (and is held)
  }
  EXPECT_FALSE(platform::create_new(p).valid());  // exists
  write(p, "longer content");
  write(p, "x");  // create_always truncates
  EXPECT_EQ(read(p), "x");
  EXPECT_FALSE(platform::open_for_read(path(u"nothing")).valid());
}

TEST_F(PlatformFiles, ReadSeekAndSize) {
  const std::u16string p = path(u"data");
  write(p, "0123456789");
  File f = platform::open_for_read(p);
  ASSERT_TRUE(f.valid());
  EXPECT_TRUE(f.is_regular());
  std::int64_t size = -1;
  ASSERT_TRUE(f.size(&size));
  EXPECT_EQ(size, 10);
  ASSERT_TRUE(f.seek(7));
  char buf[8] = {};
  std::uint32_t got = 0;
  ASSERT_TRUE(f.read(buf, sizeof buf, &got));
  EXPECT_EQ(std::string(buf, got), "789");
  ASSERT_TRUE(f.read(buf, sizeof buf, &got));
  EXPECT_EQ(got, 0u);  // end of file
  std::uint32_t written = 1;
  EXPECT_FALSE(f.write("z", 1, &written));  // opened for reading only
}

TEST_F(PlatformFiles, AttributeWords) {
  write(path(u"file"), "x");
  ASSERT_TRUE(platform::create_folder(path(u"dir")));
  const std::uint32_t missing = platform::file_attributes(path(u"missing"));
  EXPECT_EQ(missing, platform::kInvalidAttributes);
  // Callers test only the folder bit, so a missing path must look like a folder.
  EXPECT_NE(missing & platform::kAttrDirectory, 0u);
  EXPECT_NE(platform::file_attributes(path(u"dir")) & platform::kAttrDirectory, 0u);
  EXPECT_NE(platform::file_attributes(path(u"dir")), platform::kInvalidAttributes);
  EXPECT_EQ(platform::file_attributes(path(u"file")) & platform::kAttrDirectory, 0u);
  EXPECT_EQ(platform::file_attributes(path(u"missing\\below")), platform::kInvalidAttributes);
}

TEST_F(PlatformFiles, FolderCreationAndRemoval) {
  const std::u16string dir = path(u"dir");
  EXPECT_TRUE(platform::create_folder(dir));
  EXPECT_FALSE(platform::create_folder(dir));  // exists
  EXPECT_FALSE(platform::create_folder(path(u"no\\such\\parent")));
  write(dir + u"\\inside", "x");
  EXPECT_FALSE(platform::remove_folder(dir));  // not empty
  EXPECT_NE(platform::file_attributes(dir), platform::kInvalidAttributes);
  EXPECT_TRUE(platform::delete_file(dir + u"\\inside"));
  EXPECT_TRUE(platform::remove_folder(dir));
  EXPECT_EQ(platform::file_attributes(dir), platform::kInvalidAttributes);
}

TEST_F(PlatformFiles, ListFolderNamesEntriesWithoutDots) {
  write(path(u"one.txt"), "1");
  write(path(u"two"), "2");
  ASSERT_TRUE(platform::create_folder(path(u"sub")));
  write(path(u"sub\\deeper"), "3");  // not listed: one level only

  std::set<std::pair<std::u16string, bool>> seen;
  bool any_link = false;
  const bool listed = platform::list_folder(root_, [&](const platform::FolderEntry& e) {
    any_link = any_link || e.is_link;
    seen.insert({e.name, e.is_folder});
    return true;
  });
  ASSERT_TRUE(listed);
  EXPECT_FALSE(any_link);
  const std::set<std::pair<std::u16string, bool>> want = {
      {u"one.txt", false}, {u"two", false}, {u"sub", true}};
  EXPECT_EQ(seen, want);

  int visits = 0;
  EXPECT_TRUE(platform::list_folder(root_, [&](const platform::FolderEntry&) {
    ++visits;
    return false;  // stop at the first entry
  }));
  EXPECT_EQ(visits, 1);

  EXPECT_FALSE(platform::list_folder(path(u"missing"), [](const platform::FolderEntry&) {
    return true;
  }));
}

// ---------------------------------------------------------------------------
// Text

struct Utf8Case {
  const char* name;
  std::string utf8;
  std::size_t max_units;
  std::optional<std::u16string> want;
};

void PrintTo(const Utf8Case& c, std::ostream* os) { *os << c.name; }

class PlatformUtf8 : public ::testing::TestWithParam<Utf8Case> {};

TEST_P(PlatformUtf8, ConvertsWithinTheLimit) {
  EXPECT_EQ(platform::utf8_to_utf16(GetParam().utf8, GetParam().max_units), GetParam().want);
}

INSTANTIATE_TEST_SUITE_P(
    Limits, PlatformUtf8,
    ::testing::Values(
        Utf8Case{"FitsExactly", "abc", 4, u"abc"}, Utf8Case{"OneUnitShort", "abc", 3, std::nullopt},
        Utf8Case{"EmptyFitsTerminator", "", 1, u""},
        Utf8Case{"EmptyWithoutRoom", "", 0, std::nullopt},
        Utf8Case{"TwoByteLetter", "\xC3\xA9t\xC3\xA9", 4, u"\u00E9t\u00E9"},
        Utf8Case{"SurrogatePairFits", "\xF0\x9F\x98\x80", 3, u"\U0001F600"},
        Utf8Case{"SurrogatePairOneShort", "\xF0\x9F\x98\x80", 2, std::nullopt},
        Utf8Case{"InvalidByteReplaced", "a\xFF" "b", 4, u"a\uFFFDb"},
        Utf8Case{"CutSequenceReplaced", "a\xC3", 3, u"a\uFFFD"},
        Utf8Case{"PathLimit", std::string(259, 'p'), platform::kPathUnits,
                 std::u16string(259, u'p')},
        Utf8Case{"PathLimitPlusOne", std::string(260, 'p'), platform::kPathUnits,
                 std::nullopt}),
    [](const ::testing::TestParamInfo<Utf8Case>& p) { return p.param.name; });

// ---------------------------------------------------------------------------
// Sockets

class PlatformSockets : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(platform::net_startup()); }
  void TearDown() override { platform::net_cleanup(); }
};

TEST_F(PlatformSockets, PairCarriesBytesBothWays) {
  platform::Socket a, b;
  ASSERT_TRUE(test_support::socket_pair(&a, &b));
  ASSERT_EQ(platform::send_some(a.get(), "ping", 4), 4);
  char buf[16];
  ASSERT_EQ(platform::recv_some(b.get(), buf, sizeof buf), 4);
  EXPECT_EQ(std::string(buf, 4), "ping");
  ASSERT_EQ(platform::send_some(b.get(), "pong!", 5), 5);
  ASSERT_EQ(platform::recv_some(a.get(), buf, sizeof buf), 5);
  EXPECT_EQ(std::string(buf, 5), "pong!");
  a.reset();
  EXPECT_EQ(platform::recv_some(b.get(), buf, sizeof buf), 0);  // peer closed
}

TEST_F(PlatformSockets, ReceiveTimeOutFails) {
  platform::Socket a, b;
  ASSERT_TRUE(test_support::socket_pair(&a, &b));
  platform::set_timeouts(b.get(), 100, 100);
  char buf[4];
  EXPECT_LT(platform::recv_some(b.get(), buf, sizeof buf), 0);
}

TEST_F(PlatformSockets, ListenerAcceptsOnItsPort) {
  platform::Socket listener = platform::tcp_socket();
  ASSERT_TRUE(listener.valid());
  EXPECT_TRUE(platform::set_listener_address_option(listener));
  ASSERT_TRUE(platform::bind_loopback(listener, "127.0.0.1", 0));
  EXPECT_NE(test_support::local_port(listener), 0);
  EXPECT_TRUE(platform::listen_on(listener, 4));
  EXPECT_FALSE(platform::bind_loopback(platform::tcp_socket(), "not an address", 0));
}

// Two listeners never share a port, yet a restart binds again at once even
// though the server closed its connections first (TIME_WAIT on its side).
TEST_F(PlatformSockets, ListenerPortIsExclusiveAndRebindsAfterServerClose) {
  platform::Socket first = platform::tcp_socket();
  ASSERT_TRUE(platform::set_listener_address_option(first));
  ASSERT_TRUE(platform::bind_loopback(first, "127.0.0.1", 0));
  const std::uint16_t port = test_support::local_port(first);
  ASSERT_TRUE(platform::listen_on(first, 4));

  platform::Socket intruder = platform::tcp_socket();
  platform::set_listener_address_option(intruder);
  EXPECT_FALSE(platform::bind_loopback(intruder, "127.0.0.1", port) && platform::listen_on(intruder, 4));
  intruder.reset();

  {
    platform::Socket client = platform::tcp_socket();
    ASSERT_TRUE(test_support::connect_loopback(client, "127.0.0.1", port));
    platform::Socket served = platform::accept_connection(first.get());
    ASSERT_TRUE(served.valid());
    served.reset();  // the server closes first, as every worker does
    char buf[1];
    EXPECT_EQ(platform::recv_some(client.get(), buf, 1), 0);
  }
  platform::close_listener(first);

  platform::Socket again = platform::tcp_socket();
  ASSERT_TRUE(platform::set_listener_address_option(again));
  EXPECT_TRUE(platform::bind_loopback(again, "127.0.0.1", port));
  EXPECT_TRUE(platform::listen_on(again, 4));
}

struct AcceptWatch {
  platform::NativeHandle listener;
  std::atomic<bool> entered{false};
  std::atomic<bool> got_socket{true};
};

TEST_F(PlatformSockets, ClosingTheListenerWakesABlockedAccept) {
  platform::Socket listener = platform::tcp_socket();
  ASSERT_TRUE(platform::bind_loopback(listener, "127.0.0.1", 0));
  ASSERT_TRUE(platform::listen_on(listener, 4));
  // Static: should accept never wake, the stuck thread must not outlive it.
  static AcceptWatch watch;
  watch.listener = listener.get();
  platform::Thread t = platform::start_thread(
      [](void* arg) {
        auto* w = static_cast<AcceptWatch*>(arg);
        w->entered = true;
        w->got_socket = platform::accept_connection(w->listener).valid();
      },
      &watch);
  ASSERT_TRUE(t.valid());
  while (!watch.entered) platform::sleep_ms(5);
  platform::sleep_ms(100);  // let it block inside accept
  platform::close_listener(listener);
  EXPECT_FALSE(listener.valid());
  ASSERT_TRUE(t.wait(10000));
  EXPECT_FALSE(watch.got_socket);
}

TEST_F(PlatformSockets, HttpsToAClosedPortFails) {
  std::uint16_t port = 0;
  {
    platform::Socket s = platform::tcp_socket();
    ASSERT_TRUE(platform::bind_loopback(s, "127.0.0.1", 0));
    port = test_support::local_port(s);
  }  // nothing listens there any more
  bool sink_called = false;
  const platform::HttpsResult r = platform::https_get(
      "127.0.0.1", port, u"/descargas/version.json", u"Vesklar", {2000, 2000, 2000, 2000},
      [&](const char*, std::size_t) {
        sink_called = true;
        return true;
      });
  EXPECT_FALSE(r.ok);
  EXPECT_EQ(r.status, 0);
  EXPECT_FALSE(sink_called);
}

TEST_F(PlatformSockets, HttpsProgressCancelsAWaitOnASilentHost) {
  // The host takes the connection and never says a word: only the time-outs
  // (30 s here) would end the wait, unless the watcher cancels it.
  platform::Socket listener = platform::tcp_socket();
  ASSERT_TRUE(platform::bind_loopback(listener, "127.0.0.1", 0));
  ASSERT_TRUE(platform::listen_on(listener, 4));
  constexpr std::uint32_t kCancelAfterMs = 300;
  constexpr std::uint32_t kPromptMs = 3000;
  const std::uint32_t start = platform::tick_ms();
  int asked = 0;
  bool sink_called = false;
  const platform::HttpsResult r = platform::https_get(
      "127.0.0.1", test_support::local_port(listener), u"/descargas/a.zip", u"Vesklar", {30000, 30000, 30000, 30000},
      [&](const char*, std::size_t) {
        sink_called = true;
        return true;
      },
      [&](std::uint64_t received, std::uint64_t total) {
        ++asked;
        EXPECT_EQ(received, 0u);
        EXPECT_EQ(total, platform::kHttpsLengthUnknown);
        return platform::tick_ms() - start < kCancelAfterMs;
      });
  const std::uint32_t took = platform::tick_ms() - start;
  EXPECT_FALSE(r.ok);
  EXPECT_FALSE(sink_called);
  EXPECT_GE(asked, 2) << "the watcher was not asked while the host was silent";
  EXPECT_GE(took, kCancelAfterMs);
  EXPECT_LT(took, kPromptMs) << "the cancel was not honoured promptly";
}

// ---------------------------------------------------------------------------
// Threads and time

TEST(PlatformThreads, WaitReportsWhetherTheThreadEnded) {
  std::atomic<bool> go{false};
  std::atomic<bool> done{false};
  struct Args {
    std::atomic<bool>* go;
    std::atomic<bool>* done;
  } args{&go, &done};
  platform::Thread t = platform::start_thread(
      [](void* p) {
        auto* a = static_cast<Args*>(p);
        while (!*a->go) platform::sleep_ms(1);
        *a->done = true;
      },
      &args);
  ASSERT_TRUE(t.valid());
  EXPECT_FALSE(t.wait(20));  // still waiting for `go`
  go = true;
  ASSERT_TRUE(t.wait(10000));
  EXPECT_TRUE(done);
  EXPECT_TRUE(t.wait(0));  // stays ended
}

TEST(PlatformThreads, DetachedThreadRuns) {
  std::atomic<int> value{0};
  ASSERT_TRUE(platform::start_detached_thread(
      [](void* p) { static_cast<std::atomic<int>*>(p)->store(42); }, &value, 256 * 1024));
  for (int i = 0; i < 1000 && value == 0; ++i) platform::sleep_ms(5);
  EXPECT_EQ(value, 42);
}

TEST(PlatformThreads, TickCounterMovesForward) {
  const std::uint32_t t0 = platform::tick_ms();
  platform::sleep_ms(200);
  const std::uint32_t t1 = platform::tick_ms();
  // Modulo-2^32 difference, the way callers compare ticks; the counter may
  // advance in steps of a few tens of milliseconds.
  const auto elapsed = static_cast<std::int32_t>(t1 - t0);
  EXPECT_GE(elapsed, 150);
}

// ---------------------------------------------------------------------------
// Environment and places

TEST(PlatformEnvironment, ValueMustFitWithItsTerminator) {
  EXPECT_FALSE(platform::env_value(u"VESKLAR_CONTRACT_SURELY_UNSET", 260).has_value());
  const auto path = platform::env_value(u"PATH", 32767);
  ASSERT_TRUE(path.has_value());
  ASSERT_FALSE(path->empty());
  EXPECT_EQ(platform::env_value(u"PATH", path->size() + 1), path);
  EXPECT_FALSE(platform::env_value(u"PATH", path->size()).has_value());
}

TEST(PlatformEnvironment, ExpandsTheWindowsWay) {
  const auto path = platform::env_value(u"PATH", 32767);
  ASSERT_TRUE(path.has_value());
  EXPECT_EQ(platform::expand_env(u"<%PATH%>", 32767), u"<" + *path + u">");
  EXPECT_EQ(platform::expand_env(u"%VESKLAR_CONTRACT_SURELY_UNSET%\\x", 260),
            u"%VESKLAR_CONTRACT_SURELY_UNSET%\\x");
  EXPECT_EQ(platform::expand_env(u"abc", 4), u"abc");
  EXPECT_FALSE(platform::expand_env(u"abc", 3).has_value());
}

TEST(PlatformEnvironment, ExePathReportsACut) {
  const platform::ExePath full = platform::exe_path(platform::kPathUnits);
  ASSERT_GT(full.length, 4u);
  ASSERT_LT(full.length, platform::kPathUnits);  // the build folder is not that deep
  EXPECT_EQ(full.path.size(), full.length);
  EXPECT_NE(full.path.find(u'\\'), std::u16string::npos);  // Windows form

  const platform::ExePath cut = platform::exe_path(full.length);
  EXPECT_EQ(cut.length, full.length);  // the buffer size: it was cut
  EXPECT_EQ(cut.path, full.path.substr(0, full.length - 1));
}

TEST(PlatformEnvironment, TempFolderEndsWithASeparator) {
  const auto tmp = platform::temp_folder();
  ASSERT_TRUE(tmp.has_value());
  ASSERT_FALSE(tmp->empty());
  EXPECT_EQ(tmp->back(), u'\\');
  EXPECT_NE(platform::file_attributes(*tmp) & platform::kAttrDirectory, 0u);
  EXPECT_NE(platform::file_attributes(*tmp), platform::kInvalidAttributes);
}

TEST(PlatformInstance, SecondAcquireSeesTheFirst) {
  const std::u16string name =
      u"Local\\VesklarContract-" + widen(std::to_string(platform::current_process_id()));
  platform::InstanceLock first;
  ASSERT_EQ(platform::acquire_instance_lock(name, &first), platform::InstanceResult::acquired);
  {
    platform::InstanceLock second;
    EXPECT_EQ(platform::acquire_instance_lock(name, &second),
              platform::InstanceResult::already_running);
    second.release();
  }
  first.release();
  platform::InstanceLock third;
  EXPECT_EQ(platform::acquire_instance_lock(name, &third), platform::InstanceResult::acquired);
  third.release();
}

// ---------------------------------------------------------------------------
// Processes

TEST_F(PlatformFiles, StartProcessRunsAProgramAndWaits) {
  // The test program itself, asked to list a test that does not exist, is a
  // program that exists on every system and ends at once.
  const platform::ExePath self = platform::exe_path(platform::kPathUnits);
  ASSERT_GT(self.length, 0u);
  const std::u16string command =
      u"\"" + self.path + u"\" --gtest_list_tests --gtest_filter=NoSuchSuite.NoSuchTest";
  platform::ProcessOptions options;
  options.hidden = true;
  options.no_window = true;
  options.current_folder = &root_;
  platform::Process p = platform::start_process(command, options);
  ASSERT_TRUE(p.valid());
  EXPECT_TRUE(platform::wait_process(p, 60000));

  const std::u16string missing = u"\"" + path(u"no-such-program.exe") + u"\" --flag";
  EXPECT_FALSE(platform::start_process(missing, platform::ProcessOptions{}).valid());
}

}  // namespace
