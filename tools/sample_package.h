#pragma once

#include <cstdint>

#include "sim/instrument.h"

// What the sample package holds, shared by its generator and the tests that burn it.
namespace tools {

constexpr std::uint16_t SAMPLE_GENERAL_APP_VERSION = sim::DEFAULT_GENERAL_APP_VERSION + 1;
constexpr std::uint16_t SAMPLE_INPUTS_CTRL_VERSION = sim::DEFAULT_INPUTS_CTRL_VERSION + 1;
constexpr std::uint32_t SAMPLE_REQUIRED_HW_VERSION = sim::DEFAULT_HW_VERSION;
// Sizes that take several pieces of 512 bytes and fit their start commands.
constexpr std::uint32_t SAMPLE_GENERAL_APP_SIZE = 70000;
constexpr std::uint32_t SAMPLE_INPUTS_CTRL_SIZE = 4660;
constexpr const char* SAMPLE_PACKAGE_NAME = "UpdateAppImg.bin";

}  // namespace tools
