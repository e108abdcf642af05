// The tpm2 sealer of HostKeyProtection.h: the host key as a keyed-hash
// sealed data object under the owner hierarchy's primary storage key,
// recreated from its fixed template on every call, so no persistent handle
// needs managing. The key crosses the bus only inside parameter encryption
// (an HMAC session salted by the primary key), and only once the primary
// key the TPM recreated has the Name recorded at sealing time: a different
// key would be one whose owner reads the salt. With PCRs in the settings,
// the object's policy binds it to their values at sealing time. Every
// exchange with the TPM waits at most the configured timeout, even over a
// TCTI that would block for ever, and every object and session loaded is
// flushed again however the call ends (tpm/TpmSession.h). The transport
// keeps the reason of a failure; the sealer logs it where it decides its
// result.
//
// Sealed data, after the key file's header (version 2):
//   pcr mask (u32, little-endian; bit i = PCR i of the SHA-256 bank)
//   ‖ TPM2B_NAME of the primary ‖ TPM2B_PUBLIC ‖ TPM2B_PRIVATE
// and the object holds the key ‖ BLAKE2b-256 of the mask and the Name, so
// the recorded Name is checked by what the TPM kept too. Version 1 files
// lack the Name and hold the key alone; they are read as before, unpinned.
// Each TPM2B's size field must be exactly the bytes that follow it, and
// nothing may follow the TPM2B_PRIVATE: the file is refused otherwise,
// before the TPM is asked anything.
#include <sodium.h>

#include <cstring>
#include <mutex>
#include <string>
#include <vector>

#include "host/Log.h"
#include "host/StoreVocabulary.h"
#include "suite/endecrypt/HostKeyProtection.h"
#include "suite/endecrypt/KeyDerivation.h"
#include "suite/endecrypt/SecureBuffer.h"
#include "suite/endecrypt/tpm/TpmSession.h"
#include "suite/endecrypt/tpm/TpmStack.h"
#include "suite/platform/Process.h"

namespace endecrypt {
namespace {

constexpr std::size_t kPcrMaskSize = 4;
constexpr std::size_t kPcrSelectBytes = 3;  // PCRs 0 to 23
constexpr std::uint8_t kUnpinnedVersion = 1;
// What a version 2 object holds after the key: the binding of the mask and Name.
constexpr std::size_t kBindingSize = crypto_generichash_BYTES;
constexpr char kBindingContext[] = "kelvox tpm2 sealed host key: pcr mask and primary name";

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

// Releases what ESAPI allocated for an output, wiping it first.
template <typename T>
class EsysOut {
 public:
  explicit EsysOut(const TpmStack& tss) : tss(tss) {}
  EsysOut(const EsysOut&) = delete;
  EsysOut& operator=(const EsysOut&) = delete;
  ~EsysOut() {
    if (value == nullptr) return;
    sodium_memzero(value, sizeof(*value));
    tss.Esys_Free(value);
  }
  T** out() { return &value; }
  T* get() const { return value; }

