// SPDX-License-Identifier: Apache-2.0
// The emulated card's PIV application as a PKCS#11 PIV driver meets it: selection, data objects read in parts,
// the PIN and PUK with their retry counters, and signatures that verify with the certificate's key.

#include <gmock/gmock.h>
#include <openssl/evp.h>
#include <openssl/sha.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "kelvo/simulator/peripheral/EmulatedCard.h"

namespace kelvo::test {
namespace {

using kelvo::simulator::EmulatedCard;
using kelvo::simulator::PivApplication;
using kelvo::simulator::PivConfig;
using ::testing::ElementsAre;
using ::testing::ElementsAreArray;
using Bytes = std::vector<uint8_t>;

const Bytes kAtr = {0x3B, 0x81, 0x80, 0x01, 0x80, 0x80};
const Bytes kPivIdentifier = {0xA0, 0x00, 0x00, 0x03, 0x08, 0x00, 0x00, 0x10, 0x00, 0x01, 0x00};
constexpr size_t kModulus = 256;

struct Answer {
  Bytes data;
  uint16_t status = 0;
};

Answer split(const Bytes& response) {
  Answer answer;
  if (response.size() < 2) return answer;
  answer.data.assign(response.begin(), response.end() - 2);
  answer.status = static_cast<uint16_t>(response[response.size() - 2] << 8 | response.back());
  return answer;
}

// A short APDU; an Le of 256 is written 00.
Bytes shortApdu(uint8_t cla, uint8_t ins, uint8_t p1, uint8_t p2, const Bytes& data = {},
                std::optional<size_t> le = std::nullopt) {
  Bytes apdu = {cla, ins, p1, p2};
  if (!data.empty()) {
    apdu.push_back(static_cast<uint8_t>(data.size()));
    apdu.insert(apdu.end(), data.begin(), data.end());
  }
  if (le) apdu.push_back(static_cast<uint8_t>(*le));
  return apdu;
}

// An extended APDU with data and Le 0000: up to 65536 response bytes at once.
Bytes extendedApdu(uint8_t cla, uint8_t ins, uint8_t p1, uint8_t p2, const Bytes& data) {
  Bytes apdu = {cla, ins, p1, p2, 0x00, static_cast<uint8_t>(data.size() >> 8), static_cast<uint8_t>(data.size())};
  apdu.insert(apdu.end(), data.begin(), data.end());
  apdu.insert(apdu.end(), {0x00, 0x00});
  return apdu;
}

Bytes padded(const std::string& digits) {
  Bytes value(digits.begin(), digits.end());
  value.resize(8, 0xFF);
  return value;
}

Bytes joined(Bytes first, const Bytes& second) {
  first.insert(first.end(), second.begin(), second.end());
  return first;
}

// An element of a BER-TLV sequence, read here without the emulator's own parser.
struct Element {
  uint32_t tag = 0;
  Bytes value;
};

std::vector<Element> elements(const Bytes& data) {
  std::vector<Element> found;
  size_t at = 0;
  while (at < data.size()) {
    Element element;
    element.tag = data.at(at++);
    if ((element.tag & 0x1F) == 0x1F) {
      do element.tag = element.tag << 8 | data.at(at);
      while (data.at(at++) & 0x80);
    }
    size_t length = data.at(at++);
    if (length == 0x81) {
      length = data.at(at++);
    } else if (length == 0x82) {
      length = static_cast<size_t>(data.at(at)) << 8 | data.at(at + 1);
      at += 2;
    }
    if (at + length > data.size()) {
      ADD_FAILURE() << "element of tag " << std::hex << element.tag << " runs past its data";
      return found;
    }
    element.value.assign(data.begin() + static_cast<long>(at), data.begin() + static_cast<long>(at + length));
    at += length;
    found.push_back(element);
  }
  return found;
}

std::vector<uint32_t> tagsOf(const std::vector<Element>& list) {
  std::vector<uint32_t> tags;
  for (const Element& element : list) tags.push_back(element.tag);
  return tags;
}

// What a PKCS#11 driver hands the card for CKM_RSA_PKCS over SHA-256: the DigestInfo in a type 1 block.
Bytes pkcs1Block(const std::string& message) {
  const Bytes digestInfo = {0x30, 0x31, 0x30, 0x0d, 0x06, 0x09, 0x60, 0x86, 0x48, 0x01,
                            0x65, 0x03, 0x04, 0x02, 0x01, 0x05, 0x00, 0x04, 0x20};
  Bytes hash(SHA256_DIGEST_LENGTH);
  SHA256(reinterpret_cast<const unsigned char*>(message.data()), message.size(), hash.data());
  Bytes block = {0x00, 0x01};
  block.resize(kModulus - digestInfo.size() - hash.size() - 1, 0xFF);
  block.push_back(0x00);
  block.insert(block.end(), digestInfo.begin(), digestInfo.end());
  block.insert(block.end(), hash.begin(), hash.end());
  return block;
}

// 7C { 82 00, 81 <input> }, as the driver asks for a signature.
Bytes authenticationTemplate(const Bytes& input) {
  Bytes inner = {0x82, 0x00, 0x81, 0x82, static_cast<uint8_t>(input.size() >> 8), static_cast<uint8_t>(input.size())};
  inner.insert(inner.end(), input.begin(), input.end());
  Bytes outer = {0x7C, 0x82, static_cast<uint8_t>(inner.size() >> 8), static_cast<uint8_t>(inner.size())};
  return joined(outer, inner);
}

using X509Pointer = std::unique_ptr<X509, void (*)(X509*)>;

X509Pointer parseCertificate(const Bytes& der) {
  const unsigned char* at = der.data();
  return X509Pointer(d2i_X509(nullptr, &at, static_cast<long>(der.size())), X509_free);
}

bool verifiesWith(EVP_PKEY* key, const std::string& message, const Bytes& signature) {
  std::unique_ptr<EVP_MD_CTX, void (*)(EVP_MD_CTX*)> context(EVP_MD_CTX_new(), EVP_MD_CTX_free);
  return EVP_DigestVerifyInit(context.get(), nullptr, EVP_sha256(), nullptr, key) == 1 &&
         EVP_DigestVerify(context.get(), signature.data(), signature.size(),
                          reinterpret_cast<const unsigned char*>(message.data()), message.size()) == 1;
}

class PivCardTest : public ::testing::Test {
 protected:
  static PivConfig holderConfig() {
    PivConfig config;
    config.holder = "Erika Mustermann";
    config.pin = "123456";
    config.puk = "12345678";
    config.pinTries = 3;
    return config;
  }

