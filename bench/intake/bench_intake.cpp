// Times the input intake on a generated sensitive settings file of 100,000
// members (about 8 MB, fixed seed) beside a bare Boost.PropertyTree parse of
// the same bytes. The intake runs both readers at log level 3, as a real run
// does: the JSON loader and the settings reader, then the credential parser,
// which reads the whole file again before it declines it.
#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include <boost/filesystem.hpp>
#include <boost/property_tree/json_parser.hpp>
#include <boost/property_tree/ptree.hpp>

#include "bench/BuildWarning.h"
#include "errors/ErrorCatalogue.h"
#include "host/Log.h"
#include "tests/support/EncryptProbe.h"

namespace {

constexpr int kMembers = 100000;
constexpr std::uint64_t kSeed = 20240607;
constexpr int kRuns = 7;
constexpr int kNameLetters = 8;
constexpr int kShortestValue = 50;
constexpr int kLongestValue = 70;
constexpr unsigned kLogLevel = 3;
constexpr double kTargetRatio = 1.3;
constexpr double kBytesPerMegabyte = 1e6;

// Members look like real settings: a name, then mostly strings, some
// numbers and flags. No comment lines: the bare parse reads the same bytes.
std::string GenerateSettings() {
  std::mt19937_64 random(kSeed);
  std::uniform_int_distribution<int> letter('a', 'z');
  std::uniform_int_distribution<int> printable('!', '~');
  std::uniform_int_distribution<int> length(kShortestValue, kLongestValue);
  std::uniform_int_distribution<int> kind(0, 9);
  std::string text = "{\n  \"sensitive_settings\": {\n";
  char number[16];
  for (int i = 0; i < kMembers; ++i) {
    std::snprintf(number, sizeof number, "%06d", i);
    std::string name = std::string("svc_") + number + "_";
    for (int k = 0; k < kNameLetters; ++k) name += static_cast<char>(letter(random));
    std::string value;
    const int pick = kind(random);
    if (pick == 0) {
      value = std::to_string(random() % 65536);
    } else if (pick == 1) {
      value = random() % 2 ? "true" : "false";
    } else {
      value = "\"";
      for (int k = length(random); k > 0; --k) {
        char c = static_cast<char>(printable(random));
        if (c == '"' || c == '\\') c = '_';
        value += c;
      }
      value += "\"";
    }
    text += "    \"" + name + "\": " + value + (i + 1 < kMembers ? ",\n" : "\n");
  }
  text += "  }\n}\n";
  return text;
}

double Milliseconds(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
      .count();
}

// The fastest run: the one least disturbed by other work on the machine.
double Best(const std::vector<double>& times) { return *std::min_element(times.begin(), times.end()); }

void Report(const char* name, double milliseconds, std::size_t bytes) {
  std::printf("%-22s: %9.1f ms/op %8.1f MB/s\n", name, milliseconds,
              bytes / kBytesPerMegabyte / (milliseconds / 1000.0));
}

}  // namespace

int main() {
  WarnAboutBuild();
  namespace fs = boost::filesystem;
  const fs::path folder = fs::temp_directory_path() / fs::unique_path("kelvox-bench-%%%%-%%%%");
  fs::create_directories(folder);
  const std::string path = (folder / "settings.json").string();
  const std::string text = GenerateSettings();
  std::ofstream(path, std::ios::binary) << text;
  ZUdurov::Log::SetLogFile((folder / "bench.log").string());
  ZUdurov::Log::SetMinLogLevel(kLogLevel);

  std::printf("intake: %d settings, %.1f MB, best of %d runs\n", kMembers,
              text.size() / kBytesPerMegabyte, kRuns);
  // The bare parse's tree is released inside the timing, as the settings
  // reader's is; the command object, which keeps the records, outside it.
  std::vector<double> bare_times;
  std::vector<double> intake_times;
  std::size_t stored = 0;
  int code = 0;
  for (int run = 0; run < kRuns; ++run) {
    auto start = std::chrono::steady_clock::now();
    {
      std::istringstream stream(text);
      boost::property_tree::ptree tree;
      boost::property_tree::read_json(stream, tree);
    }
    bare_times.push_back(Milliseconds(start));

    EncryptProbe command(path);
    start = std::chrono::steady_clock::now();
    code = command.ReadFileIntoMemory();
    intake_times.push_back(Milliseconds(start));
    const auto found = command.Records().find(SensitiveSetting);
    stored = found == command.Records().end() ? 0 : found->second.size();
  }
  const double bare = Best(bare_times);
  const double intake = Best(intake_times);
  Report("bare read_json", bare, text.size());
  Report("ReadFileIntoMemory", intake, text.size());
  std::printf("%-22s: %9.2f (target <= %.2f)\n", "intake / bare", intake / bare, kTargetRatio);
  if (code != static_cast<int>(ERR_SUCCEED) || stored != static_cast<std::size_t>(kMembers)) {
    std::printf("WARNING: the intake returned %d with %zu settings\n", code, stored);
  }
  ZUdurov::Log::SetLogFile("");
  boost::system::error_code ignored;
  fs::remove_all(folder, ignored);
  return 0;
}
