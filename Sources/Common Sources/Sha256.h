// SHA-256 (FIPS 180-4), for telling whether two files hold the same program.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace corvane {

using Sha256Digest = std::array<uint8_t, 32>;

class Sha256 {
 public:
  Sha256();
  void Update(const void* data, size_t size);
  // The digest of everything given so far; the object is spent afterwards.
  Sha256Digest Finish();

 private:
  void Block(const uint8_t* block);

  std::array<uint32_t, 8> state_;
  std::array<uint8_t, 64> buffer_{};
  size_t buffered_ = 0;
  uint64_t total_bytes_ = 0;
};

Sha256Digest Sha256Of(std::string_view bytes);
std::string DigestHex(const Sha256Digest& digest);

}  // namespace corvane
