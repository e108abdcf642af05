// The tpm2 sealer of HostKeyProtection.h: the host key as a keyed-hash
// sealed data object under the owner hierarchy's primary storage key,
// recreated from its fixed template on every call, so no persistent handle
// needs managing. The key crosses the bus only inside parameter encryption
// (an HMAC session salted by the primary key). With PCRs in the settings,
// the object's policy binds it to their values at sealing time.
//
// Sealed data, after the key file's header:
//   pcr mask (u32, little-endian; bit i = PCR i of the SHA-256 bank)
//   ‖ TPM2B_PUBLIC ‖ TPM2B_PRIVATE, as the TPM marshals them.
#if !defined(_WIN32)
#include <sodium.h>
#include <tss2/tss2_esys.h>
#include <tss2/tss2_mu.h>
#include <tss2/tss2_rc.h>
#include <tss2/tss2_tctildr.h>

#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "host/EnDecrypt.h"
#include "host/Log.h"
#include "suite/endecrypt/HostKeyProtection.h"
#include "suite/endecrypt/KeyDerivation.h"
#include "suite/endecrypt/SecureBuffer.h"

namespace endecrypt {
namespace {

constexpr std::size_t kPcrMaskSize = 4;
constexpr std::size_t kPcrSelectBytes = 3;  // PCRs 0 to 23

// Releases what ESAPI allocated for an output.
struct EsysFree {
  void operator()(void* memory) const { Esys_Free(memory); }
};
template <typename T>
using EsysOut = std::unique_ptr<T, EsysFree>;

// One conversation with the TPM: the TCTI and the ESAPI context, and every
// transient object and session made in it, flushed and finalised on
// destruction, on every path.
class TpmSession {
 public:
  TpmSession() = default;
  TpmSession(const TpmSession&) = delete;
  TpmSession& operator=(const TpmSession&) = delete;
  ~TpmSession() {
    for (auto handle = handles.rbegin(); handle != handles.rend(); ++handle) {
      static_cast<void>(Esys_FlushContext(esys, *handle));  // nothing more to do if it fails
    }
    if (esys != nullptr) Esys_Finalize(&esys);
    if (tcti != nullptr) Tss2_TctiLdr_Finalize(&tcti);
  }

  [[nodiscard]] bool Open(const std::string& tcti_conf) {
    return Check(Tss2_TctiLdr_Initialize(tcti_conf.c_str(), &tcti), "opening the TCTI") &&
           Check(Esys_Initialize(&esys, tcti, nullptr), "starting ESAPI");
  }

  // Logs a failed call `what` with the TPM's decoded reason.
  static bool Check(TSS2_RC rc, const char* what) {
    if (rc == TSS2_RC_SUCCESS) return true;
    KLOG(1) << "TPM: " << what << " failed: " << Tss2_RC_Decode(rc);
    return false;
  }

  // Remembers `handle` to flush it on destruction.
  ESYS_TR Keep(ESYS_TR handle) {
    handles.push_back(handle);
    return handle;
  }

  ESYS_CONTEXT* get() const { return esys; }

