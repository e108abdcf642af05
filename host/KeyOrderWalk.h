// One walk over two lists of records (or keys) in ascending key order at
// once, each key met once: the store's update in place and merge, the
// application of an edit, edit's diff and the count of what a write
// changes all go through it. Header only; no state.
#ifndef HOST_KEYORDERWALK_H_
#define HOST_KEYORDERWALK_H_

#include <string>
#include <string_view>
#include <type_traits>
#include <utility>

namespace key_order {

// The key of a record (a pair whose first is its key) or of a bare key.
inline std::string_view KeyOf(const std::string& key) { return key; }
inline std::string_view KeyOf(std::string_view key) { return key; }
template <typename Key, typename Value>
std::string_view KeyOf(const std::pair<Key, Value>& record) {
  return record.first;
}

namespace internal {
// Calls `step`; a step that returns nothing asks to go on.
template <typename Step, typename... Args>
bool Call(Step& step, Args&&... args) {
  if constexpr (std::is_void_v<std::invoke_result_t<Step&, Args...>>) {
    step(std::forward<Args>(args)...);
    return true;
  } else {
    return step(std::forward<Args>(args)...);
  }
}
}  // namespace internal

// Walks `first` and `second`, each in strictly ascending key order, and
// calls, in key order, `only_first(a)` for a key only `first` holds,
// `only_second(b)` for a key only `second` holds and `both(a, b)` for a key
// both hold. A step returning false ends the walk there; a step may return
// nothing. One three-way comparison per step: keys are long and alike.
template <typename First, typename Second, typename OnlyFirst, typename Both, typename OnlySecond>
void WalkInKeyOrder(First&& first, Second&& second, OnlyFirst only_first, Both both,
                    OnlySecond only_second) {
  auto a = first.begin();
  auto b = second.begin();
  while (a != first.end() || b != second.end()) {
    const int order = b == second.end() ? -1
                      : a == first.end() ? 1
                                         : KeyOf(*a).compare(KeyOf(*b));
    if (order < 0) {
      if (!internal::Call(only_first, *a++)) return;
    } else if (order > 0) {
      if (!internal::Call(only_second, *b++)) return;
    } else {
      auto& in_first = *a++;
      if (!internal::Call(both, in_first, *b++)) return;
    }
  }
}

}  // namespace key_order

#endif  // HOST_KEYORDERWALK_H_
