// The text of the start-up download window.
#include "update/download_window.h"

#include <gtest/gtest.h>

TEST(DownloadWindowText, NamesTheVersionOrAQuestionMark) {
  const struct {
    const char* name;
    const char16_t* text;
  } cases[] = {
      {"1.2.0", u"Descargando la actualización 1.2.0…"},
      {"", u"Descargando la actualización ?…"},
      {"\xe9", u"Descargando la actualización é…"},  // 8-bit names read as Latin-1
  };
  for (const auto& c : cases) EXPECT_EQ(format_download_text(c.name), c.text) << c.name;
}
