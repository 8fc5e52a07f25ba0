#include "base/device_name.h"

#include "base/bounded_format.h"

namespace {

bool is_port_digit(char16_t u) { return (u >= u'1' && u <= u'9') || u == 0xB9 || u == 0xB2 || u == 0xB3; }

}  // namespace

bool is_device_name(std::u16string_view name) {
  std::u16string_view device = name.substr(0, name.find(u'.'));
  while (!device.empty() && device.back() == u' ') device.remove_suffix(1);
  for (std::u16string_view reserved : {u"CON", u"PRN", u"AUX", u"NUL", u"CONIN$", u"CONOUT$"}) {
    if (base::ascii_iequal(device, reserved)) return true;
  }
  if (device.size() != 4 || !is_port_digit(device[3])) return false;
  const std::u16string_view stem = device.substr(0, 3);
  return base::ascii_iequal(stem, u"COM") || base::ascii_iequal(stem, u"LPT");
}
