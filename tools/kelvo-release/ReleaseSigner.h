// SPDX-License-Identifier: Apache-2.0
#pragma once
// Signs firmware packages with an Ed25519 private key (a PEM file), the way Kelvo Central checks them.

#include <string>
#include <vector>

class ReleaseSigner {
 public:
  // False with a reason when the file is not an Ed25519 private key.
  bool loadKey(const std::string& pemPath, std::string& error);

  // Base64 of the 64-byte signature over the whole package.
  bool sign(const std::vector<unsigned char>& package, std::string& signatureBase64, std::string& error) const;
  // Base64 of the 32-byte public key: what a build of the program is configured with.
  bool publicKey(std::string& keyBase64, std::string& error) const;

  ReleaseSigner() = default;
  ~ReleaseSigner();
  ReleaseSigner(const ReleaseSigner&) = delete;
  ReleaseSigner& operator=(const ReleaseSigner&) = delete;

  static std::string base64(const std::vector<unsigned char>& bytes);

 private:
  struct evp_pkey_st* key = nullptr;
};
