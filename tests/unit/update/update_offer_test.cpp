// The start-up offer: when it asks, what it says, and what each answer and
// hand-off outcome leads to.
#include "update/update_offer.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

struct Recorder {
  bool answer_yes = false;
  bool install_ok = false;
  std::vector<std::u16string> asked;
  int installs = 0;
  std::vector<std::u16string> warnings;

  OfferActions actions() {
    OfferActions a;
    a.ask = [this](std::u16string_view text) {
      asked.emplace_back(text);
      return answer_yes;
    };
    a.install = [this] {
      ++installs;
      return install_ok;
    };
    a.warn = [this](std::u16string_view text) { warnings.emplace_back(text); };
    return a;
  }
};

LatestVersion latest(std::int32_t number, std::string name) {
  LatestVersion v;
  v.number = number;
  v.name = std::move(name);
  v.url = u"https://h/descargas/a.zip";
  return v;
}

TEST(StartupOffer, DecisionTable) {
  struct Case {
    const char* what;
    bool check_ok;
    std::int32_t latest, current;
    bool yes, install_ok;
    bool ends_process;
    int asked, installs, warnings;
  };
  const Case cases[] = {
      {"check failed", false, 12, 7, true, true, false, 0, 0, 0},
      {"same version", true, 7, 7, true, true, false, 0, 0, 0},
      {"older version", true, 5, 7, true, true, false, 0, 0, 0},
      {"signed comparison", true, 1, -1, false, false, false, 1, 0, 0},
      {"newer, No", true, 12, 7, false, true, false, 1, 0, 0},
      {"newer, Yes, hand-off done", true, 12, 7, true, true, true, 1, 1, 0},
      {"newer, Yes, hand-off failed", true, 12, 7, true, false, false, 1, 1, 1},
  };
  for (const Case& c : cases) {
    Recorder r;
    r.answer_yes = c.yes;
    r.install_ok = c.install_ok;
    EXPECT_EQ(offer_update(c.check_ok, latest(c.latest, "1.2.0"), c.current, r.actions()), c.ends_process) << c.what;
    EXPECT_EQ(int(r.asked.size()), c.asked) << c.what;
    EXPECT_EQ(r.installs, c.installs) << c.what;
    ASSERT_EQ(int(r.warnings.size()), c.warnings) << c.what;
    if (c.warnings) {
      EXPECT_EQ(r.warnings[0], u"No se pudo descargar la actualización.") << c.what;
    }
  }
}

TEST(StartupOffer, QuestionText) {
  struct Case {
    std::string name;
    std::u16string shown;
  };
  const Case cases[] = {
      {"1.2.0", u"1.2.0"},
      {"", u"?"},
      {"a\\b", u"a\\b"},
      {"\xe9", u"\u00e9"},  // 8-bit text, widened byte by byte
  };
  for (const Case& c : cases) {
    Recorder r;
    offer_update(true, latest(12, c.name), 7, r.actions());
    ASSERT_EQ(r.asked.size(), 1u);
    EXPECT_EQ(r.asked[0], u"Hay una versión nueva de Vesklar (" + c.shown +
                              u").\nSe descarga, se instala y se vuelve a abrir.");
  }
}

}  // namespace
