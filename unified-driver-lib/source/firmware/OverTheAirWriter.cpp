// SPDX-License-Identifier: Apache-2.0
#include "trevalon/firmware/OverTheAirWriter.h"

#include "trevalon/firmware/FirmwareImage.h"

namespace trevalon {

bool OverTheAirWriter::supported(const Exchange& exchange) {
  for (int attempt = 0; attempt < kProbeAttempts; ++attempt) {
    const std::optional<std::vector<uint8_t>> answer = exchange({kWriteExternalFlash});
    if (!answer || answer->empty()) return false;
    if (answer->front() != kStatusTransferFailed) return answer->front() != kStatusNotSupported;
  }
  return false;
}

std::vector<uint8_t> OverTheAirWriter::pieceRequest(const std::vector<uint8_t>& image, size_t offset, size_t length) {
  std::vector<uint8_t> request{kWriteExternalFlash,
                               static_cast<uint8_t>(offset),
                               static_cast<uint8_t>(offset >> 8),
                               static_cast<uint8_t>(offset >> 16),
                               static_cast<uint8_t>(offset >> 24),
                               static_cast<uint8_t>(length),
                               static_cast<uint8_t>(length >> 8)};
  request.insert(request.end(), image.begin() + static_cast<long>(offset),
                 image.begin() + static_cast<long>(offset + length));
  return request;
}

bool OverTheAirWriter::write(const std::vector<uint8_t>& signedImage, const Exchange& exchange,
                             const Reporting& reporting) {
  std::vector<uint8_t> image;
  std::vector<FirmwareImage::Piece> pieces;
  std::string error;
  if (!FirmwareImage::overTheAirImage(signedImage, image, pieces, error)) {
    if (reporting.error) reporting.error(error);
    return false;
  }
  for (size_t index = 0; index < pieces.size(); ++index) {
    const FirmwareImage::Piece& piece = pieces[index];
    const std::optional<std::vector<uint8_t>> answer = exchange(pieceRequest(image, piece.offset, piece.length));
    if (!answer || answer->empty() || answer->front() != 0) {
      if (reporting.error) reporting.error("Failed to flash Firmware page " + std::to_string(index));
      return false;
    }
    if (reporting.progress) reporting.progress(piece.progressAfter);
  }
  // An image of whole pieces only has not reported its end yet.
  if (pieces.back().progressAfter != 100 && reporting.progress) reporting.progress(100);
  return true;
}

bool OverTheAirWriter::bootloaderRequestRefused(const Exchange& exchange, uint8_t mode) {
  const std::optional<std::vector<uint8_t>> answer = exchange({kGotoBootloader, mode});
  return answer && answer->size() == 1 && answer->front() == kStatusNotSupported;
}

}  // namespace trevalon
