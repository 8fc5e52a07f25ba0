#include "media/staged_item.h"

#include "media/media_store.h"
#include "platform/files.h"
#include "platform/threads.h"

namespace {

// A playback holds the side file open only for the one read of its type, a
// matter of microseconds; while it does, Windows refuses to replace or
// delete the file. A few short tries outlast any such read.
constexpr int kSideFileAttempts = 50;
constexpr std::uint32_t kSideFileRetryMs = 10;

bool missing(const std::u16string& path) {
  return platform::file_attributes(path) == platform::kInvalidAttributes;
}

template <class Step>
bool with_retries(Step step) {
  for (int attempt = 1;; ++attempt) {
    if (step()) return true;
    if (attempt == kSideFileAttempts) return false;
    platform::sleep_ms(kSideFileRetryMs);
  }
}

}  // namespace

bool staged_item_paths(const std::u16string& media_folder, const std::u16string& project, const std::u16string& id,
                       StagedItem* out) {
  return item_file_path(media_folder, project, id, &out->item) && side_file_path(out->item, &out->side) &&
         staging_file_path(out->item, &out->staging) && staging_file_path(out->side, &out->side_staging);
}

void discard_staged(const StagedItem& staged) {
  platform::delete_file(staged.staging);
  platform::delete_file(staged.side_staging);
}

Commit commit_staged(const ItemClaim& claim, const StagedItem& staged, bool has_type) {
  CommitHold hold(claim);
  if (!platform::replace_file(staged.staging, staged.item)) {
    discard_staged(staged);
    return Commit::item_refused;
  }
  if (has_type) {
    if (!with_retries([&] { return platform::replace_file(staged.side_staging, staged.side); })) {
      // The earlier type must not stay with the new bytes: without a side
      // file the item plays as the neutral type.
      platform::delete_file(staged.side_staging);
      platform::delete_file(staged.side);
    }
  } else {
    with_retries([&] { return platform::delete_file(staged.side) || missing(staged.side); });
  }
  return Commit::done;
}
