// SPDX-License-Identifier: Apache-2.0
// The image layouts and the bootloader routines, byte for byte, against a pipe that records what went out and can
// fail any one transfer.
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "trevalon/firmware/BootloaderRoutine.h"
#include "trevalon/firmware/FirmwareImage.h"
#include "trevalon/firmware/OverTheAirWriter.h"

namespace {

using trevalon::BootloaderRoutine;
using trevalon::FirmwareImage;
using Bytes = std::vector<uint8_t>;
constexpr size_t kPage = 2048;

class RecordingPipe : public trevalon::BootloaderPipe {
 public:
  size_t write(const uint8_t* data, size_t length) override {
    const size_t index = transfers.size();
    transfers.emplace_back(data, data + length);
    if (index == failAt) return length / 2;
    return length;
  }
  std::vector<Bytes> transfers;
  size_t failAt = static_cast<size_t>(-1);
};

struct Outcome {
  bool ok = false;
  std::vector<int> progress;
  std::vector<std::string> errors;
  std::vector<int> waits;
};

Outcome flash(RecordingPipe& pipe, FirmwareImage::Generation generation, const Bytes& image) {
  Outcome outcome;
  BootloaderRoutine routine(pipe, {[&](int percent) { outcome.progress.push_back(percent); },
                                   [&](const std::string& message) { outcome.errors.push_back(message); },
                                   [&](int milliseconds) { outcome.waits.push_back(milliseconds); }});
  outcome.ok = routine.run(generation, image);
  return outcome;
}

Bytes patterned(size_t size) {
  Bytes bytes(size);
  for (size_t index = 0; index < size; ++index) bytes[index] = static_cast<uint8_t>(index * 7 + index / 2048);
  return bytes;
}

Bytes signedImage(size_t pages) { return patterned(11 + pages * 2048 + 16); }

TEST(ReaderGeneration, SerialsDecideTheGeneration) {
  const struct {
    const char* serial;
    FirmwareImage::Generation generation;
  } cases[] = {
      {"5123456789", FirmwareImage::Generation::first},       {"51234567890", FirmwareImage::Generation::unknown},
      {"512345678", FirmwareImage::Generation::unknown},      {"6123456789", FirmwareImage::Generation::unknown},
      {"K2XX0123456789", FirmwareImage::Generation::second},  {"KLV20123456789", FirmwareImage::Generation::second},
      {"K2M10123456789", FirmwareImage::Generation::second},  {"K2XX012345678", FirmwareImage::Generation::unknown},
      {"k2XX0123456789", FirmwareImage::Generation::unknown}, {"", FirmwareImage::Generation::unknown},
  };
  for (const auto& test : cases) EXPECT_EQ(FirmwareImage::generationOf(test.serial), test.generation) << test.serial;
}

TEST(OverTheAirImage, ASignedImageGoesOutSizePrefixedIn512BytePieces) {
  const Bytes image = signedImage(3);
  Bytes overTheAir;
  std::vector<FirmwareImage::Piece> pieces;
  std::string error;
  ASSERT_TRUE(FirmwareImage::overTheAirImage(image, overTheAir, pieces, error));
  ASSERT_EQ(overTheAir.size(), 6175u);
  EXPECT_EQ(Bytes(overTheAir.begin(), overTheAir.begin() + 4), (Bytes{0x1B, 0x18, 0x00, 0x00}));  // 6171
  EXPECT_EQ(Bytes(overTheAir.begin() + 4, overTheAir.end()), image);
  ASSERT_EQ(pieces.size(), 13u);
  std::vector<int> progress;
  for (size_t index = 0; index < pieces.size(); ++index) {
    EXPECT_EQ(pieces[index].offset, index * 512);
    EXPECT_EQ(pieces[index].length, index < 12 ? 512u : 31u);
    progress.push_back(pieces[index].progressAfter);
  }
  EXPECT_EQ(progress, (std::vector<int>{0, 8, 16, 25, 33, 41, 50, 58, 66, 75, 83, 91, 100}));
}

TEST(OverTheAirImage, AnImageOfTheWrongSizeIsRefusedWithItsRemainder) {
  Bytes overTheAir;
  std::vector<FirmwareImage::Piece> pieces;
  std::string error;
  EXPECT_FALSE(FirmwareImage::overTheAirImage(patterned(2048), overTheAir, pieces, error));
  EXPECT_EQ(error, "Firmware size must be multiple of 2048 + 16 but was 0");
  EXPECT_FALSE(FirmwareImage::overTheAirImage(patterned(11 + 2048 + 20), overTheAir, pieces, error));
  EXPECT_EQ(error, "Firmware size must be multiple of 2048 + 16 but was 31");
}

// The probe's answers in turn (nothing = the exchange failed); whether the reader takes firmware over the air.
TEST(OverTheAirProbe, AFailedTransferIsAskedAgainAndAReaderThatNeverAnswersTakesNothing) {
  using Answer = std::optional<Bytes>;
  const struct {
    const char* name;
    std::vector<Answer> answers;
    bool supported;
    size_t asked;
  } cases[] = {
      {"status 0", {Bytes{0}}, true, 1},
      {"not supported", {Bytes{2}}, false, 1},
      {"any other status", {Bytes{1}}, true, 1},
      {"exchange failed", {Answer()}, false, 1},
      {"empty answer", {Bytes{}}, false, 1},
      {"two lost transfers, then the answer", {Bytes{0x81}, Bytes{0x81}, Bytes{0}}, true, 3},
      {"the reader has left", {Bytes{0x81}, Bytes{0x81}, Bytes{0x81}, Bytes{0}}, false, 3},
  };
  for (const auto& test : cases) {
    size_t asked = 0;
    const bool supported = trevalon::OverTheAirWriter::supported([&](const Bytes& request) {
      EXPECT_EQ(request, Bytes{20});
      return test.answers.at(asked++);
    });
    EXPECT_EQ(supported, test.supported) << test.name;
    EXPECT_EQ(asked, test.asked) << test.name;
  }
}

TEST(FirstGenerationBootloader, PagesAreSelectedFromOneAndWrittenWhole) {
  RecordingPipe pipe;
  const Bytes image = patterned(2 * kPage);
  const Outcome outcome = flash(pipe, FirmwareImage::Generation::first, image);
  ASSERT_TRUE(outcome.ok);
  const std::vector<Bytes> expected = {{0xE1},    {0x00},
                                       {0xE4, 1}, Bytes(image.begin(), image.begin() + 2048),
                                       {0xE4, 2}, Bytes(image.begin() + 2048, image.end()),
                                       {0xE0}};
  EXPECT_EQ(pipe.transfers, expected);
  EXPECT_EQ(outcome.progress, (std::vector<int>{50, 100, 100}));
  EXPECT_TRUE(outcome.waits.empty());
}

TEST(FirstGenerationBootloader, OnlyTheFirst119PagesOf130AreWritten) {
  RecordingPipe pipe;
  const Outcome outcome = flash(pipe, FirmwareImage::Generation::first, patterned(130 * kPage));
  ASSERT_TRUE(outcome.ok);
  ASSERT_EQ(pipe.transfers.size(), 2 + 119 * 2 + 1u);
  EXPECT_EQ(pipe.transfers[pipe.transfers.size() - 3], (Bytes{0xE4, 119}));
  EXPECT_EQ(pipe.transfers.back(), Bytes{0xE0});
  EXPECT_EQ(outcome.progress[118], 100 * 119 / 130);
  EXPECT_EQ(outcome.progress.back(), 100);
}

TEST(SecondGenerationBootloader, HeaderWithTheEraseBigEndianPagesIn64ByteTransfersSignatureWithTheCheck) {
  RecordingPipe pipe;
  const Bytes image = signedImage(257);
  const Outcome outcome = flash(pipe, FirmwareImage::Generation::second, image);
  ASSERT_TRUE(outcome.ok);
  Bytes erase{0xE1};
  erase.insert(erase.end(), image.begin(), image.begin() + 11);
  EXPECT_EQ(pipe.transfers[0], erase);
  EXPECT_EQ(pipe.transfers[1], Bytes{0x00});
  EXPECT_EQ(pipe.transfers[2], Bytes{0x00});
  EXPECT_EQ(outcome.waits, std::vector<int>{4000});
  // Page 256 is selected as 0x01 0x00, and its 32 transfers carry its bytes.
  const size_t page256 = 3 + 256 * 33;
  EXPECT_EQ(pipe.transfers[page256], (Bytes{0xE4, 0x01, 0x00}));
  Bytes written;
  for (size_t index = page256 + 1; index <= page256 + 32; ++index) {
    EXPECT_EQ(pipe.transfers[index].size(), 64u);
    written.insert(written.end(), pipe.transfers[index].begin(), pipe.transfers[index].end());
  }
  const auto pageStart = image.begin() + 11 + 256L * 2048;
  EXPECT_EQ(written, Bytes(pageStart, pageStart + 2048));
  Bytes check{0xE0};
  check.insert(check.end(), image.end() - 16, image.end());
  EXPECT_EQ(pipe.transfers.back(), check);
  EXPECT_EQ(outcome.progress.front(), 0);
  EXPECT_EQ(outcome.progress.back(), 100);
}

TEST(SecondGenerationBootloader, ABodyOfOnlyTheSignatureErasesAndChecks) {
  RecordingPipe pipe;
  const Bytes image = signedImage(0);
  const Outcome outcome = flash(pipe, FirmwareImage::Generation::second, image);
  ASSERT_TRUE(outcome.ok);
  ASSERT_EQ(pipe.transfers.size(), 4u);
  EXPECT_EQ(pipe.transfers[3].size(), 17u);
  EXPECT_EQ(outcome.progress, std::vector<int>{100});
}

// Each step that does not go out whole ends the run with its own message; the next attempt starts from the erase.
TEST(BootloaderRoutines, AShortTransferEndsTheRunWithItsStepsMessage) {
  const struct {
    FirmwareImage::Generation generation;
    Bytes image;
    size_t failAt;
    const char* message;
  } cases[] = {
      {FirmwareImage::Generation::first, patterned(2048), 0, "Failed to erase flash"},
      {FirmwareImage::Generation::first, patterned(2 * kPage), 4, "Failed to set flash page number 2"},
      {FirmwareImage::Generation::first, patterned(2 * kPage), 3, "Failed to flash page 1"},
      {FirmwareImage::Generation::first, patterned(2048), 4, "Failed to check flash signature"},
      {FirmwareImage::Generation::first, patterned(2047), 99, "Firmware size must be multiple of 2048"},
      {FirmwareImage::Generation::second, signedImage(1), 0, "Failed to erase flash"},
      {FirmwareImage::Generation::second, signedImage(2), 36, "Failed to set flash page number 1"},
      {FirmwareImage::Generation::second, signedImage(2), 40, "Failed to flash page 1"},
      {FirmwareImage::Generation::second, signedImage(1), 36, "Failed to check signature"},
      {FirmwareImage::Generation::second, patterned(11 + 2048), 99,
       "Firmware size must be multiple of 2048 + 16 but was 0"},
      {FirmwareImage::Generation::unknown, signedImage(1), 99, "Unknown Device type to flash!"},
  };
  for (const auto& test : cases) {
    RecordingPipe pipe;
    pipe.failAt = test.failAt;
    const Outcome outcome = flash(pipe, test.generation, test.image);
    EXPECT_FALSE(outcome.ok) << test.message;
    EXPECT_EQ(outcome.errors, std::vector<std::string>{test.message});
    if (test.failAt != 99) {
      EXPECT_EQ(pipe.transfers.size(), test.failAt + 1) << test.message;
    }
  }
}

// The zero bytes after the erase may go unanswered.
TEST(BootloaderRoutines, TheZeroBytesAfterTheEraseMayFail) {
  for (const auto generation : {FirmwareImage::Generation::first, FirmwareImage::Generation::second}) {
    RecordingPipe pipe;
    pipe.failAt = 1;
    const Bytes image = generation == FirmwareImage::Generation::first ? patterned(2048) : signedImage(1);
    EXPECT_TRUE(flash(pipe, generation, image).ok);
  }
}

}  // namespace
