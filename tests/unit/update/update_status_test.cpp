// The status document of the update endpoint, case by case.
#include "update/update_status.h"

#include <gtest/gtest.h>

#include <string>

namespace {

LatestVersion latest(std::int32_t number, std::string name) {
  LatestVersion v;
  v.number = number;
  v.name = std::move(name);
  return v;
}

TEST(StatusDocument, EachCase) {
  struct Case {
    const char* what;
    bool check_ok;
    bool manifest_read;
    LatestVersion latest;
    std::int32_t current;
    const char* current_name;
    const char* document;
  };
  const Case cases[] = {
      {"host unreachable, nothing stored", false, false, latest(0, ""), 7, "1.0.7",
       R"({"current":7,"latest":7,"name":"1.0.7","available":false,"checked":false})"},
      {"unreachable after an earlier check stored a name", false, false, latest(12, "1.2.0"), 7, "1.0.7",
       R"({"current":7,"latest":7,"name":"1.2.0","available":false,"checked":false})"},
      {"a manifest without an archive for this program", false, true, latest(13, "1.3.0"), 7, "1.0.7",
       R"({"current":7,"latest":7,"name":"1.3.0","available":false,"checked":true})"},
      {"newer", true, true, latest(12, "1.2.0"), 7, "1.0.7",
       R"({"current":7,"latest":12,"name":"1.2.0","available":true,"checked":true})"},
      {"same version", true, true, latest(7, "1.0.7"), 7, "1.0.7",
       R"({"current":7,"latest":7,"name":"1.0.7","available":false,"checked":true})"},
      {"older", true, true, latest(5, "0.5"), 7, "1.0.7",
       R"({"current":7,"latest":5,"name":"0.5","available":false,"checked":true})"},
      {"newer without a name", true, true, latest(12, ""), 7, "1.0.7",
       R"({"current":7,"latest":12,"name":"1.0.7","available":true,"checked":true})"},
      {"negative current, signed comparison", true, true, latest(0, "0"), -3, "-3",
       R"({"current":-3,"latest":0,"name":"0","available":true,"checked":true})"},
      {"no version.txt: empty current name", false, false, latest(0, ""), 0, "",
       R"({"current":0,"latest":0,"name":"","available":false,"checked":false})"},
      {"backslash and control bytes are escaped", true, true, latest(9, "a\\b\x01\t\x1f\x7f\xc3\xa9"), 7,
       "1.0.7",
       "{\"current\":7,\"latest\":9,\"name\":\"a\\\\b\\u0001\\u0009\\u001f\x7f\xc3\xa9\",\"available\":true,"
       "\"checked\":true}"},
  };
  for (const Case& c : cases)
    EXPECT_EQ(format_status_document(c.check_ok, c.manifest_read, c.latest, c.current, c.current_name), c.document)
        << c.what;
}

TEST(StatusDocument, LongestNameStillFits) {
  // 30 bytes that each need six: the document must not be cut.
  const std::string doc =
      format_status_document(true, false, latest(INT32_MIN, std::string(30, '\x02')), INT32_MIN, "x");
  std::string name;
  for (int i = 0; i < 30; ++i) name += "\\u0002";
  EXPECT_EQ(doc, "{\"current\":-2147483648,\"latest\":-2147483648,\"name\":\"" + name +
                     "\",\"available\":false,\"checked\":false}");
  EXPECT_EQ(doc.size(), 268u);
}

}  // namespace
