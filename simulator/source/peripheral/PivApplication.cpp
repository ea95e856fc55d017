// SPDX-License-Identifier: Apache-2.0
#include "kelvo/simulator/peripheral/PivApplication.h"

#include <openssl/bn.h>
#include <openssl/crypto.h>
#include <openssl/evp.h>
#include <openssl/rand.h>
#include <openssl/rsa.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>

#include <algorithm>
#include <ctime>
#include <stdexcept>

#include "kelvo/simulator/peripheral/BerTlv.h"

namespace kelvo::simulator {
namespace {

enum Instruction : uint8_t {
  kVerify = 0x20,
  kChangeReferenceData = 0x24,
  kResetRetryCounter = 0x2C,
  kGeneralAuthenticate = 0x87,
  kGetData = 0xCB,
};

// Tags of the templates the application reads and writes.
enum Tag : uint32_t {
  kApplicationIdentifier = 0x4F,
  kApplicationLabel = 0x50,
  kPropertyTemplate = 0x61,
  kTagAllocationAuthority = 0x79,
  kAlgorithms = 0xAC,
  kAlgorithmIdentifier = 0x80,
  kObjectIdentifier = 0x06,
  kPinUsagePolicy = 0x5F2F,
  kDataObject = 0x53,
  kTagList = 0x5C,
  kFascN = 0x30,
  kGuid = 0x34,
  kExpirationDate = 0x35,
  kIssuerSignature = 0x3E,
  kErrorDetectionCode = 0xFE,
  kCertificate = 0x70,
  kCertificateInfo = 0x71,
  kDynamicAuthenticationTemplate = 0x7C,
  kChallenge = 0x81,
  kResponse = 0x82,
};

constexpr uint8_t kGetDataP1 = 0x3F;
constexpr uint8_t kGetDataP2 = 0xFF;
constexpr uint8_t kVerifyP1 = 0x00;
constexpr uint8_t kForgetVerificationP1 = 0xFF;
constexpr uint8_t kPadding = 0xFF;
constexpr size_t kSecretLength = 8;
constexpr size_t kModulusBytes = 256;
constexpr int kCertificateDays = 3650;
constexpr size_t kGuidLength = 16;

const std::vector<uint8_t> kIdentifier = {0xA0, 0x00, 0x00, 0x03, 0x08, 0x00, 0x00, 0x10, 0x00, 0x01, 0x00};
constexpr size_t kRegisteredIdentifierLength = 5;  // A0 00 00 03 08, the rest is the application's own
constexpr size_t kIdentifierWithoutVersion = 9;

std::vector<uint8_t> bytesOf(const std::string& text) { return {text.begin(), text.end()}; }

std::vector<uint8_t> randomBytes(size_t count) {
  std::vector<uint8_t> bytes(count);
  if (RAND_bytes(bytes.data(), static_cast<int>(count)) != 1) throw std::runtime_error("no random bytes for the card");
  return bytes;
}

// A FASC-N of 40 five-bit characters (four data bits, least significant first, and odd parity). Agency
// code 9999 marks a card outside the federal numbering, whose clients identify it by the CHUID's GUID.
std::vector<uint8_t> fascN(const std::vector<uint8_t>& guid) {
  constexpr uint8_t kStart = 0xB, kSeparator = 0xD, kEnd = 0xF;
  std::vector<uint8_t> symbols = {kStart, 9, 9, 9, 9, kSeparator, 9, 9, 9, 9, kSeparator};
  for (size_t i = 0; i < 6; ++i) symbols.push_back(guid[i] % 10);  // credential number
  symbols.insert(symbols.end(), {kSeparator, 1, kSeparator, 1, kSeparator});
  for (size_t i = 0; i < 10; ++i) symbols.push_back(guid[6 + i] % 10);  // person identifier
  symbols.insert(symbols.end(), {1, 9, 9, 9, 9, 1, kEnd});
  uint8_t lrc = 0;
  for (uint8_t symbol : symbols) lrc ^= symbol;
  symbols.push_back(lrc);

  std::vector<uint8_t> packed(25, 0);
  size_t bit = 0;
  auto put = [&](bool one) {
    if (one) packed[bit / 8] |= static_cast<uint8_t>(0x80 >> (bit % 8));
    ++bit;
  };
  for (uint8_t symbol : symbols) {
    int ones = 0;
    for (int i = 0; i < 4; ++i) {
      const bool one = (symbol >> i) & 1;
      ones += one;
      put(one);
    }
    put(ones % 2 == 0);
  }
  return packed;
}

std::string dateInYears(int years) {
  const std::time_t now = std::time(nullptr);
  std::tm parts{};
  gmtime_r(&now, &parts);
  parts.tm_year += years;
  char text[9];
  std::strftime(text, sizeof text, "%Y%m%d", &parts);
  return text;
}

void addExtension(X509* certificate, X509V3_CTX& context, int nid, const char* value) {
  X509_EXTENSION* extension = X509V3_EXT_conf_nid(nullptr, &context, nid, value);
  if (!extension) throw std::runtime_error("cannot make a certificate extension");
  const int added = X509_add_ext(certificate, extension, -1);
  X509_EXTENSION_free(extension);
  if (added != 1) throw std::runtime_error("cannot add a certificate extension");
}

}  // namespace

const std::vector<uint8_t>& PivApplication::identifier() { return kIdentifier; }

bool PivApplication::isNamedBy(const std::vector<uint8_t>& name) {
  return name.size() >= kIdentifierWithoutVersion && name.size() <= kIdentifier.size() &&
         std::equal(name.begin(), name.end(), kIdentifier.begin());
}

PivApplication::PivApplication(const PivConfig& config) : key(nullptr, EVP_PKEY_free) {
  if (std::optional<std::pair<std::string, std::string>> fault = config.fault()) {
    throw std::invalid_argument(fault->first + ": " + fault->second);
  }
  pin = {pad(config.pin), config.pinTries, config.pinTries};
  puk = {pad(config.puk), kPukTries, kPukTries};
  makeKeyAndCertificate(config.holder);
  makeObjects();
}

PivApplication::~PivApplication() {
  OPENSSL_cleanse(pin.padded.data(), pin.padded.size());
  OPENSSL_cleanse(puk.padded.data(), puk.padded.size());
}

void PivApplication::makeKeyAndCertificate(const std::string& holder) {
  key.reset(EVP_PKEY_Q_keygen(nullptr, nullptr, "RSA", static_cast<size_t>(kModulusBytes * 8)));
  if (!key) throw std::runtime_error("cannot make the card's RSA key");

  std::unique_ptr<X509, void (*)(X509*)> certificate(X509_new(), X509_free);
  std::unique_ptr<BIGNUM, void (*)(BIGNUM*)> serial(BN_new(), BN_free);
  if (!certificate || !serial) throw std::runtime_error("out of memory for the card's certificate");
  X509_NAME* subject = X509_get_subject_name(certificate.get());
  const bool built =
      X509_set_version(certificate.get(), X509_VERSION_3) == 1 &&
      BN_rand(serial.get(), 63, BN_RAND_TOP_ONE, BN_RAND_BOTTOM_ANY) == 1 &&
      BN_to_ASN1_INTEGER(serial.get(), X509_get_serialNumber(certificate.get())) != nullptr &&
      X509_gmtime_adj(X509_getm_notBefore(certificate.get()), -3600) != nullptr &&
      X509_time_adj_ex(X509_getm_notAfter(certificate.get()), kCertificateDays, 0, nullptr) != nullptr &&
      X509_NAME_add_entry_by_txt(subject, "CN", MBSTRING_UTF8, reinterpret_cast<const unsigned char*>(holder.c_str()),
                                 -1, -1, 0) == 1 &&
      X509_set_issuer_name(certificate.get(), subject) == 1 && X509_set_pubkey(certificate.get(), key.get()) == 1;
  if (!built) throw std::runtime_error("cannot fill the card's certificate");
  X509V3_CTX context;
  X509V3_set_ctx(&context, certificate.get(), certificate.get(), nullptr, nullptr, 0);
  // What a PIV Authentication certificate says of itself: a client's signing key, not an authority.
  addExtension(certificate.get(), context, NID_basic_constraints, "critical,CA:FALSE");
  addExtension(certificate.get(), context, NID_key_usage, "critical,digitalSignature");
  addExtension(certificate.get(), context, NID_ext_key_usage, "clientAuth");
  addExtension(certificate.get(), context, NID_subject_key_identifier, "hash");
  if (X509_sign(certificate.get(), key.get(), EVP_sha256()) <= 0)
    throw std::runtime_error("cannot sign the card's certificate");

  const int length = i2d_X509(certificate.get(), nullptr);
  if (length <= 0) throw std::runtime_error("cannot encode the card's certificate");
  certificateDer.resize(static_cast<size_t>(length));
  unsigned char* out = certificateDer.data();
  i2d_X509(certificate.get(), &out);
}

void PivApplication::makeObjects() {
  const std::vector<uint8_t> guid = randomBytes(kGuidLength);
  // The PIN usage policy 40 00: the application's PIN is the one that counts, there is no global PIN.
  objects[kDiscoveryObject] =
      BerTlv::encode(kDiscoveryObject, BerTlv::concatenate({BerTlv::encode(kApplicationIdentifier, kIdentifier),
                                                            BerTlv::encode(kPinUsagePolicy, {0x40, 0x00})}));
  // No issuer signs this card: its CHUID carries an empty signature, which clients read but do not check.
  objects[kChuid] = BerTlv::encode(
      kDataObject,
      BerTlv::concatenate({BerTlv::encode(kFascN, fascN(guid)), BerTlv::encode(kGuid, guid),
                           BerTlv::encode(kExpirationDate, bytesOf(dateInYears(kCertificateDays / 365))),
                           BerTlv::encode(kIssuerSignature, {}), BerTlv::encode(kErrorDetectionCode, {})}));
  std::vector<uint8_t> cardIdentifier = {0xA0, 0x00, 0x00, 0x01, 0x16, 0xFF, 0x02};
  const std::vector<uint8_t> cardNumber = randomBytes(14);
  cardIdentifier.insert(cardIdentifier.end(), cardNumber.begin(), cardNumber.end());
  objects[kCapabilityContainer] = BerTlv::encode(
      kDataObject,
      BerTlv::concatenate({BerTlv::encode(0xF0, cardIdentifier), BerTlv::encode(0xF1, {0x21}),
                           BerTlv::encode(0xF2, {0x21}), BerTlv::encode(0xF3, {}), BerTlv::encode(0xF4, {0x00}),
                           BerTlv::encode(0xF5, {0x10}), BerTlv::encode(0xF6, {}), BerTlv::encode(0xF7, {}),
                           BerTlv::encode(0xFA, {}), BerTlv::encode(0xFB, {}), BerTlv::encode(0xFC, {}),
                           BerTlv::encode(0xFD, {}), BerTlv::encode(kErrorDetectionCode, {})}));
  // Certificate info 00: the certificate is stored uncompressed.
  objects[kAuthenticationCertificate] = BerTlv::encode(
      kDataObject,
      BerTlv::concatenate({BerTlv::encode(kCertificate, certificateDer), BerTlv::encode(kCertificateInfo, {0x00}),
                           BerTlv::encode(kErrorDetectionCode, {})}));
}

ResponseApdu PivApplication::propertyTemplate() const {
  const std::vector<uint8_t> ownPart(kIdentifier.begin() + kRegisteredIdentifierLength, kIdentifier.end());
  const std::vector<uint8_t> authority(kIdentifier.begin(), kIdentifier.begin() + kRegisteredIdentifierLength);
  return {BerTlv::encode(
              kPropertyTemplate,
              BerTlv::concatenate(
                  {BerTlv::encode(kApplicationIdentifier, ownPart),
                   BerTlv::encode(kTagAllocationAuthority, BerTlv::encode(kApplicationIdentifier, authority)),
                   BerTlv::encode(kApplicationLabel, bytesOf("Kelvo emulated PIV")),
                   BerTlv::encode(kAlgorithms, BerTlv::concatenate({BerTlv::encode(kAlgorithmIdentifier, {kRsa2048}),
                                                                    BerTlv::encode(kObjectIdentifier, {})}))})),
          ResponseApdu::kOk};
}

std::optional<ResponseApdu> PivApplication::process(const CommandApdu& command) {
  switch (command.ins) {
    case kGetData:
      return getData(command);
    case kVerify:
      return verify(command);
    case kChangeReferenceData:
      return changeReferenceData(command);
    case kResetRetryCounter:
      return resetRetryCounter(command);
    case kGeneralAuthenticate:
      return generalAuthenticate(command);
    default:
      return std::nullopt;
  }
}

PivApplication::Status PivApplication::status() const {
  Status status;
  status.pinTriesLeft = pin.triesLeft;
  status.pinBlocked = pin.blocked();
  status.pukTriesLeft = puk.triesLeft;
  status.verified = verified;
  for (uint8_t byte : pin.padded) {
    if (byte == kPadding) break;
    status.pin.push_back(static_cast<char>(byte));
  }
  return status;
}

ResponseApdu PivApplication::getData(const CommandApdu& command) const {
  if (command.p1 != kGetDataP1 || command.p2 != kGetDataP2) return ResponseApdu::of(ResponseApdu::kWrongParameters);
  std::optional<std::vector<BerTlv::Element>> list = BerTlv::parse(command.data);
  if (!list || list->size() != 1 || list->front().tag != kTagList || list->front().value.empty() ||
      list->front().value.size() > 3) {
    return ResponseApdu::of(ResponseApdu::kWrongData);
  }
  uint32_t tag = 0;
  for (uint8_t byte : list->front().value) tag = tag << 8 | byte;
  auto found = objects.find(tag);
  if (found == objects.end()) return ResponseApdu::of(ResponseApdu::kNotFound);
  return {found->second, ResponseApdu::kOk};
}

ResponseApdu PivApplication::verify(const CommandApdu& command) {
  if (command.p2 != kPinReference) return ResponseApdu::of(ResponseApdu::kReferenceNotFound);
  if (command.p1 == kForgetVerificationP1) {
    if (!command.data.empty()) return ResponseApdu::of(ResponseApdu::kWrongData);
    verified = false;
    return ResponseApdu::of(ResponseApdu::kOk);
  }
  if (command.p1 != kVerifyP1) return ResponseApdu::of(ResponseApdu::kWrongParameters);
  if (pin.blocked()) return ResponseApdu::of(ResponseApdu::kBlocked);
  // Without data VERIFY only asks how things stand.
  if (command.data.empty()) {
    if (verified) return ResponseApdu::of(ResponseApdu::kOk);
    return ResponseApdu::of(static_cast<uint16_t>(ResponseApdu::kTriesLeft | pin.triesLeft));
  }
  if (command.data.size() != kSecretLength) return ResponseApdu::of(ResponseApdu::kWrongData);
  ResponseApdu result = check(pin, command.data.data());
  verified = result.status == ResponseApdu::kOk;
  return result;
}

ResponseApdu PivApplication::changeReferenceData(const CommandApdu& command) {
  if (command.p1 != 0x00) return ResponseApdu::of(ResponseApdu::kWrongParameters);
  if (command.p2 != kPinReference && command.p2 != kPukReference) {
    return ResponseApdu::of(ResponseApdu::kReferenceNotFound);
  }
  const bool ofPin = command.p2 == kPinReference;
  Secret& secret = ofPin ? pin : puk;
  if (command.data.size() != 2 * kSecretLength) return ResponseApdu::of(ResponseApdu::kWrongData);
  const uint8_t* replacement = command.data.data() + kSecretLength;
  // Any eight bytes make a PUK; a PIN is digits padded with FF.
  if (ofPin && !isPaddedPin(replacement)) return ResponseApdu::of(ResponseApdu::kWrongData);
  if (secret.blocked()) return ResponseApdu::of(ResponseApdu::kBlocked);
  ResponseApdu result = check(secret, command.data.data());
  if (result.status != ResponseApdu::kOk) {
    if (ofPin) verified = false;
    return result;
  }
  std::copy(replacement, replacement + kSecretLength, secret.padded.begin());
  return result;
}

ResponseApdu PivApplication::resetRetryCounter(const CommandApdu& command) {
  if (command.p1 != 0x00) return ResponseApdu::of(ResponseApdu::kWrongParameters);
  if (command.p2 != kPinReference) return ResponseApdu::of(ResponseApdu::kReferenceNotFound);
  if (command.data.size() != 2 * kSecretLength) return ResponseApdu::of(ResponseApdu::kWrongData);
  const uint8_t* newPin = command.data.data() + kSecretLength;
  if (!isPaddedPin(newPin)) return ResponseApdu::of(ResponseApdu::kWrongData);
  if (puk.blocked()) return ResponseApdu::of(ResponseApdu::kBlocked);
  ResponseApdu result = check(puk, command.data.data());
  if (result.status != ResponseApdu::kOk) return result;
  std::copy(newPin, newPin + kSecretLength, pin.padded.begin());
  pin.triesLeft = pin.maxTries;
  return result;
}

ResponseApdu PivApplication::generalAuthenticate(const CommandApdu& command) {
  if (command.p1 != kRsa2048) return ResponseApdu::of(ResponseApdu::kWrongParameters);
  if (command.p2 != kAuthenticationKey) return ResponseApdu::of(ResponseApdu::kReferenceNotFound);
  if (!verified) return ResponseApdu::of(ResponseApdu::kSecurityNotSatisfied);
  std::optional<std::vector<BerTlv::Element>> outer = BerTlv::parse(command.data);
  if (!outer || outer->size() != 1 || outer->front().tag != kDynamicAuthenticationTemplate) {
    return ResponseApdu::of(ResponseApdu::kWrongData);
  }
  std::optional<std::vector<BerTlv::Element>> inner = BerTlv::parse(outer->front().value);
  if (!inner) return ResponseApdu::of(ResponseApdu::kWrongData);
  bool responseAsked = false;
  const std::vector<uint8_t>* challenge = nullptr;
  for (const BerTlv::Element& element : *inner) {
    if (element.tag == kResponse && element.value.empty() && !responseAsked) {
      responseAsked = true;
    } else if (element.tag == kChallenge && !challenge) {
      challenge = &element.value;
    } else {
      return ResponseApdu::of(ResponseApdu::kWrongData);
    }
  }
  if (!responseAsked || !challenge || challenge->size() != kModulusBytes)
    return ResponseApdu::of(ResponseApdu::kWrongData);
  std::optional<std::vector<uint8_t>> signature = sign(*challenge);
  // The one input the key refuses is a number not below its modulus.
  if (!signature) return ResponseApdu::of(ResponseApdu::kWrongData);
  return {BerTlv::encode(kDynamicAuthenticationTemplate, BerTlv::encode(kResponse, *signature)), ResponseApdu::kOk};
}

// The host pads (PKCS#1 for a signature, or a ciphertext as it stands), so the card applies its key as it is.
std::optional<std::vector<uint8_t>> PivApplication::sign(const std::vector<uint8_t>& input) const {
  std::unique_ptr<EVP_PKEY_CTX, void (*)(EVP_PKEY_CTX*)> context(
      EVP_PKEY_CTX_new_from_pkey(nullptr, key.get(), nullptr), EVP_PKEY_CTX_free);
  if (!context || EVP_PKEY_sign_init(context.get()) != 1 ||
      EVP_PKEY_CTX_set_rsa_padding(context.get(), RSA_NO_PADDING) != 1) {
    return std::nullopt;
  }
  std::vector<uint8_t> signature(kModulusBytes);
  size_t length = signature.size();
  if (EVP_PKEY_sign(context.get(), signature.data(), &length, input.data(), input.size()) != 1 ||
      length != kModulusBytes) {
    return std::nullopt;
  }
  return signature;
}

ResponseApdu PivApplication::check(Secret& secret, const uint8_t* candidate) {
  if (CRYPTO_memcmp(secret.padded.data(), candidate, kSecretLength) == 0) {
    secret.triesLeft = secret.maxTries;
    return ResponseApdu::of(ResponseApdu::kOk);
  }
  --secret.triesLeft;
  return ResponseApdu::of(static_cast<uint16_t>(ResponseApdu::kTriesLeft | secret.triesLeft));
}

std::array<uint8_t, 8> PivApplication::pad(const std::string& digits) {
  std::array<uint8_t, 8> padded;
  padded.fill(kPadding);
  std::copy(digits.begin(), digits.begin() + static_cast<long>(std::min(digits.size(), padded.size())), padded.begin());
  return padded;
}

bool PivApplication::isPaddedPin(const uint8_t* value) {
  size_t digits = 0;
  while (digits < kSecretLength && value[digits] >= '0' && value[digits] <= '9') ++digits;
  for (size_t i = digits; i < kSecretLength; ++i) {
    if (value[i] != kPadding) return false;
  }
  return digits >= 6;
}

}  // namespace kelvo::simulator
