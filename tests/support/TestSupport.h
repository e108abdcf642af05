// Small helpers shared by the tests: a temporary folder, a saved and
// restored environment variable, a global configuration of the test's own,
// whole-file read and write, and a log capture that sends the suite logger
// to a file of the test's own.
#ifndef TESTS_SUPPORT_TESTSUPPORT_H_
#define TESTS_SUPPORT_TESTSUPPORT_H_

#include <optional>
#include <string>

#include <boost/filesystem.hpp>

namespace testing_support {

void SetEnv(const std::string& name, const std::optional<std::string>& value);
std::optional<std::string> GetEnv(const std::string& name);
void WriteFile(const std::string& path, const std::string& content);
std::string ReadFile(const std::string& path);

// A fresh folder under the system temporary folder, removed with its contents.
class ScopedTempDir {
 public:
  ScopedTempDir();
  ScopedTempDir(const ScopedTempDir&) = delete;
  ScopedTempDir& operator=(const ScopedTempDir&) = delete;
  ~ScopedTempDir();
  const boost::filesystem::path& path() const { return root; }
  std::string File(const std::string& name) const { return (root / name).string(); }

 private:
  boost::filesystem::path root;
};

// Sets (or, with nullopt, removes) an environment variable; restores it.
class ScopedEnv {
 public:
  ScopedEnv(std::string name, const std::optional<std::string>& value)
      : variable(std::move(name)), saved(GetEnv(variable)) { SetEnv(variable, value); }
  ScopedEnv(const ScopedEnv&) = delete;
  ScopedEnv& operator=(const ScopedEnv&) = delete;
  ~ScopedEnv() { SetEnv(variable, saved); }

 private:
  std::string variable;
  std::optional<std::string> saved;
};

// A global configuration holding `text`, in a file that KELVOX_GLOBAL_CONFIG
// names while the object lives; read afresh at each Set and at the end.
class ScopedConfig {
 public:
  explicit ScopedConfig(const std::string& text = "");
  ~ScopedConfig();
  void Set(const std::string& text);
  const std::string& Path() const { return file; }

 private:
  ScopedTempDir dir;
  std::string file;
  ScopedEnv variable;
};

// Sends log records at `level` and below to a temporary file for the life
// of the object, then turns the log off.
class ScopedLogCapture {
 public:
  explicit ScopedLogCapture(unsigned level);
  ~ScopedLogCapture();
  // Everything logged so far.
  std::string Text() const;

 private:
  ScopedTempDir dir;
  std::string file;
  unsigned saved_level;
};

}  // namespace testing_support

#endif  // TESTS_SUPPORT_TESTSUPPORT_H_
