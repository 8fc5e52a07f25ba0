#include "media/media_store.h"

#include "base/bounded_format.h"
#include "base/device_name.h"
#include "platform/text.h"

namespace {

bool is_safe_byte(unsigned char c) {
  return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '-';
}

}  // namespace

bool sanitize_segment(const char* text, std::u16string* safe) {
  if (text == nullptr || text[0] == '\0') return false;
  std::u16string out;
  out.reserve(kSafeNameChars);
  // One character per byte: a UTF-8 sequence of two bytes gives "__", which
  // keeps the rule simple and never yields '.', a separator or a colon.
  for (const char* p = text; *p != '\0' && out.size() < kSafeNameChars; ++p) {
    const auto c = static_cast<unsigned char>(*p);
    out.push_back(is_safe_byte(c) ? char16_t(c) : u'_');
  }
  // Windows would open the device, whatever folder the name is in. A device
  // name is at most 7 characters, so the '_' never pushes a name past 80.
  if (is_device_name(out)) out.insert(out.begin(), u'_');
  *safe = std::move(out);
  return true;
}

bool project_folder_path(const std::u16string& media_folder, const std::u16string& project, std::u16string* out) {
  return base::join_bounded(*out, platform::kMaxPathChars, {media_folder, u"\\", project});
}

bool item_file_path(const std::u16string& media_folder, const std::u16string& project, const std::u16string& id,
                    std::u16string* out) {
  return base::join_bounded(*out, platform::kMaxPathChars, {media_folder, u"\\", project, u"\\", id});
}

bool side_file_path(const std::u16string& item, std::u16string* out) {
  return base::join_bounded(*out, platform::kMaxPathChars, {item, u".mime"});
}

bool staging_file_path(const std::u16string& item, std::u16string* out) {
  return base::join_bounded(*out, platform::kMaxPathChars, {item, u".tmp"});
}
