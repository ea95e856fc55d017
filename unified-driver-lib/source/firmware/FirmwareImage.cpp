// SPDX-License-Identifier: Apache-2.0
#include "trevalon/firmware/FirmwareImage.h"

#include "trevalon/firmware/FirmwarePattern.h"

namespace trevalon {

FirmwareImage::Generation FirmwareImage::generationOf(const std::string& serial) {
  static const std::shared_ptr<FirmwarePattern> first = FirmwarePattern::compile("^5[0-9]{9}$");
  static const std::shared_ptr<FirmwarePattern> second = FirmwarePattern::compile("^K(LV2|2.{2})[0-9]{10}$");
  if (first->matchesWhole(serial)) return Generation::first;
  if (second->matchesWhole(serial)) return Generation::second;
  return Generation::unknown;
}

bool FirmwareImage::overTheAirImage(const std::vector<uint8_t>& signedImage, std::vector<uint8_t>& image,
                                    std::vector<Piece>& pieces, std::string& error) {
  const size_t remainder = signedImage.size() % kOverTheAirPieceSize;
  if (remainder != kSignedHeaderSize + kSignatureSize) {
    error = "Firmware size must be multiple of 2048 + 16 but was " + std::to_string(remainder);
    return false;
  }
  const auto size = static_cast<uint32_t>(signedImage.size());
  image = {static_cast<uint8_t>(size), static_cast<uint8_t>(size >> 8), static_cast<uint8_t>(size >> 16),
           static_cast<uint8_t>(size >> 24)};
  image.insert(image.end(), signedImage.begin(), signedImage.end());
  const size_t whole = image.size() / kOverTheAirPieceSize;
  const size_t rest = image.size() % kOverTheAirPieceSize;
  pieces.clear();
  for (size_t index = 0; index < whole; ++index) {
    pieces.push_back({index * kOverTheAirPieceSize, kOverTheAirPieceSize, static_cast<int>(100 * index / whole)});
  }
  if (rest != 0) pieces.push_back({whole * kOverTheAirPieceSize, rest, 100});
  return true;
}

bool FirmwareImage::splitSigned(const std::vector<uint8_t>& signedImage, SignedParts& parts, std::string& error) {
  if (signedImage.size() < kSignedHeaderSize + kSignatureSize) {
    error = "Firmware size must be multiple of 2048 + 16 but was " +
            std::to_string(signedImage.size() < kSignedHeaderSize ? 0 : signedImage.size() - kSignedHeaderSize);
    return false;
  }
  const size_t bodyLength = signedImage.size() - kSignedHeaderSize;
  if (bodyLength % kPageSize != kSignatureSize) {
    error = "Firmware size must be multiple of 2048 + 16 but was " + std::to_string(bodyLength % kPageSize);
    return false;
  }
  const auto body = signedImage.begin() + static_cast<long>(kSignedHeaderSize);
  const auto signature = signedImage.end() - static_cast<long>(kSignatureSize);
  parts.header.assign(signedImage.begin(), body);
  parts.pages.assign(body, signature);
  parts.signature.assign(signature, signedImage.end());
  return true;
}

}  // namespace trevalon
