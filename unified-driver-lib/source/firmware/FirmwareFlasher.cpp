// SPDX-License-Identifier: Apache-2.0
#include "trevalon/firmware/FirmwareFlasher.h"

#include <rapidxml/rapidxml.hpp>

#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <system_error>

namespace trevalon {

namespace {

namespace fs = std::filesystem;

const char kDateFormat[] = "%d.%m.%Y %H:%M";
const char kAnything[] = ".*";

// The whole file, or nothing when it cannot be read or is larger than `limit`.
template <typename Byte>
bool readWhole(const fs::path& path, uintmax_t limit, std::vector<Byte>& bytes) {
  std::error_code error;
  const uintmax_t size = fs::file_size(path, error);
  if (error || size > limit) return false;
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  bytes.resize(static_cast<size_t>(size));
  in.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(size));
  // A file that shrank meanwhile is read as far as it goes.
  bytes.resize(static_cast<size_t>(in.gcount()));
  return !in.bad();
}

int64_t secondsOf(const std::string& text) {
  std::tm local{};
  const char* end = ::strptime(text.c_str(), kDateFormat, &local);
  if (end == nullptr) return 0;
  local.tm_isdst = -1;
  return static_cast<int64_t>(std::mktime(&local));
}

struct Fields {
  std::string name;
  std::string version;
  std::string description = "no description";
  std::string date;
  std::string fileId;
  std::string method = kAnything;
  std::string serial = kAnything;
  std::string hardware = kAnything;
  std::string bootloader = kAnything;
  std::string firmware = kAnything;
};

// Children in document order; a repeated one overrides the earlier, an unknown one is ignored.
Fields fieldsOf(const rapidxml::xml_node<>* root) {
  Fields fields;
  const std::map<std::string, std::string Fields::*> known = {{"name", &Fields::name},
                                                              {"version", &Fields::version},
                                                              {"description", &Fields::description},
                                                              {"date", &Fields::date},
                                                              {"fileId", &Fields::fileId},
                                                              {"fileid", &Fields::fileId},
                                                              {"method", &Fields::method},
                                                              {"serial", &Fields::serial},
                                                              {"hardware", &Fields::hardware},
                                                              {"bootloader", &Fields::bootloader},
                                                              {"firmware", &Fields::firmware}};
  for (const rapidxml::xml_node<>* child = root->first_node(); child != nullptr; child = child->next_sibling()) {
    if (child->type() != rapidxml::node_element) continue;
    const auto field = known.find(std::string(child->name(), child->name_size()));
    if (field != known.end()) fields.*(field->second) = std::string(child->value(), child->value_size());
  }
  return fields;
}

bool rootIsValid(const rapidxml::xml_node<>* root) {
  if (root == nullptr || std::string(root->name(), root->name_size()) != "firmware") return false;
  const rapidxml::xml_attribute<>* first = root->first_attribute();
  if (first == nullptr || std::string(first->name(), first->name_size()) != "version") return false;
  return std::atol(std::string(first->value(), first->value_size()).c_str()) >= 2;
}

bool compilePatterns(const Fields& fields, Firmware& firmware) {
  firmware.firmwarePattern = FirmwarePattern::compile(fields.firmware);
  firmware.hardwarePattern = FirmwarePattern::compile(fields.hardware);
  firmware.bootloaderPattern = FirmwarePattern::compile(fields.bootloader);
  firmware.serialPattern = FirmwarePattern::compile(fields.serial);
  firmware.methodPattern = FirmwarePattern::compile(fields.method);
  return firmware.firmwarePattern && firmware.hardwarePattern && firmware.bootloaderPattern && firmware.serialPattern &&
         firmware.methodPattern;
}

}  // namespace

std::string FirmwareFlasher::Reader::value(const std::string& key) const {
  const auto found = values.find(key);
  return found == values.end() ? std::string() : found->second;
}

