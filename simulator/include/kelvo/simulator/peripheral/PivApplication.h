// SPDX-License-Identifier: Apache-2.0
#pragma once
// The PIV application of an emulated card, the part of it a PKCS#11 PIV driver uses: its application property
// template on selection; GET DATA of the discovery object, CHUID, CCC and the PIV Authentication certificate;
// VERIFY, CHANGE REFERENCE DATA and RESET RETRY COUNTER of the PIN (80) and PUK (81) with their retry
// counters; GENERAL AUTHENTICATE with the PIV Authentication key (9A, RSA 2048) once the PIN was verified.
// The key and its self-signed certificate (subject CN = the holder) are made when the application is, so no
// card shares a key with another and nothing is read from files.
//
// The card around it owns the transport: it parses APDUs, joins chained commands, splits long answers for
// GET RESPONSE and tells the application when the card was reset. Not thread-safe: the reader that holds the
// card serialises every call.

#include <array>
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "kelvo/simulator/peripheral/CommandApdu.h"
#include "kelvo/simulator/peripheral/PivConfig.h"
#include "kelvo/simulator/peripheral/ResponseApdu.h"

struct evp_pkey_st;

namespace kelvo::simulator {

class PivApplication {
 public:
  // Data objects by the tag GET DATA names them with.
  static constexpr uint32_t kDiscoveryObject = 0x7E;
  static constexpr uint32_t kChuid = 0x5FC102;
  static constexpr uint32_t kCapabilityContainer = 0x5FC107;
  static constexpr uint32_t kAuthenticationCertificate = 0x5FC105;
  static constexpr uint8_t kPinReference = 0x80;
  static constexpr uint8_t kPukReference = 0x81;
  static constexpr uint8_t kAuthenticationKey = 0x9A;
  static constexpr uint8_t kRsa2048 = 0x07;
  static constexpr int kPukTries = 3;

  struct Status {
    int pinTriesLeft = 0;
    std::string pin;
    bool pinBlocked = false;
    int pukTriesLeft = 0;
    bool verified = false;  // the PIN was verified since the card's last reset
  };

  // A00000030800001000 0100: the registered identifier, the PIV application and its version.
  static const std::vector<uint8_t>& identifier();
  // The whole identifier, or one cut short to no fewer than the 9 bytes before the version.
  static bool isNamedBy(const std::vector<uint8_t>& name);

  // Throws std::invalid_argument for a configuration that breaks PivConfig's rules, std::runtime_error when
  // OpenSSL cannot make the key or the certificate.
  explicit PivApplication(const PivConfig& config);
  ~PivApplication();
  PivApplication(const PivApplication&) = delete;
  PivApplication& operator=(const PivApplication&) = delete;

  // The answer to SELECT: the application property template.
  ResponseApdu propertyTemplate() const;
  // Empty for instructions that are not the application's.
  std::optional<ResponseApdu> process(const CommandApdu& command);
  // Power went away or another application was selected: the PIN must be verified again.
  void reset() { verified = false; }

  Status status() const;
  // The certificate as DER, as GET DATA of the certificate object carries it.
  const std::vector<uint8_t>& certificate() const { return certificateDer; }

 private:
  // A PIN or PUK: 8 bytes padded with FF and the tries it has left.
  struct Secret {
    std::array<uint8_t, 8> padded{};
    int triesLeft = 0;
    int maxTries = 0;
    bool blocked() const { return triesLeft == 0; }
  };
  using KeyPointer = std::unique_ptr<evp_pkey_st, void (*)(evp_pkey_st*)>;

  ResponseApdu getData(const CommandApdu& command) const;
  ResponseApdu verify(const CommandApdu& command);
  ResponseApdu changeReferenceData(const CommandApdu& command);
  ResponseApdu resetRetryCounter(const CommandApdu& command);
  ResponseApdu generalAuthenticate(const CommandApdu& command);
  // 90 00 and all tries back for a match; otherwise one try less, and 63 Cx with what is left.
  static ResponseApdu check(Secret& secret, const uint8_t* candidate);
  static std::array<uint8_t, 8> pad(const std::string& digits);
  static bool isPaddedPin(const uint8_t* value);
  std::optional<std::vector<uint8_t>> sign(const std::vector<uint8_t>& input) const;

  void makeKeyAndCertificate(const std::string& holder);
  void makeObjects();

  Secret pin;
  Secret puk;
  bool verified = false;
  KeyPointer key;
  std::vector<uint8_t> certificateDer;
  std::map<uint32_t, std::vector<uint8_t>> objects;
};

}  // namespace kelvo::simulator
