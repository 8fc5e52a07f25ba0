// Message boxes with no owner window.
#include <cstdio>

#include "platform/text.h"
#include "platform/ui.h"
#include "platform/win32/win32.h"

namespace platform {

namespace {

UINT icon_flag(BoxIcon icon) {
  switch (icon) {
    case BoxIcon::error: return MB_ICONERROR;
    case BoxIcon::information: return MB_ICONINFORMATION;
    case BoxIcon::question: return MB_ICONQUESTION;
    case BoxIcon::warning: return MB_ICONWARNING;
  }
  return MB_ICONERROR;
}

}  // namespace

BoxAnswer message_box(std::u16string_view caption, std::u16string_view text, BoxIcon icon,
                      BoxButtons buttons) {
  const std::u16string c = win32::terminated(caption);
  const std::u16string t = win32::terminated(text);
  const UINT flags = icon_flag(icon) | (buttons == BoxButtons::yes_no ? MB_YESNO : MB_OK);
  switch (::MessageBoxW(nullptr, win32::wide(t), win32::wide(c), flags)) {
    case IDOK: return BoxAnswer::ok;
    case IDYES: return BoxAnswer::yes;
    case IDNO: return BoxAnswer::no;
    default: {
      // Not shown: 0 on Windows, -1 under Wine without a display. Leave the
      // text where a log or a test can see it.
      const std::string line = utf16_to_utf8(c) + ": " + utf16_to_utf8(t) + "\n";
      std::fputs(line.c_str(), stderr);
      std::fflush(stderr);
      return BoxAnswer::failed;
    }
  }
}

}  // namespace platform
