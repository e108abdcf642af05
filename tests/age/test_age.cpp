// The age library: its primitives against published vectors, files made by
// stock age read here and files made here read by stock age, and every
// refusal of a damaged file with its own reason.
#include <gtest/gtest.h>
#include <sodium.h>

#include <cctype>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include "suite/age/AgeFormat.h"
#include "suite/age/AgeInternal.h"
#include "tests/support/TestSupport.h"

namespace {

using namespace age;
using Bytes = std::vector<unsigned char>;
using testing_support::ReadFile;
using testing_support::ScopedTempDir;
using testing_support::WriteFile;

Bytes FromHex(const std::string& hex) {
  Bytes bytes(hex.size() / 2);
  EXPECT_EQ(sodium_hex2bin(bytes.data(), bytes.size(), hex.data(), hex.size(), nullptr, nullptr,
                           nullptr),
            0);
  return bytes;
}

Bytes Range(int first, int count) {
  Bytes bytes;
  for (int i = 0; i < count; ++i) bytes.push_back(static_cast<unsigned char>(first + i));
  return bytes;
}

Bytes RandomBytes(std::size_t size) {
  EXPECT_GE(sodium_init(), 0);
  Bytes bytes(size);
  if (size > 0) randombytes_buf(bytes.data(), size);
  return bytes;
}

std::string AsText(const Bytes& bytes) { return {bytes.begin(), bytes.end()}; }
Bytes AsBytes(const std::string& text) { return {text.begin(), text.end()}; }

// Identities with fixed secret keys, `fill` repeated, one per byte given.
std::vector<Identity> Identities(std::initializer_list<unsigned char> fills) {
  std::vector<Identity> identities;
  for (const unsigned char fill : fills) {
    const Bytes seed(kKeySize, fill);
    identities.emplace_back();
    EXPECT_EQ(MakeIdentityFromSeed(seed.data(), identities.back()), AgeStatus::kOk);
  }
  return identities;
}

std::vector<Recipient> RecipientsOf(const std::vector<Identity>& identities) {
  std::vector<Recipient> recipients;
  for (const Identity& identity : identities) recipients.push_back(identity.recipient);
  return recipients;
}

Bytes Encrypt(const std::vector<Recipient>& recipients, const Bytes& plaintext, bool armor) {
  Bytes file;
  EXPECT_EQ(EncryptToRecipients(recipients, plaintext.data(), plaintext.size(), armor, file),
            AgeStatus::kOk);
  return file;
}

AgeStatus Decrypt(const std::vector<Identity>& identities, const Bytes& file, Bytes* out) {
  SecretBytes plaintext;
  const AgeStatus status = DecryptWithIdentities(identities, file.data(), file.size(), plaintext);
  if (out != nullptr) out->assign(plaintext.data(), plaintext.data() + plaintext.size());
  return status;
}

// A header and payload written piece by piece, for files this library
// never writes: other stanzas first, chunks cut as given.
Bytes CraftFile(const Recipient& recipient, const std::vector<Stanza>& others,
                const std::vector<std::pair<std::size_t, bool>>& chunks) {
  const Bytes file_key = RandomBytes(kFileKeySize);
  Header header;
  header.stanzas = others;
  header.stanzas.emplace_back();
  EXPECT_EQ(WrapFileKey(recipient, file_key.data(), header.stanzas.back()), AgeStatus::kOk);
  const std::string start = EncodeHeaderStart(header.stanzas);
  EXPECT_TRUE(ComputeHeaderMac(file_key.data(), AsBytes(start).data(), start.size(), header.mac));
  Bytes file = AsBytes(EncodeHeader(header));
  const Bytes nonce = RandomBytes(kPayloadNonceSize);
  file.insert(file.end(), nonce.begin(), nonce.end());
  unsigned char key[32];
  EXPECT_TRUE(DerivePayloadKey(file_key.data(), nonce.data(), key));
  for (std::size_t i = 0; i < chunks.size(); ++i) {
    const Bytes chunk(chunks[i].first, 'x');
    Bytes sealed(chunk.size() + kTagSize);
    EXPECT_TRUE(SealChunk(key, i, chunks[i].second, chunk.data(), chunk.size(), sealed.data()));
    file.insert(file.end(), sealed.begin(), sealed.end());
  }
  return file;
}

TEST(AgeVectors, HkdfSha256MatchesRfc5869) {
  const struct {
    Bytes ikm, salt, info;
    std::string okm;
  } cases[] = {
      {Bytes(22, 0x0b), Range(0x00, 13), Range(0xf0, 10),
       "3cb25f25faacd57a90434f64d0362f2a2d2d0a90cf1a5a4c5db02d56ecc4c5bf34007208d5b887185865"},
      {Range(0x00, 80), Range(0x60, 80), Range(0xb0, 80),
       "b11e398dc80327a1c8e7f78c596a49344f012eda2d4efad8a050cc4c19afa97c59045a99cac7827271cb41c6"
       "5e590e09da3275600c2f09b8367793a9aca3db71cc30c58179ec3e87c14c01d5c1f3434f1d87"},
      {Bytes(22, 0x0b), Bytes(), Bytes(),
       "8da4e775a563c18f715f802a063c5a31b8a11f5c5ee1879ec3454e5f3c738d2d9d201395faa4b61a96c8"},
  };
  for (const auto& c : cases) {
    const Bytes expected = FromHex(c.okm);
    Bytes okm(expected.size());
    ASSERT_TRUE(DeriveHkdfSha256(c.ikm.data(), c.ikm.size(), c.salt.data(), c.salt.size(),
                                 AsText(c.info), okm.data(), okm.size()));
    EXPECT_EQ(okm, expected) << c.okm;
  }
  Bytes too_long(255 * 32 + 1);
  EXPECT_FALSE(DeriveHkdfSha256(too_long.data(), 1, nullptr, 0, "", too_long.data(),
                                too_long.size()));
}

TEST(AgeVectors, Bech32MatchesBip173) {
  // Valid strings decode and encode back to their lower-case form.
  for (const std::string_view text :
       {"A12UEL5L", "a12uel5l",
        "an83characterlonghumanreadablepartthatcontainsthenumber1"
        "andtheexcludedcharactersbio1tt5tgs",
        "abcdef1qpzry9x8gf2tvdw0s3jn54khce6mua7lmqqqxw",
        "11qqqqqqqqqqqqqqqqqqqqqqqqqqqqqqqqqqqqqqqqqqqq"
        "qqqqqqqqqqqqqqqqqqqqqqqqqqqqqqqqqqqqqqc8247j",
        "split1checkupstagehandshakeupstreamerranterredcaperred2y9e3w", "?1ezyfcl",
        // Over BIP 173's 90 characters: age lifts that limit.
        "an84characterslonghumanreadablepartthatcontainsthenumber1"
        "andtheexcludedcharactersbio1569pvx"}) {
    std::string hrp;
    WipedBytes values;
    ASSERT_TRUE(DecodeBech32(text, hrp, values)) << text;
    SecretString encoded;
    EncodeBech32(hrp, values, encoded);
    std::string lower(text);
    for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    EXPECT_EQ(std::string(encoded), lower);
  }
  // Invalid ones; the empty human-readable part is refused too, as no key has one.
  for (const std::string& text :
       {std::string("\x20") + "1nwldj5", std::string("\x7f") + "1axkwrx",
        std::string("\x80") + "1eym55h", std::string("pzry9x0s0muk"),
        std::string("1pzry9x0s0muk"), std::string("x1b4n0q5v"), std::string("li1dgmt3"),
        std::string("de1lg7wt\xff"), std::string("A1G7SGD8"), std::string("10a06t8"),
        std::string("1qzzfhee"), std::string("a12UEL5L")}) {
    std::string hrp;
    WipedBytes values;
    EXPECT_FALSE(DecodeBech32(text, hrp, values)) << text;
  }
}

TEST(AgeKeys, StringsAndKeyFiles) {
  // The X25519 example of the format's description: 32 bytes of 0x42.
  const std::string identity_text =
      "AGE-SECRET-KEY-1GFPYYSJZGFPYYSJZGFPYYSJZGFPYYSJZGFPYYSJZGFPYYSJZGFPQ4EGAEX";
  const std::string recipient_text =
      "age1zvkyg2lqzraa2lnjvqej32nkuu0ues2s82hzrye869xeexvn73equnujwj";
  const auto made = Identities({0x42});
  SecretString formatted;
  ASSERT_EQ(FormatIdentity(made[0], formatted), AgeStatus::kOk);
  EXPECT_EQ(std::string(formatted), identity_text);
  EXPECT_EQ(FormatRecipient(made[0]), recipient_text);
  Recipient recipient;
  ASSERT_EQ(ParseRecipient(recipient_text, recipient), AgeStatus::kOk);
  EXPECT_EQ(recipient.public_key, made[0].recipient.public_key);

  std::vector<Identity> identities;
  std::size_t bad_line = 0;
  ASSERT_EQ(ParseIdentityFile("# created: today\r\n\n  " + identity_text + "\t\r\n# end",
                              identities, &bad_line),
            AgeStatus::kOk);
  ASSERT_EQ(identities.size(), 1u);
  EXPECT_EQ(FormatRecipient(identities[0]), recipient_text);

  const struct {
    std::string text;
    bool identity_file;
    AgeStatus expected;
    std::size_t line;
  } refusals[] = {
      {"# nothing\n\n", true, AgeStatus::kNoKeys, 0},
      {identity_text + "\n" + recipient_text + "\n", true, AgeStatus::kMalformedKey, 2},
      {"#\n" + identity_text.substr(0, 20) + "\n", true, AgeStatus::kMalformedKey, 2},
      {"AGE-SECRET-KEY-1" + identity_text.substr(16, 10) + "\n", true, AgeStatus::kMalformedKey, 1},
      {recipient_text + " " + recipient_text, false, AgeStatus::kMalformedKey, 1},
      {"age1pq1" + recipient_text.substr(5), false, AgeStatus::kMalformedKey, 1},
      {"\n\n# only comments", false, AgeStatus::kNoKeys, 0},
  };
  for (const auto& r : refusals) {
    SCOPED_TRACE(r.text);
    std::vector<Recipient> recipients(1);
    bad_line = 0;
    const AgeStatus status = r.identity_file ? ParseIdentityFile(r.text, identities, &bad_line)
                                             : ParseRecipientsFile(r.text, recipients, &bad_line);
    EXPECT_EQ(status, r.expected) << DescribeStatus(status);
    EXPECT_EQ(bad_line, r.line);
    EXPECT_EQ(identities.size(), 1u);  // untouched
    EXPECT_EQ(recipients.size(), 1u);
  }
}

TEST(AgeFiles, RoundTripsAndSkipsOtherStanzas) {
  const auto identities = Identities({1, 2});
  const auto recipients = RecipientsOf(identities);
  const auto second = Identities({2});
  for (const std::size_t size : {0, 1, 65535, 65536, 65537, 3 * 65536 + 5}) {
    for (const bool armor : {false, true}) {
      SCOPED_TRACE(std::to_string(size) + (armor ? " armored" : " binary"));
      const Bytes plaintext = RandomBytes(size);
      Bytes opened;
      EXPECT_EQ(Decrypt(second, Encrypt(recipients, plaintext, armor), &opened), AgeStatus::kOk);
      EXPECT_TRUE(opened == plaintext);
    }
  }
  // A stanza of another type before ours is skipped, as age does.
  const Stanza other{{"example.com/other", "arg"}, Bytes(70, 7)};
  EXPECT_EQ(Decrypt(second, CraftFile(recipients[1], {other}, {{10, true}}), nullptr),
            AgeStatus::kOk);
}

// Stock age as the other side, with two identities of its own and one made here.
class AgeInterop : public testing::Test {
 protected:
  static bool Run(const std::string& command) { return std::system(command.c_str()) == 0; }
  void SetUp() override {
    if (!Run("command -v age >/dev/null 2>&1 && command -v age-keygen >/dev/null 2>&1")) {
      GTEST_SKIP() << "stock age is not installed (scripts/deps.sh installs it)";
    }
    for (const std::string name : {"a", "b"}) {
      ASSERT_TRUE(Run("age-keygen -o " + dir.File(name) + " 2>/dev/null"));
      ASSERT_TRUE(Run("age-keygen -y " + dir.File(name) + " >" + dir.File(name + ".pub")));
      std::vector<Identity> parsed;
      ASSERT_EQ(ParseIdentityFile(ReadFile(dir.File(name)), parsed), AgeStatus::kOk);
      EXPECT_EQ(FormatRecipient(parsed[0]) + "\n", ReadFile(dir.File(name + ".pub")));
      identities.push_back(std::move(parsed[0]));
    }
    identities.push_back(std::move(Identities({9})[0]));
    SecretString text;
    ASSERT_EQ(FormatIdentity(identities[2], text), AgeStatus::kOk);
    WriteFile(dir.File("c"), std::string(text) + "\n");
  }
  ScopedTempDir dir;
  std::vector<Identity> identities;
};

TEST_F(AgeInterop, FilesGoBothWays) {
  const char* names[] = {"a", "b", "c"};
  const struct {
    const char* what;
    bool stock_encrypts;
    bool armor;
    std::size_t recipients;  // the last one decrypts
    std::size_t size;
  } rows[] = {
      {"age -e -r", true, false, 1, 100000},    {"age -e -a -r", true, true, 1, 100000},
      {"age -e -r -r -r", true, false, 3, 65536}, {"age -e -a, empty", true, true, 2, 0},
      {"here, one", false, false, 1, 200000},     {"here -a, three", false, true, 3, 65537},
      {"here, empty", false, false, 2, 0},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.what);
    const Bytes plaintext = RandomBytes(row.size);
    WriteFile(dir.File("plain"), AsText(plaintext));
    std::vector<Recipient> recipients;
    std::string options = row.armor ? "-a" : "";
    for (std::size_t i = 0; i < row.recipients; ++i) {
      recipients.push_back(identities[i].recipient);
      options += " -r " + FormatRecipient(identities[i]);
    }
    if (row.stock_encrypts) {
      ASSERT_TRUE(Run("age -e " + options + " -o " + dir.File("file") + " " + dir.File("plain")));
      std::vector<Identity> decrypting;
      ASSERT_EQ(ParseIdentityFile(ReadFile(dir.File(names[row.recipients - 1])), decrypting),
                AgeStatus::kOk);
      Bytes opened;
      EXPECT_EQ(Decrypt(decrypting, AsBytes(ReadFile(dir.File("file"))), &opened),
                AgeStatus::kOk);
      EXPECT_TRUE(opened == plaintext);
    } else {
      WriteFile(dir.File("file"), AsText(Encrypt(recipients, plaintext, row.armor)));
      ASSERT_TRUE(Run("age -d -i " + dir.File(names[row.recipients - 1]) + " " +
                      dir.File("file") + " >" + dir.File("opened")));
      EXPECT_TRUE(ReadFile(dir.File("opened")) == AsText(plaintext));
    }
  }
}

