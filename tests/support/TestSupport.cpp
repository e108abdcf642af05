#include "tests/support/TestSupport.h"

#include <cstdlib>
#include <fstream>
#include <sstream>

#include "host/Log.h"

namespace testing_support {

ScopedTempDir::ScopedTempDir()
    : path_(boost::filesystem::temp_directory_path() /
            boost::filesystem::unique_path("kelvox-test-%%%%-%%%%-%%%%")) {
  boost::filesystem::create_directories(path_);
}

ScopedTempDir::~ScopedTempDir() {
  boost::system::error_code error;
  boost::filesystem::remove_all(path_, error);
}

void SetEnv(const std::string& name, const std::optional<std::string>& value) {
#if defined(_WIN32)
  _putenv_s(name.c_str(), value ? value->c_str() : "");
#else
  if (value) {
    setenv(name.c_str(), value->c_str(), 1);
  } else {
    unsetenv(name.c_str());
  }
#endif
}

std::optional<std::string> GetEnv(const std::string& name) {
  const char* value = std::getenv(name.c_str());
  if (value == nullptr) return std::nullopt;
  return std::string(value);
}

ScopedEnv::ScopedEnv(std::string name, std::optional<std::string> value)
    : name_(std::move(name)), saved_(GetEnv(name_)) {
  SetEnv(name_, value);
}

ScopedEnv::~ScopedEnv() { SetEnv(name_, saved_); }

void WriteFile(const std::string& path, const std::string& content) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << content;
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream content;
  content << in.rdbuf();
  return content.str();
}

ScopedLogCapture::ScopedLogCapture(unsigned level)
    : file_(dir_.File("test.log")), saved_level_(ZUdurov::Log::GetMinLogLevel()) {
  ZUdurov::Log::SetLogFile(file_);
  ZUdurov::Log::SetMinLogLevel(level);
}

ScopedLogCapture::~ScopedLogCapture() {
  ZUdurov::Log::SetLogFile("");
  ZUdurov::Log::SetMinLogLevel(saved_level_);
}

std::string ScopedLogCapture::Text() const {
  ZUdurov::Log::Flush();
  return ReadFile(file_);
}

}  // namespace testing_support
