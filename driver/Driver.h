// SPDX-License-Identifier: Apache-2.0
#pragma once
// The driver's readers and their sockets: sockets appear in the runtime directory when the discovery chain finds a
// reader and disappear when the reader is lost or the driver stops.
//
// A Kelvo reader gets the application's socket, whose name is what the application scans for and so carries the
// reader's address in lower case. Every reader, Kelvo or Pentaloq, gets a card channel for pcscd's IFD handler
// (served to root only) and an entry in pcscd's reader list; both sockets of a reader share its one request queue.

#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "CardPresence.h"
#include "PcscReaderList.h"
#include "PeerPolicy.h"
#include "ReaderSocket.h"
#include "RequestQueue.h"
#include "trevalon/Device.h"
#include "trevalon/common/Provider.h"

namespace kelvo::driver {

class Driver : public trevalon::ProviderObserver<std::shared_ptr<trevalon::Device>> {
 public:
  static constexpr const char* kSocketPrefix = "omnivex#ipc#ver6#kelvo_";
  static constexpr const char* kCardSocketPrefix = "kelvo-card_";

  // With an empty `ifdHandlerPath` no reader list is written for pcscd (the card channels are served anyway).
  Driver(std::string runtimeDirectory, std::shared_ptr<const PeerPolicy> policy,
         ReaderSocketLimits limits = ReaderSocketLimits(), std::string ifdHandlerPath = std::string());
  ~Driver() override;

  // Creates the runtime directory if needed, or takes the existing one if it is the driver's own and nobody else
  // may write to it; refuses a symbolic link. Readable and searchable by every local user, so that the desktop
  // user's application can reach the sockets inside. Then writes pcscd's reader list empty.
  bool prepareRuntimeDirectory();
  std::string socketPathOf(const std::string& address) const;
  std::string cardSocketPathOf(const std::string& address) const;
  std::string pcscReaderListPath() const;

  void onFound(const std::shared_ptr<trevalon::Device>& device) override;
  void onLost(const std::shared_ptr<trevalon::Device>& device) override;
  // Removes every socket and empties pcscd's reader list; call after discovery has stopped.
  void stopAll();

  // The addresses with an application socket (Kelvo readers).
  std::vector<std::string> servedAddresses();
  // The addresses with a card channel (every reader).
  std::vector<std::string> cardAddresses();

 private:
  struct ServedReader {
    std::weak_ptr<trevalon::Device> device;
    std::shared_ptr<CardPresence> presence;
    std::unique_ptr<ReaderSocket> applicationSocket;  // Kelvo readers only
    std::unique_ptr<ReaderSocket> cardSocket;
  };

  ServedReader serve(const std::shared_ptr<trevalon::Device>& device, const std::string& address, bool kelvo);
  void end(ServedReader& reader);

  const std::string runtimeDirectory;
  const std::shared_ptr<const PeerPolicy> policy;
  const std::shared_ptr<const PeerPolicy> cardPolicy;
  const ReaderSocketLimits limits;
  std::unique_ptr<PcscReaderList> pcscReaders;
  std::mutex readersLock;
  std::map<std::string, ServedReader> readers;
};

}  // namespace kelvo::driver