// The text of the X25519 share in a binary file's header.
std::size_t SharePosition(const std::string& file) { return file.find("-> X25519 ") + 10; }

TEST(AgeRefusals, EachDamageHasItsReason) {
  const auto mine = Identities({1});
  const auto other = Identities({2});
  const auto recipients = RecipientsOf(mine);
  const std::string base64 = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  using Damage = std::function<void(std::string&)>;
  const auto replace = [](std::string from, std::string to) -> Damage {
    return [=](std::string& file) { file.replace(file.find(from), from.size(), to); };
  };
  const Damage whole_file_is = [](std::string&) {};
  const struct {
    const char* what;
    std::size_t size;
    bool armor;
    Damage damage;
    AgeStatus expected;
    bool other_identity = false;
  } rows[] = {
      {"not age", 10, false, [](std::string& f) { f = "hello\n"; }, AgeStatus::kNotAgeFile},
      {"version v2", 10, false, replace("org/v1\n", "org/v2\n"), AgeStatus::kUnsupportedVersion},
      {"stray line", 10, false, replace("org/v1\n", "org/v1\nstray\n"),
       AgeStatus::kMalformedHeader},
      {"third argument", 10, false, replace("-> X25519 ", "-> X25519 extra "),
       AgeStatus::kMalformedStanza},
      {"non-canonical share", 10, false,
       [&](std::string& f) {
         char& last = f[SharePosition(f) + 42];
         last = base64[base64.find(last) ^ 1];
       },
       AgeStatus::kBadBase64},
      // libsodium reads every byte above 0x7f as '/'.
      {"high byte in the MAC", 10, false, [](std::string& f) { f[f.find("--- ") + 4] = '\x80'; },
       AgeStatus::kBadBase64},
      {"armor line split", 10, true,
       [](std::string& f) { f.insert(f.find('\n') + 10, "\n"); }, AgeStatus::kBadArmor},
      {"MAC changed", 10, false,
       [&](std::string& f) {
         char& first = f[f.find("--- ") + 4];
         first = base64[base64.find(first) ^ 1];
       },
       AgeStatus::kHeaderMacMismatch},
      {"another identity", 10, false, whole_file_is, AgeStatus::kNoMatchingIdentity, true},
      {"zero share", 10, false,
       [](std::string& f) { f.replace(SharePosition(f), 43, std::string(43, 'A')); },
       AgeStatus::kLowOrderShare},
      {"tag flipped", 100, false, [](std::string& f) { f.back() ^= 1; }, AgeStatus::kBadChunk},
      {"final chunk cut", 65536 + 10, false, [](std::string& f) { f.resize(f.size() - 26); },
       AgeStatus::kTruncated},
      {"empty chunk after a full one", 0, false,
       [&](std::string& f) {
         f = AsText(CraftFile(recipients[0], {}, {{65536, false}, {0, true}}));
       },
       AgeStatus::kEmptyLastChunk},
      {"byte appended", 65536, false, [](std::string& f) { f.push_back('x'); },
       AgeStatus::kTrailingData},
      {"scrypt stanza", 10, false,
       [](std::string& f) {
         const std::size_t start = f.find("-> X25519 ");
         f.replace(start, f.find('\n', start) - start, "-> scrypt c2FsdHNhbHRzYWx0c2FsdA 18");
       },
       AgeStatus::kScryptUnsupported},
      {"1025 stanzas", 0, false,
       [](std::string& f) {
         f = "age-encryption.org/v1\n";
         for (int i = 0; i < 1025; ++i) f += "-> grease\n\n";
         f += "--- " + std::string(43, 'A') + "\n";
       },
       AgeStatus::kTooLarge},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.what);
    std::string file = AsText(Encrypt(recipients, Bytes(row.size, 'p'), row.armor));
    row.damage(file);
    const AgeStatus status = Decrypt(row.other_identity ? other : mine, AsBytes(file), nullptr);
    EXPECT_EQ(status, row.expected) << DescribeStatus(status);
  }
}