 private:
  TSS2_TCTI_CONTEXT* tcti = nullptr;
  ESYS_CONTEXT* esys = nullptr;
  std::vector<ESYS_TR> handles;
};

// The TSS logs to standard error by default, which would garble the
// command's console; our log carries the reason instead. An administrator's
// own TSS2_LOG is kept.
void QuietTssLog() {
  static std::once_flag once;
  std::call_once(once, [] { ::setenv("TSS2_LOG", "all+none", 0); });
}

TPML_PCR_SELECTION PcrSelection(std::uint32_t mask) {
  TPML_PCR_SELECTION selection = {};
  if (mask == 0) return selection;
  selection.count = 1;
  selection.pcrSelections[0].hash = TPM2_ALG_SHA256;
  selection.pcrSelections[0].sizeofSelect = kPcrSelectBytes;
  for (std::size_t i = 0; i < kPcrSelectBytes; ++i) {
    selection.pcrSelections[0].pcrSelect[i] = static_cast<BYTE>(mask >> (8 * i));
  }
  return selection;
}

// The owner hierarchy's ECC P-256 storage key from the standard template:
// the same key on every call on the same TPM, none on another.
bool CreatePrimary(TpmSession& tpm, ESYS_TR& primary) {
  TPM2B_SENSITIVE_CREATE sensitive = {};
  TPM2B_PUBLIC public_template = {};
  TPMT_PUBLIC& area = public_template.publicArea;
  area.type = TPM2_ALG_ECC;
  area.nameAlg = TPM2_ALG_SHA256;
  area.objectAttributes = TPMA_OBJECT_FIXEDTPM | TPMA_OBJECT_FIXEDPARENT |
                          TPMA_OBJECT_SENSITIVEDATAORIGIN | TPMA_OBJECT_USERWITHAUTH |
                          TPMA_OBJECT_NODA | TPMA_OBJECT_RESTRICTED | TPMA_OBJECT_DECRYPT;
  area.parameters.eccDetail.symmetric.algorithm = TPM2_ALG_AES;
  area.parameters.eccDetail.symmetric.keyBits.aes = 128;
  area.parameters.eccDetail.symmetric.mode.aes = TPM2_ALG_CFB;
  area.parameters.eccDetail.scheme.scheme = TPM2_ALG_NULL;
  area.parameters.eccDetail.curveID = TPM2_ECC_NIST_P256;
  area.parameters.eccDetail.kdf.scheme = TPM2_ALG_NULL;
  const TPM2B_DATA outside = {};
  const TPML_PCR_SELECTION creation_pcrs = {};
  ESYS_TR handle = ESYS_TR_NONE;
  if (!TpmSession::Check(
          Esys_CreatePrimary(tpm.get(), ESYS_TR_RH_OWNER, ESYS_TR_PASSWORD, ESYS_TR_NONE,
                             ESYS_TR_NONE, &sensitive, &public_template, &outside, &creation_pcrs,
                             &handle, nullptr, nullptr, nullptr, nullptr),
          "creating the primary key")) {
    return false;
  }
  primary = tpm.Keep(handle);
  return true;
}

// Starts a session of `type` on `tpm`: salted by `primary` and with AES
// parameter encryption for kHmac, plain for policy and trial sessions.
bool StartSession(TpmSession& tpm, ESYS_TR primary, TPM2_SE type, ESYS_TR& session) {
  TPMT_SYM_DEF symmetric = {};
  symmetric.algorithm = TPM2_ALG_NULL;
  if (type == TPM2_SE_HMAC) {
    symmetric.algorithm = TPM2_ALG_AES;
    symmetric.keyBits.aes = 128;
    symmetric.mode.aes = TPM2_ALG_CFB;
  }
  ESYS_TR handle = ESYS_TR_NONE;
  if (!TpmSession::Check(
          Esys_StartAuthSession(tpm.get(), type == TPM2_SE_HMAC ? primary : ESYS_TR_NONE,
                                ESYS_TR_NONE, ESYS_TR_NONE, ESYS_TR_NONE, ESYS_TR_NONE, nullptr,
                                type, &symmetric, TPM2_ALG_SHA256, &handle),
          "starting a session")) {
    return false;
  }
  session = tpm.Keep(handle);
  return TpmSession::Check(Esys_TRSess_SetAttributes(tpm.get(), session,
                                                     TPMA_SESSION_CONTINUESESSION, 0xff),
                           "setting session attributes");
}

// Runs PolicyPCR for `mask` in `session`: against the PCRs' present values.
bool ApplyPcrPolicy(TpmSession& tpm, ESYS_TR session, std::uint32_t mask) {
  const TPM2B_DIGEST current = {};
  const TPML_PCR_SELECTION selection = PcrSelection(mask);
  return TpmSession::Check(Esys_PolicyPCR(tpm.get(), session, ESYS_TR_NONE, ESYS_TR_NONE,
                                          ESYS_TR_NONE, &current, &selection),
                           "binding to PCR values");
}

// Stores in `digest` the policy that binds an object to the present values
// of the PCRs in `mask`.
bool ComputePcrPolicy(TpmSession& tpm, std::uint32_t mask, TPM2B_DIGEST& digest) {
  ESYS_TR trial = ESYS_TR_NONE;
  EsysOut<TPM2B_DIGEST> computed;
  TPM2B_DIGEST* out = nullptr;
  const bool ok = StartSession(tpm, ESYS_TR_NONE, TPM2_SE_TRIAL, trial) &&
                  ApplyPcrPolicy(tpm, trial, mask) &&
                  TpmSession::Check(Esys_PolicyGetDigest(tpm.get(), trial, ESYS_TR_NONE,
                                                         ESYS_TR_NONE, ESYS_TR_NONE, &out),
                                    "reading the policy digest");
  computed.reset(out);
  if (!ok) return false;
  digest = *computed;
  return true;
}

bool SetEncryption(TpmSession& tpm, ESYS_TR session, TPMA_SESSION direction) {
  return TpmSession::Check(
      Esys_TRSess_SetAttributes(tpm.get(), session, TPMA_SESSION_CONTINUESESSION | direction,
                                0xff),
      "setting parameter encryption");
}

void PutMask(std::uint32_t mask, std::vector<unsigned char>& out) {
  for (std::size_t i = 0; i < kPcrMaskSize; ++i) {
    out.push_back(static_cast<unsigned char>(mask >> (8 * i)));
  }
}

// Wipes a sensitive TPM structure on every path.
template <typename T>
class Wiped {
 public:
  Wiped() : value{} {}
  Wiped(const Wiped&) = delete;
  Wiped& operator=(const Wiped&) = delete;
  ~Wiped() { sodium_memzero(&value, sizeof(value)); }
  T value;
};

}  // namespace

int SealWithTpm2(const ProtectionSettings& settings, const SecureBuffer& key,
                 std::vector<unsigned char>& sealed) {
  QuietTssLog();
  TpmSession tpm;
  ESYS_TR primary = ESYS_TR_NONE;
  ESYS_TR encryption = ESYS_TR_NONE;
  TPM2B_PUBLIC public_template = {};
  TPMT_PUBLIC& area = public_template.publicArea;
  area.type = TPM2_ALG_KEYEDHASH;
  area.nameAlg = TPM2_ALG_SHA256;
  area.objectAttributes = TPMA_OBJECT_FIXEDTPM | TPMA_OBJECT_FIXEDPARENT | TPMA_OBJECT_NODA;
  area.parameters.keyedHashDetail.scheme.scheme = TPM2_ALG_NULL;
  if (!tpm.Open(settings.tpm2_tcti) || !CreatePrimary(tpm, primary)) {
    return endecrypt_status::kNoCredential;
  }
  if (settings.tpm2_pcrs == 0) {
    area.objectAttributes |= TPMA_OBJECT_USERWITHAUTH;
  } else if (!ComputePcrPolicy(tpm, settings.tpm2_pcrs, area.authPolicy)) {
    return endecrypt_status::kNoCredential;
  }
  Wiped<TPM2B_SENSITIVE_CREATE> sensitive;
  sensitive.value.sensitive.data.size = kHostKeySize;
  std::memcpy(sensitive.value.sensitive.data.buffer, key.data(), kHostKeySize);
  const TPM2B_DATA outside = {};
  const TPML_PCR_SELECTION creation_pcrs = {};
  TPM2B_PRIVATE* private_out = nullptr;
  TPM2B_PUBLIC* public_out = nullptr;
  const bool started = StartSession(tpm, primary, TPM2_SE_HMAC, encryption) &&
                       SetEncryption(tpm, encryption, TPMA_SESSION_DECRYPT);
  const bool created =
      started && TpmSession::Check(Esys_Create(tpm.get(), primary, ESYS_TR_PASSWORD, encryption,
                                               ESYS_TR_NONE, &sensitive.value, &public_template,
                                               &outside, &creation_pcrs, &private_out,
                                               &public_out, nullptr, nullptr, nullptr),
                                   "sealing the host key");
  const EsysOut<TPM2B_PRIVATE> private_blob(private_out);
  const EsysOut<TPM2B_PUBLIC> public_blob(public_out);
  if (!created) return endecrypt_status::kNoCredential;
  std::vector<unsigned char> out;
  PutMask(settings.tpm2_pcrs, out);
  std::size_t offset = out.size();
  out.resize(offset + sizeof(TPM2B_PUBLIC) + sizeof(TPM2B_PRIVATE));
  if (!TpmSession::Check(
          Tss2_MU_TPM2B_PUBLIC_Marshal(public_blob.get(), out.data(), out.size(), &offset),
          "marshalling the sealed object") ||
      !TpmSession::Check(
          Tss2_MU_TPM2B_PRIVATE_Marshal(private_blob.get(), out.data(), out.size(), &offset),
          "marshalling the sealed object")) {
    return endecrypt_status::kInternal;
  }
  out.resize(offset);
  sealed = std::move(out);
  return endecrypt_status::kOk;
}

int UnsealWithTpm2(const ProtectionSettings& settings, const unsigned char* sealed,
                   std::size_t size, SecureBuffer& key) {
  QuietTssLog();
  if (size < kPcrMaskSize) {
    KLOG(1) << "TPM-sealed host key is truncated";
    return endecrypt_status::kNoCredential;
  }
  std::uint32_t mask = 0;
  for (std::size_t i = 0; i < kPcrMaskSize; ++i) mask |= std::uint32_t{sealed[i]} << (8 * i);
  TPM2B_PUBLIC public_blob = {};
  TPM2B_PRIVATE private_blob = {};
  std::size_t offset = kPcrMaskSize;
  if (mask >> (kMaxPcrIndex + 1) != 0 ||
      Tss2_MU_TPM2B_PUBLIC_Unmarshal(sealed, size, &offset, &public_blob) != TSS2_RC_SUCCESS ||
      Tss2_MU_TPM2B_PRIVATE_Unmarshal(sealed, size, &offset, &private_blob) !=
          TSS2_RC_SUCCESS ||
      offset != size) {
    KLOG(1) << "TPM-sealed host key does not parse";
    return endecrypt_status::kNoCredential;
  }
  TpmSession tpm;
  ESYS_TR primary = ESYS_TR_NONE;
  ESYS_TR encryption = ESYS_TR_NONE;
  ESYS_TR object = ESYS_TR_NONE;
  ESYS_TR authorization = ESYS_TR_PASSWORD;
  if (!tpm.Open(settings.tpm2_tcti) || !CreatePrimary(tpm, primary) ||
      !TpmSession::Check(Esys_Load(tpm.get(), primary, ESYS_TR_PASSWORD, ESYS_TR_NONE,
                                   ESYS_TR_NONE, &private_blob, &public_blob, &object),
                         "loading the sealed host key")) {
    return endecrypt_status::kNoCredential;
  }
  tpm.Keep(object);
  if (mask != 0 && (!StartSession(tpm, ESYS_TR_NONE, TPM2_SE_POLICY, authorization) ||
                    !ApplyPcrPolicy(tpm, authorization, mask))) {
    return endecrypt_status::kNoCredential;
  }
  TPM2B_SENSITIVE_DATA* out = nullptr;
  const bool unsealed =
      StartSession(tpm, primary, TPM2_SE_HMAC, encryption) &&
      SetEncryption(tpm, encryption, TPMA_SESSION_ENCRYPT) &&
      TpmSession::Check(Esys_Unseal(tpm.get(), object, authorization, encryption, ESYS_TR_NONE,
                                    &out),
                        "unsealing the host key");
  const EsysOut<TPM2B_SENSITIVE_DATA> data(out);
  int result = unsealed ? endecrypt_status::kOk : endecrypt_status::kNoCredential;
  SecureBuffer opened;
  if (unsealed && !opened.Allocate(data->size)) result = endecrypt_status::kInternal;
  if (result == endecrypt_status::kOk) {
    std::memcpy(opened.data(), data->buffer, data->size);
    key = std::move(opened);
  }
  if (data != nullptr) sodium_memzero(data.get(), sizeof(*data));
  return result;
}

}  // namespace endecrypt

#else  // _WIN32

#include "host/EnDecrypt.h"
#include "host/Log.h"
#include "suite/endecrypt/HostKeyProtection.h"

namespace endecrypt {

int SealWithTpm2(const ProtectionSettings&, const SecureBuffer&, std::vector<unsigned char>&) {
  KLOG(1) << "host key protection 'tpm2' exists only on Linux";
  return endecrypt_status::kBadConfiguration;
}

int UnsealWithTpm2(const ProtectionSettings&, const unsigned char*, std::size_t, SecureBuffer&) {
  KLOG(1) << "host key is sealed by a TPM, which this build does not use";
  return endecrypt_status::kNoCredential;
}

}  // namespace endecrypt

#endif  // _WIN32
