// A software TPM 2.0 (swtpm) for the TPM tests and benchmark: started on
// two free loopback ports (commands, and control on the next one, where the
// swtpm TCTI looks for it) with a throw-away state folder of its own, and
// stopped and removed on destruction. POSIX only.
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
  SoftwareTpm(const SoftwareTpm&) = delete;
  SoftwareTpm& operator=(const SoftwareTpm&) = delete;
  ~SoftwareTpm();

  bool running() const { return pid > 0; }
  // The TCTI loader string that reaches this TPM.
  std::string Tcti() const;
  // Ends the TPM process, as a TPM gone mid-run.
  void Stop();
  // Extends `pcr` of the SHA-256 bank with a digest, as a boot step would.
  // False when the TPM refused.
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
