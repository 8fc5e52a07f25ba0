// Who may write a media item, and when its bytes and side file may change.
//
// An upload or a copy onto an item holds the item's claim from before it
// makes its staging files until the item and its side file are both in
// place. A second writer of the same item is turned away at once, so an
// item's staging files only ever belong to the one request that holds its
// claim: no other request can truncate, fill or move them.
//
// A copy reads its source under a `SourceRead`. The holder of a claim puts
// its staged files in place under a `CommitHold`, which waits until no copy
// reads the item and keeps new ones waiting meanwhile, so a copy takes the
// bytes and the content type of one and the same upload.
//
// Claims hold for this process, keyed by the item path without regard to
// ASCII case, since Windows names "A" and "a" the same file. Any thread.
#pragma once

#include <string>

class ItemClaim {
 public:
  // Claims the item at `item_path`; held() tells whether it was free.
  explicit ItemClaim(const std::u16string& item_path);
  ~ItemClaim();
  ItemClaim(const ItemClaim&) = delete;
  ItemClaim& operator=(const ItemClaim&) = delete;
  bool held() const { return held_; }
  const std::u16string& key() const { return key_; }

 private:
  std::u16string key_;
  bool held_ = false;
};

// Only from a held claim, for the moments that its renames take.
class CommitHold {
 public:
  explicit CommitHold(const ItemClaim& claim);
  ~CommitHold();
  CommitHold(const CommitHold&) = delete;
  CommitHold& operator=(const CommitHold&) = delete;

 private:
  const std::u16string& key_;
};

// Reading an item's bytes and side file as one: waits while the item's
// staged files are being put in place.
class SourceRead {
 public:
  explicit SourceRead(const std::u16string& item_path);
  ~SourceRead();
  SourceRead(const SourceRead&) = delete;
  SourceRead& operator=(const SourceRead&) = delete;

 private:
  std::u16string key_;
};
