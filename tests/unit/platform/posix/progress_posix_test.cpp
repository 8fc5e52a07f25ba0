// The progress window without a desktop: lines on standard error, one per
// change of the whole percentage, ending at 100 %.
#include <gtest/gtest.h>

#include <string>

#include "platform/ui.h"
#include "scoped_env.h"

namespace {

std::string lines_for(std::initializer_list<std::pair<std::uint64_t, std::uint64_t>> reports) {
  platform_test::ScopedEnv no_desktop({{"DISPLAY", nullptr}, {"WAYLAND_DISPLAY", nullptr}});
  testing::internal::CaptureStderr();
  {
    platform::ProgressWindow window(u"Actualización", u"Descargando la actualización 1.2.0…", u"Cancelar",
                                    [] { ADD_FAILURE() << "nobody can cancel without a window"; });
    for (const auto& [done, total] : reports) window.set_progress(done, total);
  }
  return testing::internal::GetCapturedStderr();
}

TEST(ProgressWithoutDesktop, PercentLinesReachOneHundred) {
  const std::string text = "Descargando la actualización 1.2.0…";
  EXPECT_EQ(lines_for({{0, 3000000}, {10000, 3000000}, {1500000, 3000000}, {1500001, 3000000},
                       {2999999, 3000000}, {3000000, 3000000}}),
            text + "\n" + text + " 0 %\n" + text + " 50 %\n" + text + " 99 %\n" + text + " 100 %\n");
}

TEST(ProgressWithoutDesktop, UnknownTotalShowsTheBytes) {
  const std::string text = "Descargando la actualización 1.2.0…";
  // Nothing before the first byte: the total may yet be announced.
  EXPECT_EQ(lines_for({{0, 0}, {50000, 0}, {60000, 0}, {2345678, 0}}),
            text + "\n" + text + " 0,0 MB\n" + text + " 2,3 MB\n");
}

}  // namespace
