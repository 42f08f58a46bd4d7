// Writes the program's icon file from the icon data of the resources. It runs on the build
// machine during the cross-build, so that the resource compiler can put a real icon resource
// into the program.
#include <cstdio>
#include <vector>

#include "platform/win32/resource_bytes.h"
#include "resources/dialog_template.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s OUTPUT.ico\n", argv[0]);
    return 2;
  }
  const std::vector<std::uint8_t> file =
      win32::BuildIconFile(res::MainIconImages(), res::IconPalette());
  std::FILE* out = std::fopen(argv[1], "wb");
  if (out == nullptr) {
    std::perror(argv[1]);
    return 1;
  }
  const bool written = std::fwrite(file.data(), 1, file.size(), out) == file.size();
  const bool closed = std::fclose(out) == 0;
  if (!written || !closed) {
    std::fprintf(stderr, "%s: cannot write the icon\n", argv[1]);
    return 1;
  }
  return 0;
}
