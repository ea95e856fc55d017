// SPDX-License-Identifier: Apache-2.0
#pragma once
// The layouts of a reader's firmware image and how it travels: the reader generation a serial belongs to, the
// plain first-generation image (whole 2048-byte pages), the signed second-generation image (an 11-byte header, pages,
// a 16-byte signature), and the over-the-air image (a signed image with its size in front) cut into the pieces that
// are written into the reader's external flash.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace trevalon {

class FirmwareImage {
 public:
  enum class Generation { unknown, first, second };

  static constexpr size_t kPageSize = 2048;
  static constexpr size_t kSignedHeaderSize = 11;
  static constexpr size_t kSignatureSize = 16;
  static constexpr size_t kOverTheAirPieceSize = 512;
  // The first generation's application flash holds this many pages; pages beyond are not written.
  static constexpr size_t kFirstGenerationMaxPages = 119;

  // "5" and nine digits: first; "KLV2" or "K2" and two characters, then ten digits: second.
  static Generation generationOf(const std::string& serial);

  struct Piece {
    size_t offset = 0;
    size_t length = 0;
    int progressAfter = 0;  // percent reported once the piece is written
  };

  // The size-prefixed image and its pieces. False with the reason when the signed image's size is not
  // 11 + N x 2048 + 16.
  static bool overTheAirImage(const std::vector<uint8_t>& signedImage, std::vector<uint8_t>& image,
                              std::vector<Piece>& pieces, std::string& error);

  // A signed image split into its parts. False with the reason when its body is not N x 2048 + 16.
  struct SignedParts {
    std::vector<uint8_t> header;
    std::vector<uint8_t> pages;
    std::vector<uint8_t> signature;
  };
  static bool splitSigned(const std::vector<uint8_t>& signedImage, SignedParts& parts, std::string& error);
};

}  // namespace trevalon