  Answer send(const Bytes& apdu) { return split(card->transmit(apdu)); }

  // Follows 61 xx with GET RESPONSE as a host does, asking for `le` bytes each time; counts the answers.
  Answer sendAll(const Bytes& apdu, size_t le = 256, int* answers = nullptr) {
    Answer answer = send(apdu);
    Bytes data = answer.data;
    int count = 1;
    while ((answer.status & 0xFF00) == 0x6100 && count < 1000) {
      answer = send(shortApdu(0x00, 0xC0, 0x00, 0x00, {}, le));
      data.insert(data.end(), answer.data.begin(), answer.data.end());
      ++count;
    }
    if (answers) *answers = count;
    return {data, answer.status};
  }

  static Bytes tagList(uint32_t tag) {
    if (tag <= 0xFF) return {0x5C, 0x01, static_cast<uint8_t>(tag)};
    return {0x5C, 0x03, static_cast<uint8_t>(tag >> 16), static_cast<uint8_t>(tag >> 8), static_cast<uint8_t>(tag)};
  }

  Answer getData(uint32_t tag, size_t le = 256, int* answers = nullptr) {
    return sendAll(shortApdu(0x00, 0xCB, 0x3F, 0xFF, tagList(tag), 256), le, answers);
  }

  Answer verify(const std::string& pin) { return send(shortApdu(0x00, 0x20, 0x00, 0x80, padded(pin))); }
  Answer verifyState() { return send(shortApdu(0x00, 0x20, 0x00, 0x80)); }
  Answer changeReference(uint8_t reference, const Bytes& old, const Bytes& replacement) {
    return send(shortApdu(0x00, 0x24, 0x00, reference, joined(old, replacement)));
  }
  Answer resetRetryCounter(const std::string& puk, const Bytes& newPin) {
    return send(shortApdu(0x00, 0x2C, 0x00, 0x80, joined(padded(puk), newPin)));
  }

