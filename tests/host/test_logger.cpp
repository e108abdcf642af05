// The suite logger: the level gate, the record format, that logging never
// fails or tears lines under several threads, and the modes of what it creates.
#include <gtest/gtest.h>

#if !defined(_WIN32)
#include <sys/stat.h>
#endif

#include <sstream>
#include <thread>
#include <vector>

#include "host/Log.h"
#include "tests/support/TestSupport.h"

namespace {

using testing_support::ScopedLogCapture;

int evaluated = 0;
int Evaluate() { return ++evaluated; }

TEST(LoggerTest, GatedRecordsAreNotEvenBuiltAndWrittenOnesCarryTimeLevelFileAndLine) {
  ScopedLogCapture log(3);
  evaluated = 0;
  KLOG(4) << "hidden " << Evaluate();
  KLOG(3) << "shown " << Evaluate();
  EXPECT_EQ(evaluated, 1);
  { ZUdurov::Log(4, "a.cpp", 1).Stream() << "direct debug"; }  // the logger filters too
  { ZUdurov::Log(1, "Src/x.cpp", 77).Stream() << "text " << 5; }
  const std::string text = log.Text();
  EXPECT_EQ(text.find("hidden"), std::string::npos);
  EXPECT_EQ(text.find("direct debug"), std::string::npos);
  EXPECT_NE(text.find("shown 1"), std::string::npos);
  // A time stamp of this shape ("d" a digit), then the record.
  const std::string shape = "dddd-dd-dd dd:dd:dd.ddd", record = " ERROR Src/x.cpp:77 text 5\n";
  const std::size_t at = text.find(record);
  ASSERT_TRUE(at != std::string::npos && at >= shape.size()) << text;
  for (std::size_t i = 0; i < shape.size(); ++i) {
    const char c = text[at - shape.size() + i];
    EXPECT_TRUE(shape[i] == 'd' ? c >= '0' && c <= '9' : c == shape[i]) << text;
  }
}

#if !defined(_WIN32)
TEST(LoggerTest, CreatedLogAndFoldersAreTheOwnersAloneWhateverTheUmask) {
  testing_support::ScopedTempDir dir;
  ScopedLogCapture log(4);
  const mode_t saved_umask = umask(0);
  ZUdurov::Log::SetLogFile(dir.File("made/here/kelvox.log"));
  umask(saved_umask);
  const auto mode = [&dir](const std::string& name) {
    struct stat info {};
    EXPECT_EQ(stat(dir.File(name).c_str(), &info), 0) << name;
    return info.st_mode & 07777;
  };
  EXPECT_EQ(mode("made/here/kelvox.log"), 0600u);
  EXPECT_EQ(mode("made"), 0700u);
  EXPECT_EQ(mode("made/here"), 0700u);
}
#endif

TEST(LoggerTest, ConcurrentRecordsStayWhole) {
  ScopedLogCapture log(4);
  constexpr int kThreads = 4, kRecords = 200;
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([t] {
      for (int i = 0; i < kRecords; ++i) KLOG(4) << "thread " << t << " record " << i << " end";
    });
  }
  for (auto& thread : threads) thread.join();
  std::istringstream lines(log.Text());
  int whole = 0;
  for (std::string line; std::getline(lines, line); ++whole) EXPECT_NE(line.find(" end"), std::string::npos) << line;
  EXPECT_EQ(whole, kThreads * kRecords);
}

}  // namespace
