// What a write changes in a store, as every command that writes records
// shows it before asking: "add: N, update: M", and for a command that also
// removes, ", remove: K". Keys compare byte for byte: a key differing only
// in letter case is new, and a value differing only in letter case is an
// update; a stored key given its stored value again is no change.
#ifndef SRC_MISC_COMMON_CHANGECOUNT_H_
#define SRC_MISC_COMMON_CHANGECOUNT_H_

#include <cstdint>
#include <map>
#include <string>

#include "host/KeyOrderWalk.h"

struct ChangeCount {
  int32_t added = 0;    // keys of the incoming records that are not stored
  int32_t updated = 0;  // stored keys the incoming records give another value
  int32_t removed = 0;  // stored keys the incoming records lack (a replacement only)
};

// Counts what writing `incoming` over `stored` changes; stored keys absent
// from `incoming` count as removed only with `replaces` (edit's write),
// since a merge keeps them. `stored` is any sequence of key and value
// pairs in ascending key order: a map, or a store's record views.
template <typename Stored>
[[nodiscard]] ChangeCount CountChanges(const std::map<std::string, std::string>& incoming,
                                       const Stored& stored, bool replaces = false) {
  // Both are in the same key order, so one walk through both finds every
  // key, instead of a search per record.
  ChangeCount count;
  key_order::WalkInKeyOrder(
      stored, incoming,
      [&](const auto&) {
        if (replaces) ++count.removed;
      },
      [&](const auto& old, const auto& record) {
        if (old.second != record.second) ++count.updated;
      },
      [&](const auto&) { ++count.added; });
  return count;
}

// Prints the count on the console: "add: N, update: M", with
// ", remove: K" after it when `replaces`.
void ShowChangeCount(const ChangeCount& count, bool replaces = false);

#endif  // SRC_MISC_COMMON_CHANGECOUNT_H_
