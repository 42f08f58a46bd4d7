#pragma once

#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

#include "firmware/package_reader.h"

namespace firmware {

// Writes package files byte by byte: the header, records, and anything else a test or a tool
// wants to put in them. Records may claim a size other than the data that follows.
class PackageBuilder {
 public:
  PackageBuilder& Header(std::string_view magic, std::uint32_t value) {
    Raw(magic);
    return Le32(value);
  }
  PackageBuilder& RecordHeader(std::string_view tag, std::uint16_t version, std::uint32_t size) {
    Raw(tag);
    bytes.push_back(static_cast<std::uint8_t>(version));
    bytes.push_back(static_cast<std::uint8_t>(version >> 8));
    return Le32(size);
  }
  PackageBuilder& Image(std::string_view tag, std::uint16_t version,
                        std::span<const std::uint8_t> data) {
    RecordHeader(tag, version, static_cast<std::uint32_t>(data.size()));
    return Raw(data);
  }
  // An image of `size` bytes counting up from 0.
  PackageBuilder& Image(std::string_view tag, std::uint16_t version, std::uint32_t size) {
    RecordHeader(tag, version, size);
    for (std::uint32_t i = 0; i < size; ++i) bytes.push_back(static_cast<std::uint8_t>(i));
    return *this;
  }
  PackageBuilder& Raw(std::string_view text) {
    bytes.insert(bytes.end(), text.begin(), text.end());
    return *this;
  }
  PackageBuilder& Raw(std::span<const std::uint8_t> data) {
    bytes.insert(bytes.end(), data.begin(), data.end());
    return *this;
  }
  PackageBuilder& Le32(std::uint32_t value) {
    for (int shift = 0; shift < 32; shift += 8) {
      bytes.push_back(static_cast<std::uint8_t>(value >> shift));
    }
    return *this;
  }

  std::vector<std::uint8_t> bytes;
};

}  // namespace firmware