  // The template does not fit one short APDU: two chained parts, as the driver sends it.
  Answer authenticate(const Bytes& input) {
    const Bytes data = authenticationTemplate(input);
    const Bytes first(data.begin(), data.begin() + 200);
    const Bytes rest(data.begin() + 200, data.end());
    const Answer part = send(shortApdu(0x10, 0x87, 0x07, 0x9A, first));
    EXPECT_EQ(part.status, 0x9000) << "a chained part";
    return sendAll(shortApdu(0x00, 0x87, 0x07, 0x9A, rest, 256));
  }

  // The signature out of 7C { 82 <signature> }.
  static Bytes signatureOf(const Answer& answer) {
    const std::vector<Element> outer = elements(answer.data);
    if (outer.size() != 1 || outer[0].tag != 0x7C) return {};
    const std::vector<Element> inner = elements(outer[0].value);
    if (inner.size() != 1 || inner[0].tag != 0x82) return {};
    return inner[0].value;
  }

  Bytes certificateDer() {
    const Answer object = getData(PivApplication::kAuthenticationCertificate);
    const std::vector<Element> outer = elements(object.data);
    if (outer.size() != 1) return {};
    for (const Element& element : elements(outer[0].value)) {
      if (element.tag == 0x70) return element.value;
    }
    return {};
  }

  PivApplication::Status status() const { return card->piv()->status(); }

