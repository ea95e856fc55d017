// SPDX-License-Identifier: Apache-2.0
#include "trevalon/firmware/BootloaderRoutine.h"

#include <algorithm>
#include <utility>

namespace trevalon {

namespace {

constexpr uint8_t kErase = 0xE1;
constexpr uint8_t kSelectPage = 0xE4;
constexpr uint8_t kCheck = 0xE0;
// The second generation takes a page in transfers of this size.
constexpr size_t kSecondGenerationTransfer = 64;

}  // namespace

BootloaderRoutine::BootloaderRoutine(BootloaderPipe& pipe, Reporting reporting)
    : pipe(pipe), report(std::move(reporting)) {}

bool BootloaderRoutine::run(FirmwareImage::Generation generation, const std::vector<uint8_t>& image) {
  switch (generation) {
    case FirmwareImage::Generation::first:
      return runFirstGeneration(image);
    case FirmwareImage::Generation::second:
      return runSecondGeneration(image);
    case FirmwareImage::Generation::unknown:
      break;
  }
  return fail("Unknown Device type to flash!");
}

bool BootloaderRoutine::send(const std::vector<uint8_t>& bytes) { return sendRange(bytes.data(), bytes.size()); }

bool BootloaderRoutine::sendRange(const uint8_t* data, size_t length) { return pipe.write(data, length) == length; }

bool BootloaderRoutine::fail(const std::string& message) {
  if (report.error) report.error(message);
  return false;
}

bool BootloaderRoutine::runFirstGeneration(const std::vector<uint8_t>& image) {
  if (image.size() % FirmwareImage::kPageSize != 0) return fail("Firmware size must be multiple of 2048");
  if (!send({kErase})) return fail("Failed to erase flash");
  send({0x00});  // the bootloader's answer to it does not matter
  const size_t pages = image.size() / FirmwareImage::kPageSize;
  const size_t written = std::min(pages, FirmwareImage::kFirstGenerationMaxPages);
  for (size_t page = 1; page <= written; ++page) {
    const std::string number = std::to_string(page);
    if (!send({kSelectPage, static_cast<uint8_t>(page)})) return fail("Failed to set flash page number " + number);
    if (!sendRange(image.data() + (page - 1) * FirmwareImage::kPageSize, FirmwareImage::kPageSize)) {
      return fail("Failed to flash page " + number);
    }
    if (report.progress) report.progress(static_cast<int>(100 * page / pages));
  }
  if (!send({kCheck})) return fail("Failed to check flash signature");
  if (report.progress) report.progress(100);
  return true;
}

bool BootloaderRoutine::runSecondGeneration(const std::vector<uint8_t>& image) {
  FirmwareImage::SignedParts parts;
  std::string error;
  if (!FirmwareImage::splitSigned(image, parts, error)) return fail(error);
  std::vector<uint8_t> erase{kErase};
  erase.insert(erase.end(), parts.header.begin(), parts.header.end());
  if (!send(erase)) return fail("Failed to erase flash");
  if (report.wait) report.wait(kSecondGenerationEraseWaitMs);
  send({0x00});
  send({0x00});
  const size_t pages = parts.pages.size() / FirmwareImage::kPageSize;
  for (size_t page = 0; page < pages; ++page) {
    const std::string number = std::to_string(page);
    if (!send({kSelectPage, static_cast<uint8_t>(page >> 8), static_cast<uint8_t>(page & 0xFF)})) {
      return fail("Failed to set flash page number " + number);
    }
    const uint8_t* start = parts.pages.data() + page * FirmwareImage::kPageSize;
    for (size_t offset = 0; offset < FirmwareImage::kPageSize; offset += kSecondGenerationTransfer) {
      if (!sendRange(start + offset, kSecondGenerationTransfer)) return fail("Failed to flash page " + number);
    }
    if (report.progress) report.progress(static_cast<int>(100 * page / pages));
  }
  std::vector<uint8_t> check{kCheck};
  check.insert(check.end(), parts.signature.begin(), parts.signature.end());
  if (!send(check)) return fail("Failed to check signature");
  if (report.progress) report.progress(100);
  return true;
}

}  // namespace trevalon
