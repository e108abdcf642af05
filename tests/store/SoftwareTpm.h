// A software TPM 2.0 (swtpm) on two free loopback ports (commands, control
// on the next one) with a state folder of its own, stopped on destruction.
// It starts when first used, so that a fixture holding one costs nothing in
// the cases that never reach it (those under a plain key file).
#ifndef TESTS_STORE_SOFTWARETPM_H_
#define TESTS_STORE_SOFTWARETPM_H_

#include <sys/types.h>
#include <tss2/tss2_esys.h>

#include <string>

#include "tests/support/TestSupport.h"

namespace testing_support {

class SoftwareTpm {
 public:
  SoftwareTpm() = default;
  ~SoftwareTpm();  // no copies: the state folder is the object's own

  // Every call but Stop first starts swtpm, once, if it is on the PATH.
  // Whether it started (and has not been stopped since).
  bool running() const;
  // The TCTI loader string that reaches this TPM, and its command port.
  std::string Tcti() const;
  int Port() const;
  // Ends the TPM process, as a TPM gone mid-run; it is not started again.
  void Stop();
  // Extends `pcr` of the SHA-256 bank, as a boot step would; false if refused.
  bool ExtendPcr(ESYS_TR pcr) const;

 private:
  // Starting changes nothing a user of the object sees, so const calls may.
  void StartOnce() const;
  void Start(int candidate) const;

  ScopedTempDir state_dir;
  mutable bool tried = false;  // a start was attempted
  mutable pid_t pid = -1;
  mutable int port = 0;
  mutable bool failed = false;  // swtpm could not be run at all
};

}  // namespace testing_support

#endif  // TESTS_STORE_SOFTWARETPM_H_
