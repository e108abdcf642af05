// The Windows side of UTF-8 text, shared by the platform's Windows sources
// only: the conversions to and from the UTF-16 the system's calls take.
#ifndef SUITE_PLATFORM_UTF8PATHWINDOWS_H_
#define SUITE_PLATFORM_UTF8PATHWINDOWS_H_

#include <string>

namespace platform {

// `text` in UTF-16. Invalid UTF-8 gives an empty string, which every system
// call refuses.
std::wstring WidenUtf8(const std::string& text);

// The UTF-16 `text` in UTF-8.
std::string NarrowToUtf8(const std::wstring& text);

}  // namespace platform

#endif  // SUITE_PLATFORM_UTF8PATHWINDOWS_H_
