#include "base/device_name.h"

#include "base/bounded_format.h"

namespace {

// The longest device name, CONOUT$, has 7 characters; none has more.
constexpr std::size_t kLongestDevice = 7;

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

bool is_device_name(std::string_view utf8_name) {
  std::string_view device = utf8_name.substr(0, utf8_name.find('.'));
  while (!device.empty() && device.back() == ' ') device.remove_suffix(1);
  // Every character of a device name is ASCII or one of U+00B9, U+00B2,
  // U+00B3 (two bytes, 0xC2 first), and takes at least one byte: a longer
  // text, or one with any other byte above ASCII, is no device. What is left
  // is widened and asked the one rule above.
  if (device.size() > kLongestDevice) return false;
  char16_t wide[kLongestDevice];
  std::size_t n = 0;
  for (std::size_t i = 0; i < device.size(); ++i) {
    const auto b = static_cast<unsigned char>(device[i]);
    if (b < 0x80) {
      wide[n++] = b;
    } else if (b == 0xC2 && i + 1 < device.size()) {
      wide[n++] = static_cast<unsigned char>(device[++i]);
    } else {
      return false;
    }
  }
  return is_device_name(std::u16string_view(wide, n));
}
