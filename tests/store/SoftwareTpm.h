// A software TPM 2.0 (swtpm) on two free loopback ports (commands, control
// on the next one) with a state folder of its own, stopped on destruction.
#ifndef TESTS_STORE_SOFTWARETPM_H_
#define TESTS_STORE_SOFTWARETPM_H_

#include <sys/types.h>
#include <tss2/tss2_esys.h>

#include <string>

#include "tests/support/TestSupport.h"

namespace testing_support {

class SoftwareTpm {
 public:
  // Starts swtpm when it is on the PATH; running() tells whether it did.
  SoftwareTpm();
  ~SoftwareTpm();  // no copies: the state folder is the object's own

  bool running() const { return pid > 0; }
  // The TCTI loader string that reaches this TPM, and its command port.
  std::string Tcti() const;
  int Port() const { return port; }
  // Ends the TPM process, as a TPM gone mid-run.
  void Stop();
  // Extends `pcr` of the SHA-256 bank, as a boot step would; false if refused.
  bool ExtendPcr(ESYS_TR pcr) const;

 private:
  void Start(int candidate);

  ScopedTempDir state_dir;
  pid_t pid = -1;
  int port = 0;
  bool failed = false;  // swtpm could not be run at all
};

}  // namespace testing_support

#endif  // TESTS_STORE_SOFTWARETPM_H_
