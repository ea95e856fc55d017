#pragma once

#include <cstdint>
#include <vector>

namespace trevalon {

// Both operations take their argument by value and return a new vector; an empty result means failure.
class Encryptor {
 public:
  virtual ~Encryptor() = default;
  virtual std::vector<uint8_t> decrypt(std::vector<uint8_t> data) = 0;
  virtual std::vector<uint8_t> encrypt(std::vector<uint8_t> plain) = 0;
};

}  // namespace trevalon
