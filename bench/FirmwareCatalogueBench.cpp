// SPDX-License-Identifier: Apache-2.0
// The firmware catalogue as the application uses it once a day per reader: loading a folder of 200 descriptors
// with images of 256 KiB each, and matching 8 readers against it. Loading is reported as a multiple of the floor, reading the same
// bytes from the same files without parsing anything (the catalogue cannot be faster than reading its images).
#include <benchmark/benchmark.h>

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <vector>

#include "trevalon/firmware/FirmwareFlasher.h"

namespace {

namespace fs = std::filesystem;

constexpr int kDescriptors = 200;
constexpr size_t kImageBytes = size_t{256} * 1024;
constexpr int kReaders = 8;

// The folder, written once per run: image i fits serials starting with digit (i mod 10), versions 1.0.i.
class CatalogueFolder {
 public:
  CatalogueFolder() {
    root = fs::temp_directory_path() / ("kelvo-firmware-bench-" + std::to_string(::getpid()));
    fs::create_directories(root);
    const std::string image(kImageBytes, '\x5a');
    for (int index = 0; index < kDescriptors; ++index) {
      const std::string id = "image-" + std::to_string(index);
      std::ofstream(root / (id + ".xml"))
          << "<firmware version=\"2\"><name>Kelvo " << index << "</name><version>1.0." << index
          << "</version><date>01.02.2026 10:30</date><serial>" << index % 10 << ".*</serial>"
          << "<hardware>A|B</hardware><method>ble|usb</method></firmware>";
      std::ofstream(root / (id + ".bin"), std::ios::binary) << image;
    }
  }
  ~CatalogueFolder() {
    std::error_code ignored;
    fs::remove_all(root, ignored);
  }
  fs::path root;
};

CatalogueFolder& folder() {
  static CatalogueFolder instance;
  return instance;
}

// The floor: every file of the folder read whole, nothing parsed.
size_t readAllFiles() {
  size_t bytes = 0;
  for (const fs::directory_entry& entry : fs::directory_iterator(folder().root)) {
    std::ifstream in(entry.path(), std::ios::binary);
    std::vector<char> content(fs::file_size(entry.path()));
    in.read(content.data(), static_cast<std::streamsize>(content.size()));
    bytes += static_cast<size_t>(in.gcount());
  }
  return bytes;
}

double secondsOf(const std::function<void()>& work) {
  const auto start = std::chrono::steady_clock::now();
  work();
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// Loading, reported also as a multiple of the floor measured in the same run (the best of three reads of the
// folder, as the best case is what the loads are compared with).
void BM_LoadCatalogue(benchmark::State& state) {
  double floor = 1e9;
  for (int pass = 0; pass < 3; ++pass)
    floor = std::min(floor, secondsOf([] { benchmark::DoNotOptimize(readAllFiles()); }));
  double loading = 0;
  for (auto _ : state) {
    loading += secondsOf([&state] {
      trevalon::FirmwareFlasher catalogue;
      catalogue.load(folder().root.string());
      if (catalogue.firmwares().size() != kDescriptors) state.SkipWithError("descriptors missing");
      benchmark::DoNotOptimize(catalogue);
    });
  }
  state.counters["floor_ms"] = floor * 1000;
  state.counters["floors"] = loading / static_cast<double>(state.iterations()) / floor;
}
BENCHMARK(BM_LoadCatalogue)->Unit(benchmark::kMillisecond);

void BM_MatchEightReaders(benchmark::State& state) {
  trevalon::FirmwareFlasher catalogue;
  catalogue.load(folder().root.string());
  std::vector<trevalon::FirmwareFlasher::Reader> readers(kReaders);
  for (int index = 0; index < kReaders; ++index) {
    readers[index].values = {{"Serial", std::to_string(index) + "123456789"},
                             {"Firmware", "1.0.5"},
                             {"Hardware", "B"},
                             {"Bootloader", "1.0"}};
    readers[index].displayName = "Kelvo " + readers[index].values["Serial"];
  }
  for (auto _ : state) {
    for (const auto& reader : readers) benchmark::DoNotOptimize(catalogue.findUpdate(reader, {"ble", "usb"}));
  }
}
BENCHMARK(BM_MatchEightReaders)->Unit(benchmark::kMicrosecond);

}  // namespace
