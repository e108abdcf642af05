// Writes what scripts/bench.sh times into the folder given: settings.json
// (the 100,000-record input of bench_run), one.json (one record) and
// global.config pointing the stores, host key and log there; for the small
// runs hundred.json (records key_000 to key_099), small.config naming
// small.store as the settings store, and secret.txt, one value.
#include <cstdio>
#include <fstream>
#include <string>

#include <boost/filesystem.hpp>

#include "bench/run/RunSupport.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: bench_inputs FOLDER\n");
    return 2;
  }
  const boost::filesystem::path work(argv[1]);
  boost::filesystem::create_directories(work);
  bench_run::WriteSettings((work / "settings.json").string());
  std::ofstream(work / "one.json") << "{\"sensitive_settings\": {\"a\": \"1\"}}\n";
  std::ofstream(work / "global.config")
      << "ENCRYPT_SETTING_PATH=" << (work / "settings.store").string()
      << "\nENCRYPTED_CREDENTIALS_FILE_PATH=" << (work / "cred.store").string()
      << "\nENCRYPT_HOST_KEY_PATH=" << (work / "host.key").string()
      << "\nLOG_LEVEL=3\nLOG_FILE=" << (work / "kelvox.log").string() << "\n";
  std::ofstream hundred(work / "hundred.json");
  hundred << "{\"sensitive_settings\": {";
  for (int i = 0; i < 100; ++i) {
    char record[64];
    std::snprintf(record, sizeof(record), "%s\"key_%03d\": \"value %d of the store\"",
                  i == 0 ? "" : ", ", i, i);
    hundred << record;
  }
  hundred << "}}\n";
  std::ofstream(work / "small.config")
      << "ENCRYPT_SETTING_PATH=" << (work / "small.store").string()
      << "\nENCRYPT_HOST_KEY_PATH=" << (work / "host.key").string()
      << "\nLOG_LEVEL=3\nLOG_FILE=" << (work / "kelvox.log").string() << "\n";
  std::ofstream(work / "secret.txt") << "correct horse battery staple\n";
  return 0;
}
