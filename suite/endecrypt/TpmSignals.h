// Keeps SIGINT, SIGTERM and SIGHUP from ending the process in the middle of
// a conversation with the TPM. Without a resource manager in front of the
// TPM (swtpm, mssim, /dev/tpm0) the objects and sessions a process loaded
// stay loaded after it is gone, and a TPM has room for only a few: a run
// ended there would leave the TPM refusing later unseals.
//
// While a hold lives, those signals are blocked in the thread that made it
// (and in the threads it starts meanwhile, which inherit the mask), and a
// thread that still takes one only records it. The conversation asks
// Pending() between its commands and stops, flushing what it loaded; when
// the hold ends, the previous actions come back and a held or recorded
// signal acts as it would have. A signal the process ignores, or one this
// thread already blocked, is left alone. One hold at a time in a process:
// the actions it replaces are the process's. Linux only, as the TPM path is.
#ifndef SUITE_ENDECRYPT_TPMSIGNALS_H_
#define SUITE_ENDECRYPT_TPMSIGNALS_H_

#include <signal.h>

#include <mutex>

namespace endecrypt {

class TpmSignalHold {
 public:
  TpmSignalHold();
  TpmSignalHold(const TpmSignalHold&) = delete;
  TpmSignalHold& operator=(const TpmSignalHold&) = delete;
  // Restores the previous actions and mask; a signal held or recorded
  // meanwhile then acts (for the defaults: the process ends by it).
  ~TpmSignalHold();

  // Whether one of the signals came since the hold began.
  [[nodiscard]] bool Pending() const;

 private:
  std::unique_lock<std::mutex> one_at_a_time;
  sigset_t previous_mask;
};

}  // namespace endecrypt

#endif  // SUITE_ENDECRYPT_TPMSIGNALS_H_