  std::unique_ptr<EmulatedCard> card = std::make_unique<EmulatedCard>(kAtr, holderConfig());
};

TEST_F(PivCardTest, SelectionByTheWholeOrShortenedIdentifierAnswersThePropertyTemplate) {
  struct Case {
    const char* what;
    Bytes name;
    uint16_t status;
  };
  const std::vector<Case> cases = {
      {"whole identifier", kPivIdentifier, 0x9000},
      {"without the version", Bytes(kPivIdentifier.begin(), kPivIdentifier.begin() + 9), 0x9000},
      {"shortened to 10 bytes", Bytes(kPivIdentifier.begin(), kPivIdentifier.begin() + 10), 0x9000},
      {"only the registered part and more", Bytes(kPivIdentifier.begin(), kPivIdentifier.begin() + 8), 0x6A82},
      {"another version", joined(Bytes(kPivIdentifier.begin(), kPivIdentifier.end() - 1), {0x02}), 0x6A82},
  };
  for (const Case& c : cases) {
    const Answer answer = send(shortApdu(0x00, 0xA4, 0x04, 0x00, c.name, 256));
    EXPECT_EQ(answer.status, c.status) << c.what;
    if (c.status != 0x9000) continue;
    const std::vector<Element> outer = elements(answer.data);
    ASSERT_EQ(outer.size(), 1u) << c.what;
    EXPECT_EQ(outer[0].tag, 0x61u);
    const std::vector<Element> inner = elements(outer[0].value);
    ASSERT_GE(inner.size(), 2u);
    EXPECT_EQ(inner[0].tag, 0x4Fu);
    EXPECT_THAT(inner[0].value, ElementsAre(0x00, 0x00, 0x10, 0x00, 0x01, 0x00)) << "the identifier's own part";
    EXPECT_EQ(inner[1].tag, 0x79u);
    EXPECT_THAT(inner[1].value, ElementsAre(0x4F, 0x05, 0xA0, 0x00, 0x00, 0x03, 0x08)) << "the authority";
  }
  EXPECT_THAT(card->transmit(shortApdu(0x00, 0xA4, 0x04, 0x0C, kPivIdentifier)), ElementsAre(0x90, 0x00))
      << "P2 0C asks for no answer data";
}

TEST_F(PivCardTest, DataObjectsComeInPartsWithTheirStandardTemplates) {
  struct Case {
    const char* what;
    uint32_t tag;
    uint32_t outerTag;
    std::vector<uint32_t> innerTags;
  };
  const std::vector<Case> cases = {
      {"discovery object", PivApplication::kDiscoveryObject, 0x7E, {0x4F, 0x5F2F}},
      {"CHUID", PivApplication::kChuid, 0x53, {0x30, 0x34, 0x35, 0x3E, 0xFE}},
      {"CCC",
       PivApplication::kCapabilityContainer,
       0x53,
       {0xF0, 0xF1, 0xF2, 0xF3, 0xF4, 0xF5, 0xF6, 0xF7, 0xFA, 0xFB, 0xFC, 0xFD, 0xFE}},
      {"authentication certificate", PivApplication::kAuthenticationCertificate, 0x53, {0x70, 0x71, 0xFE}},
  };
  for (const Case& c : cases) {
    // Extended Le 0000 takes the whole object at once; the short forms must give back the same bytes.
    const Answer whole = send(extendedApdu(0x00, 0xCB, 0x3F, 0xFF, tagList(c.tag)));
    ASSERT_EQ(whole.status, 0x9000) << c.what;
    const std::vector<Element> outer = elements(whole.data);
    ASSERT_EQ(outer.size(), 1u) << c.what;
    EXPECT_EQ(outer[0].tag, c.outerTag) << c.what;
    EXPECT_EQ(tagsOf(elements(outer[0].value)), c.innerTags) << c.what;

    for (size_t le : {size_t{256}, size_t{64}}) {
      int answers = 0;
      const Answer parts = getData(c.tag, le, &answers);
      EXPECT_EQ(parts.status, 0x9000) << c.what << " in parts of " << le;
      EXPECT_EQ(parts.data, whole.data) << c.what << " in parts of " << le;
      // The first answer holds 256 bytes (the APDU's Le 00), the rest come `le` at a time.
      const size_t rest = whole.data.size() > 256 ? whole.data.size() - 256 : 0;
      EXPECT_EQ(static_cast<size_t>(answers), 1 + (rest + le - 1) / le) << c.what << " in parts of " << le;
    }
  }
  EXPECT_GT(getData(PivApplication::kAuthenticationCertificate).data.size(), 256u)
      << "the certificate needs response chaining in short APDUs";
}

TEST_F(PivCardTest, ChuidNamesNoAgencySoClientsTakeItsGuid) {
  const std::vector<Element> chuid = elements(elements(getData(PivApplication::kChuid).data).at(0).value);
  ASSERT_EQ(chuid.at(0).tag, 0x30u);
  const Bytes& fascN = chuid[0].value;
  ASSERT_EQ(fascN.size(), 25u);
  // Start sentinel and agency code 9999 in five-bit characters with odd parity.
  EXPECT_THAT(Bytes(fascN.begin(), fascN.begin() + 3), ElementsAre(0xD4, 0xE7, 0x39));
  EXPECT_EQ(fascN[3] | 0x7F, 0xFF);
  ASSERT_EQ(chuid.at(1).tag, 0x34u);
  EXPECT_EQ(chuid[1].value.size(), 16u);
  EXPECT_NE(chuid[1].value, Bytes(16, 0)) << "the GUID identifies the card";
  EmulatedCard other(kAtr, holderConfig());
  const Answer otherChuid =
      split(other.transmit(shortApdu(0x00, 0xCB, 0x3F, 0xFF, tagList(PivApplication::kChuid), 256)));
  EXPECT_NE(elements(elements(otherChuid.data).at(0).value).at(1).value, chuid[1].value) << "each card its own GUID";
}

TEST_F(PivCardTest, CertificateNamesTheHolderAndItsKeyVerifiesTheCardsSignatures) {
  const Bytes der = certificateDer();
  EXPECT_EQ(der, card->piv()->certificate());
  X509Pointer certificate = parseCertificate(der);
  ASSERT_TRUE(certificate);
  char commonName[128] = {};
  X509_NAME_get_text_by_NID(X509_get_subject_name(certificate.get()), NID_commonName, commonName, sizeof commonName);
  EXPECT_STREQ(commonName, "Erika Mustermann");
  EVP_PKEY* publicKey = X509_get0_pubkey(certificate.get());
  ASSERT_NE(publicKey, nullptr);
  EXPECT_EQ(EVP_PKEY_get_bits(publicKey), 2048);
  EXPECT_EQ(X509_verify(certificate.get(), publicKey), 1) << "self-signed";
  EXPECT_EQ(X509_check_purpose(certificate.get(), X509_PURPOSE_SSL_CLIENT, 0), 1) << "a client's certificate";

  ASSERT_EQ(verify("123456").status, 0x9000);
  const std::string message = "log on to workstation-1";
  const Answer chained = authenticate(pkcs1Block(message));
  ASSERT_EQ(chained.status, 0x9000);
  const Bytes signature = signatureOf(chained);
  ASSERT_EQ(signature.size(), kModulus);
  EXPECT_TRUE(verifiesWith(publicKey, message, signature));
  EXPECT_FALSE(verifiesWith(publicKey, message + ".", signature));

  // One extended APDU carries the same request and its whole answer.
  const Answer extended = send(extendedApdu(0x00, 0x87, 0x07, 0x9A, authenticationTemplate(pkcs1Block(message))));
  ASSERT_EQ(extended.status, 0x9000);
  EXPECT_EQ(signatureOf(extended), signature) << "PKCS#1 v1.5 signatures are deterministic";

  EmulatedCard other(kAtr, holderConfig());
  X509Pointer otherCertificate = parseCertificate(other.piv()->certificate());
  ASSERT_TRUE(otherCertificate);
  EXPECT_NE(EVP_PKEY_eq(publicKey, X509_get0_pubkey(otherCertificate.get())), 1) << "every card makes its own key";
}

TEST_F(PivCardTest, SigningNeedsThePinVerifiedInThisCardSession) {
  const Bytes input = pkcs1Block("anything");
  auto signs = [&] { return authenticate(input).status; };
  EXPECT_EQ(signs(), 0x6982) << "before VERIFY";
  ASSERT_EQ(verify("123456").status, 0x9000);
  EXPECT_EQ(signs(), 0x9000);
  ASSERT_EQ(send(shortApdu(0x00, 0xA4, 0x04, 0x00, kPivIdentifier, 256)).status, 0x9000);
  EXPECT_EQ(signs(), 0x9000) << "selecting PIV again keeps the PIN verified";

  card->reset();
  EXPECT_EQ(verifyState().status, 0x63C3);
  EXPECT_EQ(signs(), 0x6982) << "a reset forgets the PIN; PIV stays selected";

  ASSERT_EQ(verify("123456").status, 0x9000);
  ASSERT_EQ(send(shortApdu(0x00, 0xA4, 0x04, 0x00, EmulatedCard::defaultApplication())).status, 0x9000);
  EXPECT_EQ(signs(), 0x6D00) << "another application knows no GENERAL AUTHENTICATE";
  ASSERT_EQ(send(shortApdu(0x00, 0xA4, 0x04, 0x00, kPivIdentifier, 256)).status, 0x9000);
  EXPECT_EQ(signs(), 0x6982) << "leaving PIV forgets the PIN";

  ASSERT_EQ(verify("123456").status, 0x9000);
  EXPECT_EQ(send(shortApdu(0x00, 0x20, 0xFF, 0x80)).status, 0x9000);
  EXPECT_EQ(signs(), 0x6982) << "VERIFY with P1 FF logs out";
  EXPECT_FALSE(status().verified);
}

TEST_F(PivCardTest, WrongPinsCountDownToBlocked) {
  struct Step {
    const char* what;
    std::optional<std::string> pin;  // empty: VERIFY without data asks for the state
    uint16_t status;
    int triesLeft;
  };
  const std::vector<Step> steps = {
      {"first wrong PIN", "000000", 0x63C2, 2},
      {"state after it", std::nullopt, 0x63C2, 2},
      {"right PIN", "123456", 0x9000, 3},
      {"state when verified", std::nullopt, 0x9000, 3},
      {"wrong PIN", "654321", 0x63C2, 2},
      {"state: a wrong PIN undoes the verification", std::nullopt, 0x63C2, 2},
      {"wrong PIN", "12345678", 0x63C1, 1},
      {"last wrong PIN", "1234567", 0x63C0, 0},
      {"right PIN once blocked", "123456", 0x6983, 0},
      {"state once blocked", std::nullopt, 0x6983, 0},
  };
  for (const Step& step : steps) {
    const Answer answer = step.pin ? verify(*step.pin) : verifyState();
    EXPECT_EQ(answer.status, step.status) << step.what;
    EXPECT_EQ(status().pinTriesLeft, step.triesLeft) << step.what;
  }
  EXPECT_TRUE(status().pinBlocked);
  EXPECT_EQ(authenticate(pkcs1Block("x")).status, 0x6982);

  PivConfig oneTry = holderConfig();
  oneTry.pinTries = 1;
  card = std::make_unique<EmulatedCard>(kAtr, oneTry);
  EXPECT_EQ(verify("000000").status, 0x63C0);
  EXPECT_EQ(verify("123456").status, 0x6983) << "a card set up with one try blocks at the first mistake";
}

TEST_F(PivCardTest, ChangeReferenceDataReplacesPinAndPuk) {
  EXPECT_EQ(changeReference(0x80, padded("111111"), padded("87654321")).status, 0x63C2) << "wrong old PIN counts";
  EXPECT_EQ(status().pinTriesLeft, 2);
  struct Case {
    const char* what;
    Bytes replacement;
  };
  const std::vector<Case> refused = {
      {"five digits", padded("12345")},
      {"a letter", padded("12a456")},
      {"padding inside", {'1', '2', '3', 0xFF, '4', '5', '6', '7'}},
      {"padding other than FF", {'1', '2', '3', '4', '5', '6', 0x00, 0x00}},
  };
  for (const Case& c : refused) {
    EXPECT_EQ(changeReference(0x80, padded("123456"), c.replacement).status, 0x6A80) << c.what;
    EXPECT_EQ(status().pinTriesLeft, 2) << c.what << ": refused before the old PIN is checked";
    EXPECT_EQ(status().pin, "123456") << c.what;
  }
  EXPECT_EQ(changeReference(0x80, padded("123456"), padded("87654321")).status, 0x9000);
  EXPECT_EQ(status().pin, "87654321");
  EXPECT_EQ(status().pinTriesLeft, 3) << "the right old PIN gives the tries back";
  EXPECT_EQ(verify("123456").status, 0x63C2);
  EXPECT_EQ(verify("87654321").status, 0x9000);

  EXPECT_EQ(changeReference(0x81, padded("00000000"), padded("11223344")).status, 0x63C2) << "wrong old PUK counts";
  EXPECT_EQ(status().pukTriesLeft, 2);
  EXPECT_EQ(changeReference(0x81, padded("12345678"), padded("11223344")).status, 0x9000);
  EXPECT_EQ(status().pukTriesLeft, 3);
  EXPECT_EQ(resetRetryCounter("12345678", padded("222222")).status, 0x63C2) << "the old PUK is gone";
  EXPECT_EQ(resetRetryCounter("11223344", padded("222222")).status, 0x9000);
  EXPECT_EQ(status().pin, "222222");
}

TEST_F(PivCardTest, ThePukUnblocksThePinAndBlocksItselfAfterThreeMistakes) {
  for (int i = 0; i < 3; ++i) verify("000000");
  ASSERT_TRUE(status().pinBlocked);

  EXPECT_EQ(resetRetryCounter("87654321", padded("654321")).status, 0x63C2) << "wrong PUK";
  EXPECT_TRUE(status().pinBlocked) << "a wrong PUK changes nothing";
  EXPECT_EQ(resetRetryCounter("12345678", padded("65432")).status, 0x6A80) << "a new PIN of five digits";
  EXPECT_EQ(status().pukTriesLeft, 2) << "refused before the PUK is checked";
  EXPECT_EQ(resetRetryCounter("12345678", padded("654321")).status, 0x9000);
  EXPECT_EQ(status().pukTriesLeft, 3);
  EXPECT_FALSE(status().pinBlocked);
  EXPECT_EQ(status().pinTriesLeft, 3);
  EXPECT_EQ(status().pin, "654321");
  EXPECT_EQ(verify("654321").status, 0x9000);

  EXPECT_EQ(resetRetryCounter("00000000", padded("111111")).status, 0x63C2);
  EXPECT_EQ(resetRetryCounter("00000000", padded("111111")).status, 0x63C1);
  EXPECT_EQ(resetRetryCounter("00000000", padded("111111")).status, 0x63C0);
  EXPECT_EQ(resetRetryCounter("12345678", padded("111111")).status, 0x6983) << "the PUK is blocked";
  EXPECT_EQ(changeReference(0x81, padded("12345678"), padded("11111111")).status, 0x6983);
  EXPECT_EQ(status().pin, "654321");
}

TEST_F(PivCardTest, MalformedOrUnknownCommandsAreRefusedWithTheirStatus) {
  ASSERT_EQ(verify("123456").status, 0x9000);
  Bytes belowModulus = pkcs1Block("y");
  Bytes noResponseAsked = {0x7C, 0x82, 0x01, 0x04, 0x81, 0x82, 0x01, 0x00};
  noResponseAsked.insert(noResponseAsked.end(), belowModulus.begin(), belowModulus.end());
  struct Case {
    const char* what;
    Bytes apdu;
    uint16_t status;
  };
  const std::vector<Case> cases = {
      {"GET DATA with other P1 P2", shortApdu(0x00, 0xCB, 0x3F, 0xFE, tagList(0x7E), 256), 0x6A86},
      {"GET DATA of an object the card lacks", shortApdu(0x00, 0xCB, 0x3F, 0xFF, tagList(0x5FC10A), 256), 0x6A82},
      {"GET DATA without a tag list", shortApdu(0x00, 0xCB, 0x3F, 0xFF, {0x53, 0x01, 0x7E}, 256), 0x6A80},
      {"GET DATA with a cut tag list", shortApdu(0x00, 0xCB, 0x3F, 0xFF, {0x5C, 0x03, 0x5F, 0xC1}, 256), 0x6A80},
      {"VERIFY of the PUK", shortApdu(0x00, 0x20, 0x00, 0x81, padded("12345678")), 0x6A88},
      {"VERIFY with 7 bytes", shortApdu(0x00, 0x20, 0x00, 0x80, {'1', '2', '3', '4', '5', '6', 0xFF}), 0x6A80},
      {"CHANGE REFERENCE DATA of an unknown reference", shortApdu(0x00, 0x24, 0x00, 0x82, Bytes(16, '1')), 0x6A88},
      {"CHANGE REFERENCE DATA with 15 bytes", shortApdu(0x00, 0x24, 0x00, 0x80, Bytes(15, '1')), 0x6A80},
      {"RESET RETRY COUNTER of the PUK", shortApdu(0x00, 0x2C, 0x00, 0x81, Bytes(16, '1')), 0x6A88},
      {"GENERAL AUTHENTICATE with RSA 1024", extendedApdu(0x00, 0x87, 0x06, 0x9A, authenticationTemplate(belowModulus)),
       0x6A86},
      {"GENERAL AUTHENTICATE with key 9C", extendedApdu(0x00, 0x87, 0x07, 0x9C, authenticationTemplate(belowModulus)),
       0x6A88},
      {"GENERAL AUTHENTICATE asking for no response", extendedApdu(0x00, 0x87, 0x07, 0x9A, noResponseAsked), 0x6A80},
      {"GENERAL AUTHENTICATE of 255 bytes", extendedApdu(0x00, 0x87, 0x07, 0x9A, authenticationTemplate(Bytes(255, 1))),
       0x6A80},
      {"GENERAL AUTHENTICATE of a number above the modulus",
       extendedApdu(0x00, 0x87, 0x07, 0x9A, authenticationTemplate(Bytes(256, 0xFF))), 0x6A80},
      {"GENERAL AUTHENTICATE with a cut template", shortApdu(0x00, 0x87, 0x07, 0x9A, {0x7C, 0x05, 0x82, 0x00}, 256),
       0x6A80},
      {"GET RESPONSE with nothing left", shortApdu(0x00, 0xC0, 0x00, 0x00, {}, 256), 0x6985},
      {"GENERATE ASYMMETRIC KEY PAIR", shortApdu(0x00, 0x47, 0x00, 0x9A, {0xAC, 0x03, 0x80, 0x01, 0x07}, 256), 0x6D00},
      {"secure messaging class", shortApdu(0x0C, 0xCB, 0x3F, 0xFF, tagList(0x7E), 256), 0x6E00},
      {"Lc longer than the data", {0x00, 0xCB, 0x3F, 0xFF, 0x05, 0x5C, 0x01, 0x7E}, 0x6700},
      {"extended Lc of zero", {0x00, 0xCB, 0x3F, 0xFF, 0x00, 0x00, 0x00, 0x01}, 0x6700},
  };
  for (const Case& c : cases) EXPECT_EQ(send(c.apdu).status, c.status) << c.what;
  EXPECT_TRUE(status().verified) << "none of them touched the PIN";
  EXPECT_EQ(status().pinTriesLeft, 3);
}

TEST_F(PivCardTest, AChainEndsWithItsLastPartOrIsDroppedByAnotherCommand) {
  ASSERT_EQ(verify("123456").status, 0x9000);
  const Bytes data = authenticationTemplate(pkcs1Block("z"));
  const Bytes first(data.begin(), data.begin() + 150);
  const Bytes rest(data.begin() + 150, data.end());
  ASSERT_EQ(send(shortApdu(0x10, 0x87, 0x07, 0x9A, first)).status, 0x9000);
  ASSERT_EQ(getData(0x7E).status, 0x9000) << "another command in between";
  EXPECT_EQ(send(shortApdu(0x00, 0x87, 0x07, 0x9A, rest, 256)).status, 0x6A80) << "the first part is gone";

  // Three parts join in order.
  ASSERT_EQ(send(shortApdu(0x10, 0x87, 0x07, 0x9A, Bytes(data.begin(), data.begin() + 100))).status, 0x9000);
  ASSERT_EQ(send(shortApdu(0x10, 0x87, 0x07, 0x9A, Bytes(data.begin() + 100, data.begin() + 200))).status, 0x9000);
  EXPECT_EQ(sendAll(shortApdu(0x00, 0x87, 0x07, 0x9A, Bytes(data.begin() + 200, data.end()), 256)).status, 0x9000);

  const Bytes big(40000, 0x01);
  ASSERT_EQ(send(extendedApdu(0x10, 0x87, 0x07, 0x9A, big)).status, 0x9000);
  EXPECT_EQ(send(extendedApdu(0x10, 0x87, 0x07, 0x9A, big)).status, 0x6700) << "a chain beyond 65535 bytes";
}

TEST(PlainCardTest, ACardWithoutPivKnowsNothingOfIt) {
  EmulatedCard plain(kAtr);
  EXPECT_EQ(plain.piv(), nullptr);
  EXPECT_THAT(plain.transmit(shortApdu(0x00, 0xA4, 0x04, 0x00, kPivIdentifier, 256)), ElementsAre(0x6A, 0x82));
  EXPECT_THAT(plain.transmit(shortApdu(0x00, 0xCB, 0x3F, 0xFF, {0x5C, 0x01, 0x7E}, 256)), ElementsAre(0x6D, 0x00));
  EXPECT_THAT(plain.transmit(shortApdu(0x00, 0x20, 0x00, 0x80)), ElementsAre(0x6D, 0x00));
  // Its echo answers in parts too when the host asks for fewer bytes than it sent.
  const Answer first = split(plain.transmit(shortApdu(0x80, 0xEE, 0x00, 0x00, {1, 2, 3, 4, 5}, 2)));
  EXPECT_THAT(first.data, ElementsAre(1, 2));
  EXPECT_EQ(first.status, 0x6103);
  EXPECT_THAT(plain.transmit(shortApdu(0x00, 0xC0, 0x00, 0x00, {}, 3)), ElementsAre(3, 4, 5, 0x90, 0x00));
}

TEST(PivConfigTest, TheRulesNameTheFieldAndNeverTheValue) {
  struct Case {
    const char* what;
    void (*change)(PivConfig&);
    std::string field;
  };
  const std::vector<Case> cases = {
      {"five-digit PIN", [](PivConfig& c) { c.pin = "98765"; }, "pin"},
      {"nine-digit PIN", [](PivConfig& c) { c.pin = "987654321"; }, "pin"},
      {"PIN with a letter", [](PivConfig& c) { c.pin = "98765x"; }, "pin"},
      {"seven-digit PUK", [](PivConfig& c) { c.puk = "9876543"; }, "puk"},
      {"no tries", [](PivConfig& c) { c.pinTries = 0; }, "pin-tries"},
      {"sixteen tries", [](PivConfig& c) { c.pinTries = 16; }, "pin-tries"},
      {"nameless holder", [](PivConfig& c) { c.holder.clear(); }, "holder"},
      {"holder of 65 characters", [](PivConfig& c) { c.holder = std::string(65, 'e'); }, "holder"},
  };
  for (const Case& c : cases) {
    PivConfig config;
    c.change(config);
    const auto fault = config.fault();
    ASSERT_TRUE(fault) << c.what;
    EXPECT_EQ(fault->first, c.field) << c.what;
    EXPECT_EQ(fault->second.find("98765"), std::string::npos) << c.what;
    EXPECT_THROW(PivApplication{config}, std::invalid_argument) << c.what;
  }
  PivConfig umlauts;
  umlauts.holder = std::string(63, 'e') + "\xC3\xBC";  // 64 characters in 65 bytes
  EXPECT_FALSE(umlauts.fault());
}

}  // namespace
}  // namespace kelvo::test
