// SPDX-License-Identifier: Apache-2.0
#include "Driver.h"

#include <algorithm>
#include <cctype>

#include "CardRequests.h"
#include "DriverStatus.h"
#include "OwnedFiles.h"
#include "RequestDispatcher.h"
#include "trevalon/Reader.h"
#include "trevalon/common/Log.h"
#include "trevalon/common/ScopeTrace.h"

namespace kelvo::driver {
namespace {

std::string lowerCase(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return std::tolower(c); });
  return text;
}

}  // namespace

Driver::Driver(std::string runtimeDirectory, std::shared_ptr<const PeerPolicy> policy, ReaderSocketLimits limits,
               std::string ifdHandlerPath)
    : runtimeDirectory(std::move(runtimeDirectory)),
      policy(std::move(policy)),
      cardPolicy(PeerPolicy::rootOnly()),
      limits(limits) {
  if (!ifdHandlerPath.empty()) {
    pcscReaders = std::make_unique<PcscReaderList>(this->runtimeDirectory, std::move(ifdHandlerPath));
  }
}

Driver::~Driver() { stopAll(); }

bool Driver::prepareRuntimeDirectory() {
  TREVALON_TRACE();
  std::string failure;
  if (!OwnedFiles::prepareDirectory(runtimeDirectory, 0755, failure)) {
    TREVALON_LOG(error, "refusing the runtime directory %s", failure.c_str());
    return false;
  }
  if (pcscReaders && !PcscReaderList::canCarry(runtimeDirectory)) {
    TREVALON_LOG(error, "the runtime directory %s cannot be named in pcscd's reader list (a blank, '#' or '\"')",
                 runtimeDirectory.c_str());
    return false;
  }
  return !pcscReaders || pcscReaders->clear();
}

std::string Driver::socketPathOf(const std::string& address) const {
  return runtimeDirectory + "/" + kSocketPrefix + lowerCase(address);
}

std::string Driver::cardSocketPathOf(const std::string& address) const {
  return runtimeDirectory + "/" + kCardSocketPrefix + lowerCase(address);
}

std::string Driver::pcscReaderListPath() const { return runtimeDirectory + "/" + PcscReaderList::kFileName; }

void Driver::onFound(const std::shared_ptr<trevalon::Device>& device) {
  TREVALON_TRACE();
  if (!device) return;
  const std::string address = lowerCase(device->getAddress());
  const auto reader = std::dynamic_pointer_cast<trevalon::Reader>(device);
  const bool kelvo = !reader || reader->getFamily() == trevalon::Reader::Family::kKelvo;
  std::lock_guard<std::mutex> guard(readersLock);
  if (readers.count(address) != 0) return;
  ServedReader served = serve(device, address, kelvo);
  if (!served.applicationSocket && !served.cardSocket) return;
  TREVALON_LOG(info, "reader %s found (%s)", device->getAddress().c_str(), kelvo ? "Kelvo" : "Pentaloq");
  readers.emplace(address, std::move(served));
}

