// Writes the sample firmware package that the build puts beside the programs. Started against
// the simulated instrument, the tool lists both of its images ticked.
#include <cstdio>
#include <vector>

#include "tools/sample_package.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s <output file>\n", argv[0]);
    return 2;
  }
  const std::vector<std::uint8_t> package = tools::BuildSamplePackage();
  if (package.empty()) return 1;
  std::FILE* file = std::fopen(argv[1], "wb");
  if (file == nullptr) {
    std::perror(argv[1]);
    return 1;
  }
  const bool written = std::fwrite(package.data(), 1, package.size(), file) == package.size();
  const bool closed = std::fclose(file) == 0;
  if (!written || !closed) {
    std::perror(argv[1]);
    return 1;
  }
  return 0;
}
