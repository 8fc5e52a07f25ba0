// The pages that have said they are open. The bootstrap script gives each
// page a random id and numbers the page's messages: "/__open" when the page
// is shown (its first showing, or a return from the back-forward cache) and
// the quit beacon when it is hidden. The launcher ends only when the grace
// time after a beacon has passed and no page in this table is open, so a
// reload (whose new page arrives before the old page's beacon) or a second
// window never ends it under an open page.
//
// Messages travel on separate connections, so they may arrive late, twice
// or not at all: for each page only its highest-numbered message counts.
// A page that never announces itself is not here and changes nothing; a
// page that dies without a beacon stays open, and the launcher with it.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <string_view>

// Page ids: the bootstrap's random text, letters, digits and '.'.
inline constexpr std::size_t kPageIdBytes = 32;  // at most 31 characters
// Pages remembered at once, open or closed. Closed ones are kept only to
// recognise their late messages, and are the first to make room. With
// every entry open, a further page cannot be counted; from then on the
// table reports an open page for good, as if a page had crashed, rather
// than let the launcher end under that page.
inline constexpr std::size_t kOpenPagesCapacity = 64;

enum class PageSays { shown, hidden };

// True for an id that the table accepts.
bool valid_page_id(std::string_view id);

class OpenPages {
 public:
  // Records message `seq` of page `id`. Ignored when the page already sent
  // a message numbered `seq` or higher, and when `id` is not valid. Any
  // thread.
  void record(std::string_view id, std::uint64_t seq, PageSays says);
  // Whether any recorded page is open, or a page could not be recorded.
  // Any thread.
  bool any_open() const;
  // Forgets every page (tests).
  void clear();

 private:
  struct Entry {
    char id[kPageIdBytes] = {};
    std::uint64_t seq = 0;
    std::uint64_t last_use = 0;  // order of the latest change, for eviction
    bool used = false;
    bool open = false;
  };
  Entry* find(std::string_view id);
  Entry* free_slot();

  mutable std::mutex lock_;
  std::array<Entry, kOpenPagesCapacity> entries_{};
  std::uint64_t changes_ = 0;
  bool overflowed_ = false;
};
