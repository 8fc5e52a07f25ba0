#include "media/item_claim.h"

#include <condition_variable>
#include <map>
#include <mutex>

namespace {

struct Usage {
  bool claimed = false;
  bool committing = false;
  int readers = 0;
};

struct Registry {
  std::mutex mutex;
  std::condition_variable changed;
  std::map<std::u16string, Usage> items;

  // With `mutex` held: an item nobody uses has no entry.
  void forget_if_unused(std::map<std::u16string, Usage>::iterator it) {
    const Usage& u = it->second;
    if (!u.claimed && !u.committing && u.readers == 0) items.erase(it);
  }
};

// Never destroyed: detached workers may still release a claim while the
// process runs its static destructors on the way out.
Registry& registry() {
  static Registry* r = new Registry;
  return *r;
}

std::u16string key_of(const std::u16string& path) {
  std::u16string key = path;
  for (char16_t& c : key) {
    if (c >= u'A' && c <= u'Z') c = char16_t(c - u'A' + u'a');
  }
  return key;
}

}  // namespace

ItemClaim::ItemClaim(const std::u16string& item_path) : key_(key_of(item_path)) {
  Registry& reg = registry();
  std::lock_guard<std::mutex> lock(reg.mutex);
  Usage& u = reg.items[key_];
  if (u.claimed) return;
  u.claimed = true;
  held_ = true;
}

ItemClaim::~ItemClaim() {
  if (!held_) return;
  Registry& reg = registry();
  std::lock_guard<std::mutex> lock(reg.mutex);
  auto it = reg.items.find(key_);
  it->second.claimed = false;
  reg.forget_if_unused(it);
}

CommitHold::CommitHold(const ItemClaim& claim) : key_(claim.key()) {
  Registry& reg = registry();
  std::unique_lock<std::mutex> lock(reg.mutex);
  Usage& u = reg.items[key_];
  // Set before the wait: copies that come now wait for the commit, so a
  // steady stream of them cannot hold it off for ever.
  u.committing = true;
  reg.changed.wait(lock, [&] { return reg.items[key_].readers == 0; });
}

CommitHold::~CommitHold() {
  Registry& reg = registry();
  {
    std::lock_guard<std::mutex> lock(reg.mutex);
    auto it = reg.items.find(key_);
    it->second.committing = false;
    reg.forget_if_unused(it);
  }
  reg.changed.notify_all();
}

SourceRead::SourceRead(const std::u16string& item_path) : key_(key_of(item_path)) {
  Registry& reg = registry();
  std::unique_lock<std::mutex> lock(reg.mutex);
  reg.changed.wait(lock, [&] { return !reg.items[key_].committing; });
  ++reg.items[key_].readers;
}

SourceRead::~SourceRead() {
  Registry& reg = registry();
  {
    std::lock_guard<std::mutex> lock(reg.mutex);
    auto it = reg.items.find(key_);
    --it->second.readers;
    reg.forget_if_unused(it);
  }
  reg.changed.notify_all();
}
