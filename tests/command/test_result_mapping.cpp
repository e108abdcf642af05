// Store statuses become common-catalogue results with their messages.
#include <gtest/gtest.h>

#include "Src/Misc/Encrypt/Encrypt.h"

namespace {

struct Mapping {
  int status;
  uint32_t code;
  const char* message;
};

TEST(MapEncryptionResultTest, EachNamedStatusHasItsCode) {
  const Mapping table[] = {
      {0, 0, "Succeed."},
      {1, 40, "Fail to find the matching credential."},
      {2, 49, "Encrypted file is invalid."},
      {3, 11, "Failed to write file."},
      {7, 48, "Encrypted file is not exist."},
      {11, 45, "Attended or unattended mode conflict."},
      {12, 47, "Interrupted by user."},
      {13, 46, "Passphrase error."},
  };
  for (const Mapping& m : table) {
    const CommandResult result = ENCRYPT::MapEncryptionResult(m.status);
    EXPECT_EQ(result.code, m.code) << m.status;
    EXPECT_EQ(result.message, m.message) << m.status;
  }
}

TEST(MapEncryptionResultTest, EveryOtherStatusIsAGenericCryptoFailure) {
  for (int status : {4, 5, 6, 8, 9, 10, 14, 255, 65536, -1, INT32_MIN}) {
    const CommandResult result = ENCRYPT::MapEncryptionResult(status);
    EXPECT_EQ(result.code, 39u) << status;
    EXPECT_EQ(result.message, "Failed to encrypt/decrypt.") << status;
  }
}

}  // namespace
