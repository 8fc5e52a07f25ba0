// Failed platform calls say why, in the same kind on both systems: the
// kinds that callers decide on (a missing file, a taken name, a file held
// by someone else) and the accept loop's transient failure.
#include <gtest/gtest.h>

#include <string>

#include "platform/error.h"
#include "platform/files.h"
#include "platform/net.h"
#include "support/temp_dir.h"

namespace {

using platform::ErrorKind;

struct Paths {
  std::u16string file, other, missing;
};

struct FailureCase {
  const char* name;
  // Holds `file` open as the case needs, then makes the failing call.
  bool (*call)(const Paths& p, platform::Error* error);
  ErrorKind kind;
};

bool held_for(const Paths& p, bool writing, bool (*then)(const Paths&, platform::Error*), platform::Error* error) {
  platform::File held = writing ? platform::create_always(p.file) : platform::open_for_read(p.file);
  EXPECT_TRUE(held.valid());
  return then(p, error);
}

const FailureCase kFailures[] = {
    {"OpenMissing", [](const Paths& p, platform::Error* e) { return platform::open_for_read(p.missing, e).valid(); },
     ErrorKind::not_found},
    {"CreateNewOnExisting", [](const Paths& p, platform::Error* e) { return platform::create_new(p.file, e).valid(); },
     ErrorKind::exists},
    {"DeleteMissing", [](const Paths& p, platform::Error* e) { return platform::delete_file(p.missing, e); },
     ErrorKind::not_found},
    {"MoveOntoExisting", [](const Paths& p, platform::Error* e) { return platform::move_file(p.other, p.file, e); },
     ErrorKind::exists},
    {"CopyMissing", [](const Paths& p, platform::Error* e) { return platform::copy_file(p.missing, p.other, e); },
     ErrorKind::not_found},
    {"OpenWhileWritten",
     [](const Paths& p, platform::Error* e) {
       return held_for(p, true, [](const Paths& q, platform::Error* f) { return platform::open_for_read(q.file, f).valid(); }, e);
     },
     ErrorKind::busy},
    {"CreateAlwaysWhileRead",
     [](const Paths& p, platform::Error* e) {
       return held_for(p, false, [](const Paths& q, platform::Error* f) { return platform::create_always(q.file, f).valid(); }, e);
     },
     ErrorKind::busy},
    {"DeleteWhileRead",
     [](const Paths& p, platform::Error* e) {
       return held_for(p, false, [](const Paths& q, platform::Error* f) { return platform::delete_file(q.file, f); }, e);
     },
     ErrorKind::busy},
    // Windows answers a replace onto an open target with access denied.
    {"ReplaceOntoRead",
     [](const Paths& p, platform::Error* e) {
       return held_for(p, false, [](const Paths& q, platform::Error* f) { return platform::replace_file(q.other, q.file, f); }, e);
     },
     ErrorKind::other},
    {"ReplaceFromRead",
     [](const Paths& p, platform::Error* e) {
       return held_for(p, false, [](const Paths& q, platform::Error* f) { return platform::replace_file(q.file, q.other, f); }, e);
     },
     ErrorKind::busy},
    {"MoveWhileWritten",
     [](const Paths& p, platform::Error* e) {
       return held_for(p, true, [](const Paths& q, platform::Error* f) { return platform::move_file(q.file, q.missing, f); }, e);
     },
     ErrorKind::busy},
};

class FailureKind : public ::testing::TestWithParam<FailureCase> {};

TEST_P(FailureKind, IsReported) {
  TempDir dir;
  const Paths paths{dir / u"file", dir / u"other", dir / u"missing"};
  TempDir::write(paths.file, "file");
  TempDir::write(paths.other, "other");
  platform::Error error;
  ASSERT_FALSE(GetParam().call(paths, &error));
  EXPECT_EQ(error.kind, GetParam().kind) << platform::describe(error);
  EXPECT_NE(error.code, 0);
}

INSTANTIATE_TEST_SUITE_P(Platform, FailureKind, ::testing::ValuesIn(kFailures),
                         [](const auto& p) { return std::string(p.param.name); });

TEST(FailureKind, SuccessLeavesTheErrorAlone) {
  TempDir dir;
  TempDir::write(dir / u"file", "file");
  platform::Error error{ErrorKind::other, 1};
  EXPECT_TRUE(platform::open_for_read(dir / u"file", &error).valid());
  EXPECT_TRUE(platform::copy_file(dir / u"file", dir / u"copy", &error));
  EXPECT_EQ(error.kind, ErrorKind::other);
  EXPECT_EQ(error.code, 1);
}

// A listener that is gone is no pause: the accept loop must end, not retry.
TEST(AcceptFailure, OnASocketThatDoesNotListenIsNotTransient) {
  ASSERT_TRUE(platform::net_startup());
  {
    platform::Socket s = platform::tcp_socket();
    ASSERT_TRUE(s.valid());
    platform::Error error;
    EXPECT_FALSE(platform::accept_connection(s.get(), &error).valid());
    EXPECT_EQ(error.kind, ErrorKind::other) << platform::describe(error);
    EXPECT_NE(error.code, 0);
  }
  platform::net_cleanup();
}

}  // namespace