void FirmwareFlasher::load(const std::string& directory) {
  std::error_code error;
  fs::directory_iterator entries(directory, error);
  if (error) return;
  for (const fs::directory_entry& entry : entries) {
    const fs::path& path = entry.path();
    if (path.extension() == ".xml") {
      if (std::shared_ptr<Firmware> firmware = parse(path.string())) list.push_back(firmware);
    } else if (entry.is_directory(error) && !entry.is_symlink(error)) {
      // A linked folder is not followed: a link to a parent would make the search endless.
      load(path.string());
    }
  }
}

std::shared_ptr<Firmware> FirmwareFlasher::parse(const std::string& path) {
  std::vector<char> text;
  if (!readWhole(path, kLargestDescriptor, text)) return nullptr;
  text.push_back('\0');
  rapidxml::xml_document<> document;
  try {
    document.parse<0>(text.data());
  } catch (const rapidxml::parse_error&) {
    return nullptr;
  }
  const rapidxml::xml_node<>* root = document.first_node();
  if (!rootIsValid(root)) return nullptr;
  const Fields fields = fieldsOf(root);
  if (fields.name.empty() || fields.version.empty() || fields.date.empty()) return nullptr;

  auto firmware = std::make_shared<Firmware>();
  const fs::path descriptor(path);
  firmware->id = descriptor.stem().string();
  const std::string fileId = fields.fileId.empty() ? firmware->id + ".bin" : fields.fileId;
  firmware->date = secondsOf(fields.date);
  if (!compilePatterns(fields, *firmware)) return nullptr;
  if (!readWhole(descriptor.parent_path() / fileId, kLargestImage, firmware->data)) return nullptr;
  firmware->name = fields.name;
  firmware->description = fields.description;
  firmware->version = FirmwareVersion::parse(fields.version);
  return firmware;
}

bool FirmwareFlasher::match(const Firmware& firmware, const Reader& reader, const std::string& method) {
  const struct {
    const FirmwarePattern& pattern;
    std::string value;
    const char* what;
  } tests[] = {{*firmware.serialPattern, reader.value("Serial"), "serial"},
               {*firmware.bootloaderPattern, reader.value("Bootloader"), "bootloader"},
               {*firmware.firmwarePattern, reader.value("Firmware"), "firmware"},
               {*firmware.hardwarePattern, reader.value("Hardware"), "hardware"},
               {*firmware.methodPattern, method, "method"}};
  const std::string prefix = firmware.name + " (" + firmware.id + "): ";
  for (const auto& test : tests) {
    if (!test.pattern.matchesWhole(test.value)) {
      if (reader.debug) reader.debug(prefix + "could not match " + test.what + " " + test.value);
      return false;
    }
  }
  if (reader.debug) reader.debug(prefix + "matched");
  return true;
}

std::shared_ptr<Firmware> FirmwareFlasher::findUpdate(const Reader& reader,
                                                      const std::vector<std::string>& methods) const {
  const FirmwareVersion current = FirmwareVersion::parse(reader.value("Firmware"));
  std::shared_ptr<Firmware> best;
  FirmwareVersion bestVersion = FirmwareVersion::parse("0");
  std::string bestMethod;
  for (const std::string& method : methods) {
    for (const std::shared_ptr<Firmware>& firmware : list) {
      if (!match(*firmware, reader, method) || !(current < firmware->version)) continue;
      if (!best || bestVersion < firmware->version) {
        best = firmware;
        bestVersion = firmware->version;
        bestMethod = method;
      } else if (firmware->version == bestVersion && method == bestMethod && firmware->id != best->id) {
        if (reader.error) {
          reader.error(reader.displayName + ": ambigous candidates for update to " + bestVersion.toString() +
                       ". Candidates are " + best->name + " (" + best->id + ") and " + firmware->name + " (" +
                       firmware->id + ")");
        }
        return nullptr;
      } else if (reader.debug) {
        reader.debug("A better match '" + best->name + "' was already found");
      }
    }
  }
  return best;
}

}  // namespace trevalon
