// IMPORT, the import command: opens an age file (age-encryption.org/v1)
// named by "--input" (or standard input for "-") with this host's age
// identities and then its OpenSSH host key (SSH_HOST_KEY_PATH), or with the
// identities of the file "--identity" names (age keys or an OpenSSH
// private key), and
// writes the records of its plaintext, a settings or a credential file,
// into their stores exactly as encrypt writes a plaintext file's. The
// plaintext is only ever held in memory that is wiped when freed.
// Driven from one thread by the host; holds no lock.
#ifndef SRC_MISC_IMPORT_IMPORT_H_
#define SRC_MISC_IMPORT_IMPORT_H_

#include <cstdint>
#include <string>

#include "Src/Misc/Common/CommandFrame.h"
#include "Src/Misc/Common/RecordReaders.h"
#include "suite/age/AgeFormat.h"
#include "suite/endecrypt/HostKeyAdmin.h"
#include "suite/secretmemory/SecretMemory.h"

class IMPORT : public CommandFrame {
 public:
  IMPORT() : CommandFrame("import") {}
  ~IMPORT() override;

 protected:
  // Standard input cannot carry the file and answer a prompt too.
  [[nodiscard]] uint32_t CheckOptions() override;
  [[nodiscard]] uint32_t RunCommand() override { return ImportProc(); }

 private:
  [[nodiscard]] uint32_t ImportProc();
  // The age file, read whole.
  [[nodiscard]] uint32_t ReadAgeFile(SecretString& file) const;
  // Opens the file with the host's identities and ssh host key, or those
  // of "--identity", and hands its plaintext to `read`, which may not keep
  // it; a refusal names the keys tried.
  [[nodiscard]] uint32_t OpenAgeFile(const SecretString& file,
                                     const AgePlaintextReader& read) const;
  [[nodiscard]] uint32_t ReadIdentityFile(std::vector<age::Identity>& identities) const;
  // "standard input" or the file's path, as the console names the input.
  [[nodiscard]] std::string InputName() const;

  // Plaintext values: wiped when the object dies.
  TypedRecords file_records;
};

#endif  // SRC_MISC_IMPORT_IMPORT_H_
