// Bounds the exchanges with a TPM whose TCTI blocks without a limit: the
// socket TCTIs wait in a plain receive, whatever timeout ESAPI passes them.
// While an exchange is armed and its deadline passes, a thread of the
// watchdog's own shuts for reading every socket the process opened since
// the watchdog was made: the TCTI's, by then. The blocked receive (or
// connect) returns, the TCTI reports an I/O error, and Disarm tells the
// caller the exchange was cut. Sockets older than the watchdog are never
// touched; without /proc nothing is found, and nothing cut. Linux only, as
// the TPM path is; one exchange at a time.
#ifndef SUITE_ENDECRYPT_TPMWATCHDOG_H_
#define SUITE_ENDECRYPT_TPMWATCHDOG_H_

#include <sys/types.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <set>
#include <thread>
#include <utility>

namespace endecrypt {

class TpmWatchdog {
 public:
  using Clock = std::chrono::steady_clock;

  TpmWatchdog();
  TpmWatchdog(const TpmWatchdog&) = delete;
  TpmWatchdog& operator=(const TpmWatchdog&) = delete;
  ~TpmWatchdog();  // stops and joins the thread

  // Starts watching one exchange that must end by `deadline`.
  void Arm(Clock::time_point deadline);
  // Ends it; true when the deadline struck first and the sockets were shut.
  [[nodiscard]] bool Disarm();

 private:
  void Run();

  // The sockets (device, inode) open when the watchdog was made.
  const std::set<std::pair<dev_t, ino_t>> older;
  std::mutex mutex;
  std::condition_variable changed;
  bool armed = false;
  bool struck = false;
  bool stopping = false;
  Clock::time_point deadline;
  std::thread thread;  // last: started once the members above exist
};

}  // namespace endecrypt

#endif  // SUITE_ENDECRYPT_TPMWATCHDOG_H_
