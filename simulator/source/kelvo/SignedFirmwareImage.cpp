// SPDX-License-Identifier: Apache-2.0
#include "kelvo/simulator/kelvo/SignedFirmwareImage.h"

#include <openssl/sha.h>

#include <cstdio>
#include <cstring>

namespace kelvo::simulator {

namespace {

constexpr size_t kHeaderSize = 11;
constexpr size_t kPageSize = 2048;
constexpr size_t kSignatureSize = 16;
const char kMagic[] = "KFW2";

std::vector<uint8_t> signatureOf(const uint8_t* data, size_t length) {
  uint8_t digest[SHA256_DIGEST_LENGTH];
  SHA256(data, length, digest);
  return std::vector<uint8_t>(digest, digest + kSignatureSize);
}

}  // namespace

std::vector<uint8_t> SignedFirmwareImage::make(const std::string& version, uint16_t pages) {
  unsigned major = 0;
  unsigned minor = 0;
  unsigned patch = 0;
  std::sscanf(version.c_str(), "%u.%u.%u", &major, &minor, &patch);
  std::vector<uint8_t> image(kMagic, kMagic + 4);
  image.insert(image.end(), {static_cast<uint8_t>(major), static_cast<uint8_t>(minor), static_cast<uint8_t>(patch),
                             static_cast<uint8_t>(pages >> 8), static_cast<uint8_t>(pages & 0xFF), 0, 0});
  for (size_t index = 0; index < pages * kPageSize; ++index) {
    image.push_back(static_cast<uint8_t>(index * 31 + index / kPageSize));
  }
  const std::vector<uint8_t> signature = signatureOf(image.data(), image.size());
  image.insert(image.end(), signature.begin(), signature.end());
  return image;
}

bool SignedFirmwareImage::check(const std::vector<uint8_t>& image, std::string& version, std::string& error) {
  if (image.size() < kHeaderSize + kSignatureSize || (image.size() - kHeaderSize) % kPageSize != kSignatureSize) {
    error = "image size " + std::to_string(image.size()) + " is not 11 + N x 2048 + 16";
    return false;
  }
  if (std::memcmp(image.data(), kMagic, 4) != 0) {
    error = "no image header";
    return false;
  }
  const size_t pages = (image.size() - kHeaderSize) / kPageSize;
  if (((static_cast<size_t>(image[7]) << 8) | image[8]) != pages) {
    error = "the header's page count is not the image's";
    return false;
  }
  const size_t signedLength = image.size() - kSignatureSize;
  if (signatureOf(image.data(), signedLength) !=
      std::vector<uint8_t>(image.begin() + static_cast<long>(signedLength), image.end())) {
    error = "the signature does not match";
    return false;
  }
  version = std::to_string(image[4]) + "." + std::to_string(image[5]) + "." + std::to_string(image[6]);
  return true;
}

}  // namespace kelvo::simulator
