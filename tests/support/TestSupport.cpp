#include "tests/support/TestSupport.h"

#include <cstdlib>
#include <fstream>
#include <sstream>

#include "host/GlobalConfig.h"
#include "host/Log.h"

namespace testing_support {

ScopedTempDir::ScopedTempDir()
    : root(boost::filesystem::temp_directory_path() /
            boost::filesystem::unique_path("kelvox-test-%%%%-%%%%-%%%%")) {
  boost::filesystem::create_directories(root);
}

ScopedTempDir::~ScopedTempDir() {
  boost::system::error_code ignored;
  boost::filesystem::remove_all(root, ignored);
}

void SetEnv(const std::string& name, const std::optional<std::string>& value) {
#if defined(_WIN32)
  _putenv_s(name.c_str(), value ? value->c_str() : "");
#else
  value ? setenv(name.c_str(), value->c_str(), 1) : unsetenv(name.c_str());
#endif
}

std::optional<std::string> GetEnv(const std::string& name) {
  const char* value = std::getenv(name.c_str());
  return value ? std::optional<std::string>(value) : std::nullopt;
}

ScopedConfig::ScopedConfig(const std::string& text)
    : file(dir.File("global.config")), variable("KELVOX_GLOBAL_CONFIG", file) {
  Set(text);
}

ScopedConfig::~ScopedConfig() { ZUdurov::GlobalConfig::Reload(); }

void ScopedConfig::Set(const std::string& text) {
  WriteFile(file, text);
  ZUdurov::GlobalConfig::Reload();
}

void WriteFile(const std::string& path, const std::string& content) {
  std::ofstream(path, std::ios::binary | std::ios::trunc) << content;
}

std::string ReadFile(const std::string& path) {
  std::ostringstream content;
  content << std::ifstream(path, std::ios::binary).rdbuf();
  return content.str();
}

ScopedLogCapture::ScopedLogCapture(unsigned level)
    : file(dir.File("test.log")), saved_level(ZUdurov::Log::GetMinLogLevel()) {
  ZUdurov::Log::SetLogFile(file);
  ZUdurov::Log::SetMinLogLevel(level);
}

ScopedLogCapture::~ScopedLogCapture() {
  ZUdurov::Log::SetLogFile("");
  ZUdurov::Log::SetMinLogLevel(saved_level);
}

std::string ScopedLogCapture::Text() const {
  ZUdurov::Log::Flush();
  return ReadFile(file);
}

}  // namespace testing_support
