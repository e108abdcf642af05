// The TPM software stack as the tpm2 sealer reaches it: the TSS libraries
// (ESAPI, TCTI loader, response codes, marshalling) are loaded through
// platform::SharedLibrary the first time a sealed key is met, so a run that
// never meets one maps none of them. The table, once loaded, stays for the
// life of the process and is safe to use from any thread.
#ifndef SUITE_ENDECRYPT_TPM_TPMSTACK_H_
#define SUITE_ENDECRYPT_TPM_TPMSTACK_H_

#include <tss2/tss2_esys.h>
#include <tss2/tss2_mu.h>
#include <tss2/tss2_rc.h>
#include <tss2/tss2_sys.h>
#include <tss2/tss2_tctildr.h>

#include <string>

namespace endecrypt {

// The TSS calls the sealer makes, each named as the function it points to.
struct TpmStack {
#define KELVOX_TSS2_FUNCTIONS(X)                                                              \
  X(Esys_Initialize) X(Esys_Finalize) X(Esys_Free) X(Esys_SetTimeout) X(Esys_GetSysContext)   \
  X(Esys_TR_GetName) X(Esys_TR_GetTpmHandle) X(Esys_TRSess_SetAttributes)                     \
  X(Esys_FlushContext_Async) X(Esys_FlushContext_Finish)                                      \
  X(Esys_CreatePrimary_Async) X(Esys_CreatePrimary_Finish)                                    \
  X(Esys_StartAuthSession_Async) X(Esys_StartAuthSession_Finish)                              \
  X(Esys_PolicyPCR_Async) X(Esys_PolicyPCR_Finish)                                            \
  X(Esys_PolicyGetDigest_Async) X(Esys_PolicyGetDigest_Finish)                                \
  X(Esys_Create_Async) X(Esys_Create_Finish) X(Esys_Load_Async) X(Esys_Load_Finish)           \
  X(Esys_Unseal_Async) X(Esys_Unseal_Finish)                                                  \
  X(Tss2_Sys_GetRpBuffer) X(Tss2_Sys_FlushContext_Prepare) X(Tss2_Sys_ExecuteAsync)           \
  X(Tss2_Sys_ExecuteFinish) X(Tss2_TctiLdr_Initialize) X(Tss2_TctiLdr_Finalize)               \
  X(Tss2_RC_Decode) X(Tss2_MU_TPM2B_PUBLIC_Marshal) X(Tss2_MU_TPM2B_PUBLIC_Unmarshal)         \
  X(Tss2_MU_TPM2B_PRIVATE_Marshal) X(Tss2_MU_TPM2B_PRIVATE_Unmarshal)                         \
  X(Tss2_MU_TPM2B_NAME_Marshal) X(Tss2_MU_TPM2B_NAME_Unmarshal)
#define KELVOX_TSS2_MEMBER(name) decltype(&::name) name = nullptr;
  KELVOX_TSS2_FUNCTIONS(KELVOX_TSS2_MEMBER)
#undef KELVOX_TSS2_MEMBER
};

// The loaded stack, or null with `reason` ("TPM: ...") when a library or
// one of its functions is missing. Loads on the first call only.
const TpmStack* LoadTpmStack(std::string& reason);

// For a TCTI that reaches the TPM over TCP (`swtpm:` and `mssim:`, host
// and port as those TCTIs read them), tries a connection that must be
// accepted within `timeout_ms`; the TCTIs themselves would wait as long as
// the system does. True for every other TCTI; false with `reason`
// ("TPM: ...") when the TPM did not answer.
[[nodiscard]] bool ProbeTpmConnection(const std::string& tcti, int timeout_ms,
                                      std::string& reason);

}  // namespace endecrypt

#endif  // SUITE_ENDECRYPT_TPM_TPMSTACK_H_
