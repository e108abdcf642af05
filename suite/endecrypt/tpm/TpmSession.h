// One conversation of the tpm2 sealer with the TPM: the TCTI and the ESAPI
// context, every exchange bounded by the configured timeout (TpmWatchdog
// cuts a TCTI that would block for ever), SIGINT, SIGTERM and SIGHUP held
// off it (platform::SignalHold), and every transient object and session
// made in it held by a TpmObject, which flushes it when destroyed.
//
// Flushing matters because a TPM without a resource manager in front of it
// (swtpm, mssim, /dev/tpm0) keeps what a connection loaded after the
// connection is gone, and has room for only a few objects and sessions: a
// run ended by a signal in the middle would leave the TPM refusing later
// unseals. So objects are flushed on every path: over the conversation's
// connection while it answers; after an exchange was cut (no answer within
// the timeout, or a held signal), the ESAPI context will not talk again, and
// a new connection flushes them by their TPM handles. A signal that came
// stops the conversation before its next command, and acts once all is
// flushed and closed; the command under way is answered first (within the
// timeout), so that nothing it loads goes unflushed.
//
// A failure that decides the conversation's result is not logged here: its
// reason, in words, is kept for the caller (Failure()), which reports it.
// What goes wrong in the clean-up after it is logged as it happens.
#ifndef SUITE_ENDECRYPT_TPM_TPMSESSION_H_
#define SUITE_ENDECRYPT_TPM_TPMSESSION_H_

#include <functional>
#include <string>

#include "suite/endecrypt/tpm/TpmStack.h"
#include "suite/endecrypt/tpm/TpmWatchdog.h"
#include "suite/platform/SignalHold.h"

namespace endecrypt {

class TpmObject;

class TpmSession {
 public:
  using Step = std::function<TSS2_RC()>;

  TpmSession(const TpmStack& tss, int timeout_ms);
  TpmSession(const TpmSession&) = delete;
  TpmSession& operator=(const TpmSession&) = delete;
  // Closes the connection; then a held signal acts. The session's objects,
  // made after it, are flushed before.
  ~TpmSession();

  // Opens the TCTI named by `tcti_conf` and an ESAPI context on it.
  [[nodiscard]] bool Open(const std::string& tcti_conf);
  // False, with the failed call `what` and the TPM's decoded reason kept
  // as the failure, when `rc` is not success.
  [[nodiscard]] bool Check(TSS2_RC rc, const char* what);
  // Sends one command with `send` and waits for its answer with `finish`,
  // at most the timeout. False (the reason kept) when the TPM refused, did
  // not answer in time, or a signal came before it was sent.
  [[nodiscard]] bool Exchange(const char* what, const Step& send, const Step& finish);
  // An Exchange whose `finish` yields the handle of a new object or
  // session, which `object` then holds.
  [[nodiscard]] bool Make(TpmObject& object, const char* what, const Step& send,
                          const std::function<TSS2_RC(ESYS_TR*)>& finish);
  // Wipes the response parameters ESAPI keeps in its buffer until the next
  // command or Esys_Finalize: after an unseal, the key in clear.
  void WipeResponse() const;

  // Why the conversation failed: its first failure in words ("TPM: ..."),
  // empty while none.
  const std::string& Failure() const { return failure; }

  ESYS_CONTEXT* get() const { return esys; }
  const TpmStack& stack() const { return tss; }

 private:
  friend class TpmObject;
  // The conversation's connection: answering, cut, replaced by a new one
  // for flushing, or that one lost as well.
  enum class Link { kUp, kCut, kReopened, kLost };

  [[nodiscard]] bool Connect(bool cleanup);
  // Keeps `reason` as the failure, or logs it when it comes in the clean-up
  // or after the failure kept. Always false.
  bool Fail(std::string reason, bool cleanup);
  [[nodiscard]] bool Check(TSS2_RC rc, const char* what, bool cleanup);
  [[nodiscard]] bool Exchange(const char* what, const Step& send, const Step& finish,
                              bool cleanup);
  void Flush(const TpmObject& object);
  void Close();

  platform::SignalHold signals;  // first: the watchdog's thread inherits the mask
  const TpmStack& tss;
  const int timeout_ms;
  std::string tcti_conf;
  TpmWatchdog watchdog;  // made before the TCTI, so it may cut the TCTI's sockets
  Link link = Link::kUp;
  bool stopped = false;  // by a signal, told once
  std::string failure;
  TSS2_TCTI_CONTEXT* tcti = nullptr;
  ESYS_CONTEXT* esys = nullptr;
};

// A transient object or session loaded in a TpmSession's TPM, flushed from
// it when destroyed, on every path. Declared after its session, so
// destroyed before it.
class TpmObject {
 public:
  explicit TpmObject(TpmSession& session) : session(session) {}
  TpmObject(const TpmObject&) = delete;
  TpmObject& operator=(const TpmObject&) = delete;
  ~TpmObject() { session.Flush(*this); }

  // ESYS_TR_NONE until made.
  ESYS_TR get() const { return handle; }

 private:
  friend class TpmSession;
  TpmSession& session;
  ESYS_TR handle = ESYS_TR_NONE;
  TPM2_HANDLE tpm_handle = 0;  // the TPM's own: a new connection flushes by it
};

}  // namespace endecrypt

#endif  // SUITE_ENDECRYPT_TPM_TPMSESSION_H_