Driver::ServedReader Driver::serve(const std::shared_ptr<trevalon::Device>& device, const std::string& address,
                                   bool kelvo) {
  ServedReader served;
  served.device = device;
  std::weak_ptr<trevalon::Device> weakDevice = device;
  auto queue = std::make_shared<RequestQueue>([weakDevice](const std::vector<uint8_t>& request) {
    std::shared_ptr<trevalon::Device> reader = weakDevice.lock();
    if (!reader) return std::vector<uint8_t>{kStatusDeviceRemoved};
    if (CardRequests::isCardRequest(request.at(0))) return CardRequests::answer(reader, request);
    return RequestDispatcher::answer(reader, request);
  });
  if (kelvo) {
    served.applicationSocket =
        std::make_unique<ReaderSocket>(socketPathOf(address), queue, policy, limits,
                                       [](const std::vector<uint8_t>& request, const ReaderSocket::ConnectionWatch&) {
                                         // The card channel's codes are unknown here: an ordinary user never reaches the card.
                                         return RequestDispatcher::answerWithoutReader(request);
                                       });
    if (!served.applicationSocket->start()) served.applicationSocket.reset();
  }
  served.presence = std::make_shared<CardPresence>(false);
  const auto reader = std::dynamic_pointer_cast<trevalon::Reader>(device);
  if (reader) {
    // Watched before the state is read, so that a change in between is not lost.
    static_cast<trevalon::Slot&>(*reader).addObserver(served.presence);
    served.presence->onStateChanged(static_cast<trevalon::Slot&>(*reader).getState());
  }
  ReaderSocketLimits cardLimits = limits;
  cardLimits.maxMessage = CardRequests::kMaxMessage;
  cardLimits.fileMode = 0600;
  // Only root (pcscd) is served here, so a quota between users means nothing; pcscd holds a wait, a transmit and
  // a status check of one reader at once, and the waits of a pcscd that just stopped take a moment to be counted
  // out.
  cardLimits.perUid = cardLimits.total;
  std::shared_ptr<CardPresence> presence = served.presence;
  served.cardSocket = std::make_unique<ReaderSocket>(
      cardSocketPathOf(address), queue, cardPolicy, cardLimits,
      [presence](const std::vector<uint8_t>& request, const ReaderSocket::ConnectionWatch& watch) {
        return CardRequests::answerWithoutReader(request, *presence, watch);
      });
  if (!served.cardSocket->start()) {
    served.cardSocket.reset();
  } else if (pcscReaders) {
    pcscReaders->add(address, std::string(kelvo ? "Kelvo " : "Pentaloq ") + address, cardSocketPathOf(address));
  }
  return served;
}

void Driver::end(ServedReader& reader) {
  if (reader.applicationSocket) reader.applicationSocket->markLost();
  if (reader.cardSocket) reader.cardSocket->markLost();
  // Waits for a card change end now, answered as lost.
  reader.presence->close();
  if (reader.applicationSocket) reader.applicationSocket->stop();
  if (reader.cardSocket) reader.cardSocket->stop();
  if (std::shared_ptr<trevalon::Device> device = reader.device.lock()) {
    if (auto served = std::dynamic_pointer_cast<trevalon::Reader>(device)) {
      static_cast<trevalon::Slot&>(*served).removeObserver(reader.presence);
    }
  }
}

void Driver::onLost(const std::shared_ptr<trevalon::Device>& device) {
  TREVALON_TRACE();
  if (!device) return;
  const std::string address = lowerCase(device->getAddress());
  ServedReader reader;
  {
    std::lock_guard<std::mutex> guard(readersLock);
    auto entry = readers.find(address);
    if (entry == readers.end()) return;
    reader = std::move(entry->second);
    readers.erase(entry);
    // Out of pcscd's list before its card channel goes, so pcscd never starts with a reader that is not there.
    if (pcscReaders) pcscReaders->remove(address);
  }
  TREVALON_LOG(info, "reader %s lost", device->getAddress().c_str());
  end(reader);
}

void Driver::stopAll() {
  std::map<std::string, ServedReader> ending;
  {
    std::lock_guard<std::mutex> guard(readersLock);
    ending.swap(readers);
    if (pcscReaders && !ending.empty()) pcscReaders->clear();
  }
  for (auto& entry : ending) {
    if (entry.second.applicationSocket) entry.second.applicationSocket->stop();
    if (entry.second.cardSocket) entry.second.cardSocket->stop();
    entry.second.presence->close();
  }
}

std::vector<std::string> Driver::servedAddresses() {
  std::lock_guard<std::mutex> guard(readersLock);
  std::vector<std::string> addresses;
  for (const auto& entry : readers) {
    if (entry.second.applicationSocket) addresses.push_back(entry.first);
  }
  return addresses;
}

std::vector<std::string> Driver::cardAddresses() {
  std::lock_guard<std::mutex> guard(readersLock);
  std::vector<std::string> addresses;
  for (const auto& entry : readers) {
    if (entry.second.cardSocket) addresses.push_back(entry.first);
  }
  return addresses;
}

}  // namespace kelvo::driver
