// Writes the sample firmware package that the build puts beside the programs. It is made for
// the simulated instrument: both images carry the simulator's version footer, one step newer
// than the versions the simulator starts with, and the package asks for the simulator's default
// hardware version. Started against the simulator, the tool lists both images ticked.
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "firmware/package_builder.h"
#include "sim/firmware_image.h"
#include "tools/sample_package.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s <output file>\n", argv[0]);
    return 2;
  }
  const std::vector<std::uint8_t> generalApp =
      sim::BuildFirmwareImage(tools::SAMPLE_GENERAL_APP_VERSION, tools::SAMPLE_GENERAL_APP_SIZE, 1);
  const std::vector<std::uint8_t> inputsCtrl =
      sim::BuildFirmwareImage(tools::SAMPLE_INPUTS_CTRL_VERSION, tools::SAMPLE_INPUTS_CTRL_SIZE, 2);
  if (generalApp.empty() || inputsCtrl.empty()) return 1;

  firmware::PackageBuilder package;
  package.Header("mIMF", tools::SAMPLE_REQUIRED_HW_VERSION)
      .Image("GC", tools::SAMPLE_GENERAL_APP_VERSION, generalApp)
      .Image("IC", tools::SAMPLE_INPUTS_CTRL_VERSION, inputsCtrl);

  std::FILE* file = std::fopen(argv[1], "wb");
  if (file == nullptr) {
    std::perror(argv[1]);
    return 1;
  }
  const bool written =
      std::fwrite(package.bytes.data(), 1, package.bytes.size(), file) == package.bytes.size();
  const bool closed = std::fclose(file) == 0;
  if (!written || !closed) {
    std::perror(argv[1]);
    return 1;
  }
  return 0;
}