 private:
  const TpmStack& tss;
  T* value = nullptr;
};

// The TSS logs to standard error by default, which would garble the
// command's console; our log carries the reason instead. An administrator's
// own TSS2_LOG is kept.
void QuietTssLog() {
  static std::once_flag once;
  std::call_once(once, [] { platform::SetEnvironmentUnlessSet("TSS2_LOG", "all+none"); });
}

// The one report of a failure whose reason the transport kept: logged, and
// `code` returned.
StoreStatus Failed(int code, const std::string& reason) {
  if (!reason.empty()) {
    KLOG(1) << reason;
  }
  return code;
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
// the same key on every call on the same TPM, none on another. Held by
// `primary`, its Name stored in `name`.
bool CreatePrimary(TpmSession& tpm, TpmObject& primary, TPM2B_NAME& name) {
  const TpmStack& tss = tpm.stack();
  const TPM2B_SENSITIVE_CREATE sensitive = {};
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
  if (!tpm.Make(
          primary, "creating the primary key",
          [&] {
            return tss.Esys_CreatePrimary_Async(tpm.get(), ESYS_TR_RH_OWNER, ESYS_TR_PASSWORD,
                                                ESYS_TR_NONE, ESYS_TR_NONE, &sensitive,
                                                &public_template, &outside, &creation_pcrs);
          },
          [&](ESYS_TR* handle) {
            return tss.Esys_CreatePrimary_Finish(tpm.get(), handle, nullptr, nullptr, nullptr,
                                                 nullptr);
          })) {
    return false;
  }
  EsysOut<TPM2B_NAME> computed(tss);
  if (!tpm.Check(tss.Esys_TR_GetName(tpm.get(), primary.get(), computed.out()),
                 "reading the primary key's name")) {
    return false;
  }
  name = *computed.get();
  return true;
}

// Starts a session of `type` on `tpm`: salted by `primary` and with AES
// parameter encryption for kHmac, plain for policy and trial sessions.
// Held by `session`.
bool StartSession(TpmSession& tpm, ESYS_TR primary, TPM2_SE type, TpmObject& session) {
  const TpmStack& tss = tpm.stack();
  TPMT_SYM_DEF symmetric = {};
  symmetric.algorithm = TPM2_ALG_NULL;
  if (type == TPM2_SE_HMAC) {
    symmetric.algorithm = TPM2_ALG_AES;
    symmetric.keyBits.aes = 128;
    symmetric.mode.aes = TPM2_ALG_CFB;
  }
  if (!tpm.Make(
          session, "starting a session",
          [&] {
            return tss.Esys_StartAuthSession_Async(
                tpm.get(), type == TPM2_SE_HMAC ? primary : ESYS_TR_NONE, ESYS_TR_NONE,
                ESYS_TR_NONE, ESYS_TR_NONE, ESYS_TR_NONE, nullptr, type, &symmetric,
                TPM2_ALG_SHA256);
          },
          [&](ESYS_TR* handle) { return tss.Esys_StartAuthSession_Finish(tpm.get(), handle); })) {
    return false;
  }
  return tpm.Check(
      tss.Esys_TRSess_SetAttributes(tpm.get(), session.get(), TPMA_SESSION_CONTINUESESSION, 0xff),
      "setting session attributes");
}

// Runs PolicyPCR for `mask` in `session`: against the PCRs' present values.
bool ApplyPcrPolicy(TpmSession& tpm, ESYS_TR session, std::uint32_t mask) {
  const TpmStack& tss = tpm.stack();
  const TPM2B_DIGEST current = {};
  const TPML_PCR_SELECTION selection = PcrSelection(mask);
  return tpm.Exchange(
      "binding to PCR values",
      [&] {
        return tss.Esys_PolicyPCR_Async(tpm.get(), session, ESYS_TR_NONE, ESYS_TR_NONE,
                                        ESYS_TR_NONE, &current, &selection);
      },
      [&] { return tss.Esys_PolicyPCR_Finish(tpm.get()); });
}

// Stores in `digest` the policy that binds an object to the present values
// of the PCRs in `mask`.
bool ComputePcrPolicy(TpmSession& tpm, std::uint32_t mask, TPM2B_DIGEST& digest) {
  const TpmStack& tss = tpm.stack();
  TpmObject trial(tpm);
  EsysOut<TPM2B_DIGEST> computed(tss);
  if (!StartSession(tpm, ESYS_TR_NONE, TPM2_SE_TRIAL, trial) ||
      !ApplyPcrPolicy(tpm, trial.get(), mask) ||
      !tpm.Exchange(
          "reading the policy digest",
          [&] {
            return tss.Esys_PolicyGetDigest_Async(tpm.get(), trial.get(), ESYS_TR_NONE,
                                                  ESYS_TR_NONE, ESYS_TR_NONE);
          },
          [&] { return tss.Esys_PolicyGetDigest_Finish(tpm.get(), computed.out()); })) {
    return false;
  }
  digest = *computed.get();
  return true;
}

bool SetEncryption(TpmSession& tpm, ESYS_TR session, TPMA_SESSION direction) {
  return tpm.Check(tpm.stack().Esys_TRSess_SetAttributes(
                       tpm.get(), session, TPMA_SESSION_CONTINUESESSION | direction, 0xff),
                   "setting parameter encryption");
}

// What the object holds after the key: a hash of the mask and the Name as
// the file records them, bytes [0, size) of the sealed data.
bool ComputeBinding(const unsigned char* recorded, std::size_t size,
                    unsigned char (&binding)[kBindingSize]) {
  crypto_generichash_state state;
  return crypto_generichash_init(&state, nullptr, 0, kBindingSize) == 0 &&
         crypto_generichash_update(&state,
                                   reinterpret_cast<const unsigned char*>(kBindingContext),
                                   sizeof(kBindingContext)) == 0 &&
         crypto_generichash_update(&state, recorded, size) == 0 &&
         crypto_generichash_final(&state, binding, kBindingSize) == 0;
}

bool SameName(const TPM2B_NAME& a, const TPM2B_NAME& b) {
  return a.size == b.size && a.size <= sizeof(a.name) &&
         std::memcmp(a.name, b.name, a.size) == 0;
}

// The sealed data of a file, as parsed.
struct SealedParts {
  std::uint32_t mask = 0;
  bool pinned = false;       // version 2: `name` and the binding are there
  TPM2B_NAME name = {};
  std::size_t recorded_size = 0;  // the bytes the binding covers
  TPM2B_PUBLIC public_blob = {};
  TPM2B_PRIVATE private_blob = {};
};

// Reads the TPM2B at `offset` of `sealed` with `unmarshal`, moving `offset`
// past it, when its size field is exactly the bytes its contents took. The
// TSS reads a TPM2B_PUBLIC by its own structure and does not hold it to its
// size field, which the TPM then never sees (it is given the area
// marshalled anew): a file with another size there would still unseal.
template <typename T>
bool UnmarshalSized(TSS2_RC (*unmarshal)(const std::uint8_t[], std::size_t, std::size_t*, T*),
                    const unsigned char* sealed, std::size_t size, std::size_t& offset,
                    T& out) {
  constexpr std::size_t kSizeField = 2;
  if (size - offset < kSizeField) return false;
  const std::size_t start = offset;
  const std::size_t declared = std::size_t{sealed[start]} << 8 | sealed[start + 1];
  return unmarshal(sealed, size, &offset, &out) == TSS2_RC_SUCCESS &&
         offset - start == kSizeField + declared;
}

bool ParseSealed(const TpmStack& tss, std::uint8_t version, const unsigned char* sealed,
                 std::size_t size, SealedParts& parts) {
  if (size < kPcrMaskSize) return false;
  for (std::size_t i = 0; i < kPcrMaskSize; ++i) {
    parts.mask |= std::uint32_t{sealed[i]} << (8 * i);
  }
  std::size_t offset = kPcrMaskSize;
  parts.pinned = version != kUnpinnedVersion;
  if (parts.pinned &&
      !UnmarshalSized(tss.Tss2_MU_TPM2B_NAME_Unmarshal, sealed, size, offset, parts.name)) {
    return false;
  }
  parts.recorded_size = offset;
  return parts.mask >> (kMaxPcrIndex + 1) == 0 &&
         UnmarshalSized(tss.Tss2_MU_TPM2B_PUBLIC_Unmarshal, sealed, size, offset,
                        parts.public_blob) &&
         UnmarshalSized(tss.Tss2_MU_TPM2B_PRIVATE_Unmarshal, sealed, size, offset,
                        parts.private_blob) &&
         offset == size;
}

}  // namespace

StoreStatus SealWithTpm2(const ProtectionSettings& settings, const SecureBuffer& key,
                 std::vector<unsigned char>& sealed) {
  QuietTssLog();
  std::string unusable;
  const TpmStack* tss = LoadTpmStack(unusable);
  if (tss == nullptr) return Failed(endecrypt_status::kNoCredential, unusable);
  TpmSession tpm(*tss, settings.tpm2_timeout_ms);
  TpmObject primary(tpm);
  TpmObject encryption(tpm);
  TPM2B_NAME name = {};
  TPM2B_PUBLIC public_template = {};
  TPMT_PUBLIC& area = public_template.publicArea;
  area.type = TPM2_ALG_KEYEDHASH;
  area.nameAlg = TPM2_ALG_SHA256;
  area.objectAttributes = TPMA_OBJECT_FIXEDTPM | TPMA_OBJECT_FIXEDPARENT | TPMA_OBJECT_NODA;
  area.parameters.keyedHashDetail.scheme.scheme = TPM2_ALG_NULL;
  if (!tpm.Open(settings.tpm2_tcti) || !CreatePrimary(tpm, primary, name)) {
    return Failed(endecrypt_status::kNoCredential, tpm.Failure());
  }
  if (settings.tpm2_pcrs == 0) {
    area.objectAttributes |= TPMA_OBJECT_USERWITHAUTH;
  } else if (!ComputePcrPolicy(tpm, settings.tpm2_pcrs, area.authPolicy)) {
    return Failed(endecrypt_status::kNoCredential, tpm.Failure());
  }
  // The recorded part (mask and Name) first, so the binding can be sealed
  // with the key.
  std::vector<unsigned char> out(kPcrMaskSize + sizeof(TPM2B_NAME) + sizeof(TPM2B_PUBLIC) +
                                 sizeof(TPM2B_PRIVATE));
  for (std::size_t i = 0; i < kPcrMaskSize; ++i) {
    out[i] = static_cast<unsigned char>(settings.tpm2_pcrs >> (8 * i));
  }
  std::size_t offset = kPcrMaskSize;
  Wiped<TPM2B_SENSITIVE_CREATE> sensitive;
  TPM2B_SENSITIVE_DATA& data = sensitive.value.sensitive.data;
  data.size = kHostKeySize + kBindingSize;
  std::memcpy(data.buffer, key.data(), kHostKeySize);
  unsigned char binding[kBindingSize];
  if (!tpm.Check(tss->Tss2_MU_TPM2B_NAME_Marshal(&name, out.data(), out.size(), &offset),
                 "marshalling the primary key's name") ||
      !ComputeBinding(out.data(), offset, binding)) {
    return Failed(endecrypt_status::kInternal, tpm.Failure());
  }
  std::memcpy(data.buffer + kHostKeySize, binding, kBindingSize);
  const TPM2B_DATA outside = {};
  const TPML_PCR_SELECTION creation_pcrs = {};
  EsysOut<TPM2B_PRIVATE> private_blob(*tss);
  EsysOut<TPM2B_PUBLIC> public_blob(*tss);
  if (!StartSession(tpm, primary.get(), TPM2_SE_HMAC, encryption) ||
      !SetEncryption(tpm, encryption.get(), TPMA_SESSION_DECRYPT) ||
      !tpm.Exchange(
          "sealing the host key",
          [&] {
            return tss->Esys_Create_Async(tpm.get(), primary.get(), ESYS_TR_PASSWORD,
                                          encryption.get(),
                                          ESYS_TR_NONE, &sensitive.value, &public_template,
                                          &outside, &creation_pcrs);
          },
          [&] {
            return tss->Esys_Create_Finish(tpm.get(), private_blob.out(), public_blob.out(),
                                           nullptr, nullptr, nullptr);
          })) {
    return Failed(endecrypt_status::kNoCredential, tpm.Failure());
  }
  if (!tpm.Check(tss->Tss2_MU_TPM2B_PUBLIC_Marshal(public_blob.get(), out.data(), out.size(),
                                                   &offset),
                 "marshalling the sealed object") ||
      !tpm.Check(tss->Tss2_MU_TPM2B_PRIVATE_Marshal(private_blob.get(), out.data(), out.size(),
                                                    &offset),
                 "marshalling the sealed object")) {
    return Failed(endecrypt_status::kInternal, tpm.Failure());
  }
  out.resize(offset);
  sealed = std::move(out);
  return endecrypt_status::kOk;
}

StoreStatus UnsealWithTpm2(const ProtectionSettings& settings, std::uint8_t version,
                   const unsigned char* sealed, std::size_t size, SecureBuffer& key) {
  QuietTssLog();
  std::string unusable;
  const TpmStack* tss = LoadTpmStack(unusable);
  if (tss == nullptr) return Failed(endecrypt_status::kNoCredential, unusable);
  SealedParts parts;
  if (!ParseSealed(*tss, version, sealed, size, parts)) {
    KLOG(1) << "TPM-sealed host key does not parse";
    return endecrypt_status::kNoCredential;
  }
  TpmSession tpm(*tss, settings.tpm2_timeout_ms);
  TpmObject primary(tpm);
  TpmObject object(tpm);
  TpmObject policy(tpm);
  TpmObject encryption(tpm);
  TPM2B_NAME name = {};
  if (!tpm.Open(settings.tpm2_tcti) || !CreatePrimary(tpm, primary, name)) {
    return Failed(endecrypt_status::kNoCredential, tpm.Failure());
  }
  // Checked before the primary key salts anything: another key would be
  // one that whoever answers in the TPM's place holds.
  if (parts.pinned && !SameName(name, parts.name)) {
    KLOG(1) << "TPM: the storage primary key is not the one the host key was sealed under";
    return endecrypt_status::kNoCredential;
  }
  if (!tpm.Make(
          object, "loading the sealed host key",
          [&] {
            return tss->Esys_Load_Async(tpm.get(), primary.get(), ESYS_TR_PASSWORD, ESYS_TR_NONE,
                                        ESYS_TR_NONE, &parts.private_blob, &parts.public_blob);
          },
          [&](ESYS_TR* handle) { return tss->Esys_Load_Finish(tpm.get(), handle); })) {
    return Failed(endecrypt_status::kNoCredential, tpm.Failure());
  }
  if (parts.mask != 0 && (!StartSession(tpm, ESYS_TR_NONE, TPM2_SE_POLICY, policy) ||
                          !ApplyPcrPolicy(tpm, policy.get(), parts.mask))) {
    return Failed(endecrypt_status::kNoCredential, tpm.Failure());
  }
  const ESYS_TR authorization = parts.mask != 0 ? policy.get() : ESYS_TR_PASSWORD;
  EsysOut<TPM2B_SENSITIVE_DATA> data(*tss);
  const bool unsealed =
      StartSession(tpm, primary.get(), TPM2_SE_HMAC, encryption) &&
      SetEncryption(tpm, encryption.get(), TPMA_SESSION_ENCRYPT) &&
      tpm.Exchange(
          "unsealing the host key",
          [&] {
            return tss->Esys_Unseal_Async(tpm.get(), object.get(), authorization,
                                          encryption.get(), ESYS_TR_NONE);
          },
          [&] { return tss->Esys_Unseal_Finish(tpm.get(), data.out()); });
  tpm.WipeResponse();
  if (!unsealed) return Failed(endecrypt_status::kNoCredential, tpm.Failure());
  const std::size_t expected = parts.pinned ? kHostKeySize + kBindingSize : kHostKeySize;
  unsigned char binding[kBindingSize];
  if (data.get()->size != expected ||
      (parts.pinned && (!ComputeBinding(sealed, parts.recorded_size, binding) ||
                        sodium_memcmp(binding, data.get()->buffer + kHostKeySize,
                                      kBindingSize) != 0))) {
    KLOG(1) << "TPM: the unsealed host key does not match its file";
    return endecrypt_status::kNoCredential;
  }
  SecureBuffer opened;
  if (!opened.Allocate(kHostKeySize)) return endecrypt_status::kInternal;
  std::memcpy(opened.data(), data.get()->buffer, kHostKeySize);
  key = std::move(opened);
  return endecrypt_status::kOk;
}

}  // namespace endecrypt
