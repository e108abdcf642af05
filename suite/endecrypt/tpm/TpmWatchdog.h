// Bounds the exchanges with a TPM whose TCTI blocks without a limit: the
// socket TCTIs wait in a plain receive, whatever timeout ESAPI passes them.
// While an exchange is armed and its deadline passes, a thread of the
// watchdog's own shuts for reading every socket the process opened since
// the watchdog was made (platform::SocketSnapshot): the TCTI's, by then.
// The blocked receive (or connect) returns, the TCTI reports an I/O error,
// and Disarm tells the caller the exchange was cut. Sockets older than the
// watchdog are never touched. One exchange at a time.
#ifndef SUITE_ENDECRYPT_TPM_TPMWATCHDOG_H_
#define SUITE_ENDECRYPT_TPM_TPMWATCHDOG_H_

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

#include "suite/platform/SocketSnapshot.h"

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

  // The sockets open when the watchdog was made.
  const platform::SocketSnapshot older;
  std::mutex mutex;
  std::condition_variable changed;
  bool armed = false;
  bool struck = false;
  bool stopping = false;
  Clock::time_point deadline;
  std::thread thread;  // last: started once the members above exist
};

}  // namespace endecrypt

#endif  // SUITE_ENDECRYPT_TPM_TPMWATCHDOG_H_