// `count` identities with distinct secret keys numbered from `first`, none
// of them one of Identities().
std::vector<Identity> Numbered(std::size_t first, std::size_t count) {
  std::vector<Identity> identities(count);
  for (std::size_t i = 0; i < count; ++i) {
    Bytes seed(kKeySize, 0xee);
    seed[0] = static_cast<unsigned char>(first + i);
    seed[1] = static_cast<unsigned char>((first + i) >> 8);
    EXPECT_EQ(MakeIdentityFromSeed(seed.data(), identities[i]), AgeStatus::kOk);
  }
  return identities;
}

// Each bound refuses the first input past it with its own reason and takes
// the largest input within it, the slowest of which opens at the last try.
TEST(AgeBounds, OversizeInputsAreRefusedWithTheirBound) {
  const auto mine = Identities({1});
  const auto many = Numbered(0, kMaxIdentities + 1);
  std::string key_file;
  for (const Identity& identity : many) {
    SecretString text;
    ASSERT_EQ(FormatIdentity(identity, text), AgeStatus::kOk);
    key_file += std::string(text) + "\n";
  }
  // kMaxStanzas stanzas, mine last, and as many identities as the bound on
  // tries lets in, mine last: every try is made.
  auto recipients = RecipientsOf(Numbered(0, kMaxStanzas - 1));
  recipients.push_back(mine[0].recipient);
  const Bytes widest = Encrypt(recipients, Bytes(10, 'p'), false);
  auto slowest = Numbered(kMaxStanzas, kMaxUnwrapAttempts / kMaxStanzas - 1);
  slowest.push_back(std::move(Identities({1})[0]));
  const auto one_more = Numbered(kMaxStanzas, kMaxUnwrapAttempts / kMaxStanzas + 1);
  const auto open = [&](std::vector<Stanza> others) -> std::function<AgeStatus()> {
    const Bytes file = CraftFile(mine[0].recipient, others, {{10, true}});
    return [&, file] { return Decrypt(mine, file, nullptr); };
  };
  const auto decrypt = [&](const std::vector<Identity>& identities) -> std::function<AgeStatus()> {
    return [&] { return Decrypt(identities, widest, nullptr); };
  };
  const auto keys = [&](std::size_t count, std::size_t line) -> std::function<AgeStatus()> {
    return [&, count, line] {
      std::vector<Identity> parsed;
      std::size_t bad_line = 0;
      const std::size_t line_size = key_file.find('\n') + 1;
      const AgeStatus status = ParseIdentityFile(
          std::string_view(key_file).substr(0, count * line_size), parsed, &bad_line);
      EXPECT_EQ(bad_line, line);
      return status;
    };
  };
  const struct {
    const char* what;
    std::function<AgeStatus()> run;
    AgeStatus expected;
  } rows[] = {
      {"8 arguments", open({{{"a", "b", "c", "d", "e", "f", "g", "h"}, {}}}), AgeStatus::kOk},
      {"9 arguments", open({{{"a", "b", "c", "d", "e", "f", "g", "h", "i"}, {}}}),
       AgeStatus::kTooManyArguments},
      {"line of 4096 bytes", open({{{"x", std::string(4091, 'a')}, {}}}), AgeStatus::kOk},
      {"line of 4097 bytes", open({{{"x", std::string(4092, 'a')}, {}}}),
       AgeStatus::kHeaderLineTooLong},
      {"header over 1 MiB", open({{{"x"}, Bytes(800000)}}), AgeStatus::kHeaderTooLarge},
      {"256 keys in a file", keys(kMaxIdentities, 0), AgeStatus::kOk},
      {"257 keys in a file", keys(kMaxIdentities + 1, kMaxIdentities + 1),
       AgeStatus::kTooManyIdentities},
      {"257 identities", decrypt(many), AgeStatus::kTooManyIdentities},
      {"1024 stanzas, 4 identities", decrypt(slowest), AgeStatus::kOk},
      {"1024 stanzas, 5 identities", decrypt(one_more), AgeStatus::kTooManyUnwraps},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.what);
    const AgeStatus status = row.run();
    EXPECT_EQ(status, row.expected) << DescribeStatus(status);
  }
}

}  // namespace
