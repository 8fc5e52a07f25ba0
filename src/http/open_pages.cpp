#include "http/open_pages.h"

#include <cstring>

bool valid_page_id(std::string_view id) {
  if (id.empty() || id.size() >= kPageIdBytes) return false;
  for (char c : id) {
    const bool ok = (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '.';
    if (!ok) return false;
  }
  return true;
}

OpenPages::Entry* OpenPages::find(std::string_view id) {
  for (Entry& e : entries_)
    if (e.used && id == e.id) return &e;
  return nullptr;
}

// An unused entry, else the closed one changed longest ago; null when every
// entry holds an open page.
OpenPages::Entry* OpenPages::free_slot() {
  Entry* oldest_closed = nullptr;
  for (Entry& e : entries_) {
    if (!e.used) return &e;
    if (!e.open && (!oldest_closed || e.last_use < oldest_closed->last_use)) oldest_closed = &e;
  }
  return oldest_closed;
}

void OpenPages::record(std::string_view id, std::uint64_t seq, PageSays says) {
  if (!valid_page_id(id)) return;
  std::lock_guard<std::mutex> hold(lock_);
  Entry* e = find(id);
  if (e) {
    if (seq <= e->seq) return;  // a duplicate, or overtaken by a later message
  } else {
    e = free_slot();
    if (!e) {
      if (says == PageSays::shown) overflowed_ = true;
      return;
    }
    *e = Entry{};
    std::memcpy(e->id, id.data(), id.size());
    e->used = true;
  }
  // A beacon whose page was never seen is kept too: its announcement may
  // still be on its way, and must then not count the page as open.
  e->seq = seq;
  e->open = says == PageSays::shown;
  e->last_use = ++changes_;
}

bool OpenPages::any_open() const {
  std::lock_guard<std::mutex> hold(lock_);
  if (overflowed_) return true;
  for (const Entry& e : entries_)
    if (e.used && e.open) return true;
  return false;
}

void OpenPages::clear() {
  std::lock_guard<std::mutex> hold(lock_);
  entries_ = {};
  changes_ = 0;
  overflowed_ = false;
}
