// An item's new bytes and content type, staged beside it and put in place
// together by the request that holds the item's claim (media/item_claim.h).
//
//   ...\id.tmp         the new bytes
//   ...\id.mime.tmp    the new content type
//
// A safe name never holds a '.', so neither staging name can be an item or
// the side file of another.
#pragma once

#include <string>

#include "media/item_claim.h"

struct StagedItem {
  std::u16string item, side, staging, side_staging;
};

// The four paths of the item `id` of `project` (safe names) under
// `media_folder`; false when one would not fit in platform::kMaxPathChars.
bool staged_item_paths(const std::u16string& media_folder, const std::u16string& project, const std::u16string& id,
                       StagedItem* out);

// Removes both staging files; either may be missing.
void discard_staged(const StagedItem& staged);

enum class Commit { done, item_refused };

// Puts the staged bytes over the item in one atomic rename, then the staged
// type over the side file, or, when `has_type` is false, removes the side
// file, so that bytes and type always come from one request. An item that
// cannot be replaced (open for playback) leaves item and side file as they
// were, and both staging files are removed: `item_refused`.
Commit commit_staged(const ItemClaim& claim, const StagedItem& staged, bool has_type);
