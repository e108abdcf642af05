#include "suite/endecrypt/tpm/TpmSession.h"

#include <sodium.h>

#include <chrono>
#include <string>
#include <utility>

#include "host/Log.h"

namespace endecrypt {
namespace {

bool TryAgain(TSS2_RC rc) { return (rc & ~TSS2_RC_LAYER_MASK) == TSS2_BASE_RC_TRY_AGAIN; }

}  // namespace

TpmSession::TpmSession(const TpmStack& tss, int timeout_ms) : tss(tss), timeout_ms(timeout_ms) {}

TpmSession::~TpmSession() { Close(); }

bool TpmSession::Open(const std::string& conf) {
  tcti_conf = conf;
  return Connect(false);
}

// Opening a TCTI may talk to the TPM already (a socket TCTI's start-up
// commands), so it is bounded like an exchange.
bool TpmSession::Connect(bool cleanup) {
  if (std::string unreachable; !ProbeTpmConnection(tcti_conf, timeout_ms, unreachable)) {
    return Fail(std::move(unreachable), cleanup);
  }
  return Exchange(
             "opening the TCTI",
             [&] { return tss.Tss2_TctiLdr_Initialize(tcti_conf.c_str(), &tcti); },
             [] { return TSS2_RC_SUCCESS; }, cleanup) &&
         Check(tss.Esys_Initialize(&esys, tcti, nullptr), "starting ESAPI", cleanup) &&
         Check(tss.Esys_SetTimeout(esys, timeout_ms), "setting the timeout", cleanup);
}

void TpmSession::Close() {
  if (esys != nullptr) tss.Esys_Finalize(&esys);
  if (tcti != nullptr) tss.Tss2_TctiLdr_Finalize(&tcti);
}

bool TpmSession::Fail(std::string reason, bool cleanup) {
  if (cleanup || !failure.empty()) {
    KLOG(1) << reason;
  } else {
    failure = std::move(reason);
  }
  return false;
}

bool TpmSession::Check(TSS2_RC rc, const char* what) { return Check(rc, what, false); }

bool TpmSession::Check(TSS2_RC rc, const char* what, bool cleanup) {
  if (rc == TSS2_RC_SUCCESS) return true;
  return Fail(std::string("TPM: ") + what + " failed: " + tss.Tss2_RC_Decode(rc), cleanup);
}

bool TpmSession::Exchange(const char* what, const Step& send, const Step& finish) {
  return Exchange(what, send, finish, false);
}

// ESAPI lets `finish` wait up to the timeout and asks for it to be called
// again (TRY_AGAIN) when nothing came, or when the TPM asked for a retry. A
// TCTI that blocks past the deadline instead is cut off by the watchdog.
// A clean-up exchange (a flush) goes ahead after a signal too.
bool TpmSession::Exchange(const char* what, const Step& send, const Step& finish,
                          bool cleanup) {
  if (link == Link::kCut || link == Link::kLost) return false;
  if (!cleanup && signals.Pending()) {
    if (!stopped) {
      stopped = true;
      return Fail(std::string("TPM: stopped by a signal before ") + what, false);
    }
    return false;
  }
  const auto deadline = TpmWatchdog::Clock::now() + std::chrono::milliseconds(timeout_ms);
  watchdog.Arm(deadline);
  TSS2_RC rc = send();
  bool late = false;
  if (rc == TSS2_RC_SUCCESS) {
    do {
      rc = finish();
      late = TpmWatchdog::Clock::now() >= deadline;
    } while (TryAgain(rc) && !late);
  }
  if (watchdog.Disarm() || (TryAgain(rc) && late)) {
    link = link == Link::kUp ? Link::kCut : Link::kLost;
    return Fail(std::string("TPM: ") + what + " got no answer within " +
                    std::to_string(timeout_ms) + " ms",
                cleanup);
  }
  return Check(rc, what, cleanup);
}

bool TpmSession::Make(TpmObject& object, const char* what, const Step& send,
                      const std::function<TSS2_RC(ESYS_TR*)>& finish) {
  ESYS_TR handle = ESYS_TR_NONE;
  const bool made = Exchange(what, send, [&] { return finish(&handle); });
  // Kept even when the watchdog struck as the answer came: it is loaded.
  // Without its TPM handle it is only flushed over this connection, which
  // decides nothing: the failure is logged.
  if (handle != ESYS_TR_NONE) {
    object.handle = handle;
    static_cast<void>(Check(tss.Esys_TR_GetTpmHandle(esys, handle, &object.tpm_handle),
                            "reading a TPM handle", true));
  }
  return made;
}

void TpmSession::WipeResponse() const {
  TSS2_SYS_CONTEXT* sys = nullptr;
  std::size_t size = 0;
  const std::uint8_t* buffer = nullptr;
  if (esys != nullptr && tss.Esys_GetSysContext(esys, &sys) == TSS2_RC_SUCCESS &&
      tss.Tss2_Sys_GetRpBuffer(sys, &size, &buffer) == TSS2_RC_SUCCESS) {
    sodium_memzero(const_cast<std::uint8_t*>(buffer), size);
  }
}

void TpmSession::Flush(const TpmObject& object) {
  if (object.handle == ESYS_TR_NONE) return;
  if (link == Link::kUp &&
      (Exchange(
           "flushing a transient object",
           [&] { return tss.Esys_FlushContext_Async(esys, object.handle); },
           [&] { return tss.Esys_FlushContext_Finish(esys); }, true) ||
       link == Link::kUp)) {
    return;  // flushed, or refused by a TPM that no longer holds it
  }
  if (object.tpm_handle == 0) return;
  if (link == Link::kCut) {
    KLOG(1) << "TPM: flushing what the cut conversation loaded over a new connection";
    Close();
    link = Link::kReopened;
    if (!Connect(true)) link = Link::kLost;
  }
  TSS2_SYS_CONTEXT* sys = nullptr;
  static_cast<void>(
      link == Link::kReopened &&
      Check(tss.Esys_GetSysContext(esys, &sys), "reaching the new connection", true) &&
      Check(tss.Tss2_Sys_FlushContext_Prepare(sys, object.tpm_handle), "preparing a flush",
            true) &&
      Exchange(
          "flushing a transient object over a new connection",
          [&] { return tss.Tss2_Sys_ExecuteAsync(sys); },
          [&] { return tss.Tss2_Sys_ExecuteFinish(sys, timeout_ms); }, true));
}

}  // namespace endecrypt
