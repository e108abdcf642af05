// What the store tests' writer processes (store_writer.cpp) write.
#ifndef TESTS_STORE_STOREWRITER_H_
#define TESTS_STORE_STOREWRITER_H_

#include <map>
#include <string>

namespace store_writer {

using Records = std::map<std::string, std::string>;

// `count` records "<prefix><i>" of 100 bytes each: a killed writer replaced
// FirstStore and SecondStore by each other, and must leave one of them whole.
inline Records ManyRecords(const std::string& prefix, int count) {
  Records records;
  for (int i = 0; i < count; ++i)
    records[prefix + std::to_string(i)] = std::string(100, static_cast<char>('a' + i % 26));
  return records;
}
inline Records FirstStore() { return ManyRecords("first", 300); }
inline Records SecondStore() { return ManyRecords("second", 200); }

// The key of the `index`th record that writer `writer` adds.
inline std::string AddedKey(int writer, int index) {
  return "w" + std::to_string(writer) + "-" + std::to_string(index);
}

}  // namespace store_writer

#endif  // TESTS_STORE_STOREWRITER_H_
