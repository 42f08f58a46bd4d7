#pragma once

#include <cstdint>
#include <vector>

#include "firmware/package_builder.h"
#include "sim/firmware_image.h"
#include "sim/instrument.h"

// The sample package for the simulated instrument, shared by its generator and the tests that
// burn it: both images one step newer than the simulator's defaults and sealed with its
// footer, for the simulator's default hardware version.
namespace tools {

constexpr std::uint16_t SAMPLE_GENERAL_APP_VERSION = sim::DEFAULT_GENERAL_APP_VERSION + 1;
constexpr std::uint16_t SAMPLE_INPUTS_CTRL_VERSION = sim::DEFAULT_INPUTS_CTRL_VERSION + 1;
constexpr std::uint32_t SAMPLE_REQUIRED_HW_VERSION = sim::DEFAULT_HW_VERSION;
// Sizes that take several pieces of 512 bytes and fit their start commands.
constexpr std::uint32_t SAMPLE_GENERAL_APP_SIZE = 70000;
constexpr std::uint32_t SAMPLE_INPUTS_CTRL_SIZE = 4660;
constexpr const char* SAMPLE_PACKAGE_NAME = "UpdateAppImg.bin";

// The whole package file; empty if an image could not be made.
inline std::vector<std::uint8_t> BuildSamplePackage() {
  const std::vector<std::uint8_t> generalApp =
      sim::BuildFirmwareImage(SAMPLE_GENERAL_APP_VERSION, SAMPLE_GENERAL_APP_SIZE, 1);
  const std::vector<std::uint8_t> inputsCtrl =
      sim::BuildFirmwareImage(SAMPLE_INPUTS_CTRL_VERSION, SAMPLE_INPUTS_CTRL_SIZE, 2);
  if (generalApp.empty() || inputsCtrl.empty()) return {};
  firmware::PackageBuilder package;
  package.Header("mIMF", SAMPLE_REQUIRED_HW_VERSION)
      .Image("GC", SAMPLE_GENERAL_APP_VERSION, generalApp)
      .Image("IC", SAMPLE_INPUTS_CTRL_VERSION, inputsCtrl);
  return package.bytes;
}

}  // namespace tools
