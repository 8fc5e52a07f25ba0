#include "update/archive_signature.h"

#include <cstdint>
#include <optional>

namespace {

// 0-63 for a letter of the standard alphabet, -1 for anything else.
int base64_value(char c) {
  if (c >= 'A' && c <= 'Z') return c - 'A';
  if (c >= 'a' && c <= 'z') return c - 'a' + 26;
  if (c >= '0' && c <= '9') return c - '0' + 52;
  if (c == '+') return 62;
  if (c == '/') return 63;
  return -1;
}

// Strict: whole groups of four, '=' only as the last one or two characters.
std::optional<std::string> decode_base64(std::string_view text) {
  if (text.empty() || text.size() % 4 != 0) return std::nullopt;
  std::string out;
  std::uint32_t bits = 0;
  int held = 0;
  std::size_t padding = 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '=') {
      if (i + 2 < text.size()) return std::nullopt;
      ++padding;
      continue;
    }
    const int value = base64_value(text[i]);
    if (value < 0 || padding > 0) return std::nullopt;
    bits = (bits << 6) | std::uint32_t(value);
    held += 6;
    if (held >= 8) {
      held -= 8;
      out.push_back(char((bits >> held) & 0xFF));
    }
  }
  return out;
}

}  // namespace

platform::SignatureCheck check_archive_signature(const std::u16string& archive, std::string_view public_key_pem,
                                                 std::string_view signature_base64) {
  const std::optional<std::string> der = decode_base64(signature_base64);
  if (!der) return platform::SignatureCheck::bad_signature;
  return platform::verify_file_signature(archive, public_key_pem, *der);
}

std::string_view signature_check_name(platform::SignatureCheck check) {
  switch (check) {
    case platform::SignatureCheck::valid: return "valid";
    case platform::SignatureCheck::mismatch: return "mismatch";
    case platform::SignatureCheck::bad_key: return "bad_key";
    case platform::SignatureCheck::bad_signature: return "bad_signature";
    case platform::SignatureCheck::unreadable: return "unreadable";
    case platform::SignatureCheck::failed: return "failed";
  }
  return "failed";
}
