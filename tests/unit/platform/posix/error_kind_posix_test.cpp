// The errno table: every number the kinds name, and one that is none of them.
#include <gtest/gtest.h>

#include <cerrno>

#include "platform/error.h"

namespace {

using platform::ErrorKind;

struct KindCase {
  int code;
  ErrorKind kind;
};

const KindCase kKinds[] = {
    {0, ErrorKind::none},
    {ENOENT, ErrorKind::not_found},      {ENOTDIR, ErrorKind::not_found},
    {EEXIST, ErrorKind::exists},         {ENOTEMPTY, ErrorKind::exists},
    {EBUSY, ErrorKind::busy},            {ETXTBSY, ErrorKind::busy},           {EAGAIN, ErrorKind::busy},
    {ENOSPC, ErrorKind::no_space},       {EDQUOT, ErrorKind::no_space},        {EFBIG, ErrorKind::no_space},
    {EMFILE, ErrorKind::transient},      {ENFILE, ErrorKind::transient},       {ENOBUFS, ErrorKind::transient},
    {ENOMEM, ErrorKind::transient},      {EINTR, ErrorKind::transient},        {ECONNABORTED, ErrorKind::transient},
    {EACCES, ErrorKind::other},          {EPERM, ErrorKind::other},            {EIO, ErrorKind::other},
    {EISDIR, ErrorKind::other},          {EINVAL, ErrorKind::other},
};

TEST(ErrorKindPosix, EveryErrnoHasItsKind) {
  for (const KindCase& c : kKinds) {
    EXPECT_EQ(platform::error_kind_of(c.code), c.kind) << "errno " << c.code;
  }
}

TEST(ErrorKindPosix, LastErrorReadsErrno) {
  errno = ENOSPC;
  const platform::Error e = platform::last_error();
  EXPECT_EQ(e.kind, ErrorKind::no_space);
  EXPECT_EQ(e.code, ENOSPC);
  EXPECT_EQ(platform::describe(e).rfind("no_space (" + std::to_string(ENOSPC) + ": ", 0), 0u) << platform::describe(e);
}

}  // namespace
