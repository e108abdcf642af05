// What the store tests' writer processes (store_writer.cpp) write.
#ifndef TESTS_STORE_STOREWRITER_H_
#define TESTS_STORE_STOREWRITER_H_

#include <map>
#include <string>

namespace store_writer {

using Records = std::map<std::string, std::string>;

// The key of the `index`th record that writer `writer` adds.
inline std::string AddedKey(int writer, int index) {
  return "w" + std::to_string(writer) + "-" + std::to_string(index);
}

}  // namespace store_writer

#endif  // TESTS_STORE_STOREWRITER_H_
