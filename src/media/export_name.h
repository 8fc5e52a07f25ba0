// The name under which an exported file lands in Downloads: the page's
// proposal cleaned of what Windows cannot hold in a file name, and the
// numbered names tried when that name is taken.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "http/request_head.h"

// "name" is read whole, however long the request line lets it be: a name
// cut in the query (percent-encoded, three bytes for each byte of a
// character beyond ASCII) would lose its extension before it could be
// shortened by its stem.
inline constexpr std::size_t kNameParamBytes = kTargetBytes;
inline constexpr std::size_t kNameUnits = kNameParamBytes;  // UTF-16 conversion buffer; never more units than bytes
inline constexpr std::size_t kExportNameUnits = 120;
inline constexpr std::size_t kNumberedExtensionUnits = 31;  // the '.' included
inline constexpr int kFirstNumber = 2;
inline constexpr int kLastNumber = 199;
inline constexpr char16_t kDefaultExportName[] = u"vesklar.mp4";

// From the decoded "name" parameter (UTF-8) to the export name: the default
// for an empty name, one that does not convert, or one that ends in a
// separator; otherwise the cleaned last path component. A character cut off
// at the very end (the request line's length limit) is dropped.
std::u16string export_name_for(const char* name);

// Cleans a base name (no separators, not empty): units below 0x20 and
// < > : " / \ | ? * become '_', and a name longer than 120 units loses
// units at the end of its stem, keeping its extension (from the last '.',
// up to 31 units) and never splitting a surrogate pair. A device name
// (base/device_name.h) gets a '_' in front, and trailing dots and spaces each
// become '_', since Windows would open the device or drop them; the result
// still holds at most 120 units.
std::u16string clean_export_name(std::u16string_view base);

// "stem-n.ext": the number goes before the last '.', or at the end of the
// whole name when it has no '.' or its extension is longer than 31 units.
std::u16string numbered_name(std::u16string_view export_name, int n);
