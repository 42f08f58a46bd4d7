// Reading a 16 MiB package, against reading the same file with plain read calls: the reader
// should cost no more than the reads it has to make.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "firmware/package_builder.h"
#include "firmware/package_reader.h"

namespace {

constexpr std::uint32_t kPackageSize = 16u << 20;
constexpr std::uint32_t kInputsCtrlImageSize = 60000;

class NoRows final : public firmware::RowSink {
 public:
  int AddRow(int row, int, const firmware::ImageSlot&) override { return row; }
};

std::string gPath;

// A package of exactly 16 MiB: a general-application image and an inputs-controller image.
void WritePackage() {
  gPath = (std::filesystem::temp_directory_path() /
           ("veltra-package-read-bench-" + std::to_string(::getpid()) + ".bin"))
              .string();
  const std::uint32_t generalAppSize = kPackageSize - 3 * 8 - kInputsCtrlImageSize;
  firmware::PackageBuilder builder;
  builder.Header("mIMF", 3)
      .Image("GC", 0x0123, generalAppSize)
      .Image("IC", 0x0103, kInputsCtrlImageSize);
  std::ofstream(gPath, std::ios::binary)
      .write(reinterpret_cast<const char*>(builder.bytes.data()),
             static_cast<std::streamsize>(builder.bytes.size()));
}

void BM_ReadPackage(benchmark::State& state) {
  for (auto _ : state) {
    std::unique_ptr<firmware::ByteSource> file = firmware::OpenPackageFile(gPath.c_str());
    firmware::ImagePackage package;
    NoRows rows;
    const char* result = firmware::ReadPackage(*file, package, rows);
    if (result != nullptr || package.loadedCount != 2) state.SkipWithError("package not read");
    benchmark::DoNotOptimize(package.slots[0].data.get());
  }
  state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(kPackageSize));
}
BENCHMARK(BM_ReadPackage)->Unit(benchmark::kMillisecond)->UseRealTime();

// The baseline: one buffer of the file's size, filled by read calls.
void BM_PlainRead(benchmark::State& state) {
  for (auto _ : state) {
    const int fd = ::open(gPath.c_str(), O_RDONLY);
    std::unique_ptr<std::uint8_t[]> buffer(new std::uint8_t[kPackageSize]);
    std::size_t done = 0;
    while (done < kPackageSize) {
      const ssize_t got = ::read(fd, buffer.get() + done, kPackageSize - done);
      if (got <= 0) break;
      done += static_cast<std::size_t>(got);
    }
    ::close(fd);
    if (done != kPackageSize) state.SkipWithError("file not read");
    benchmark::DoNotOptimize(buffer.get());
  }
  state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(kPackageSize));
}
BENCHMARK(BM_PlainRead)->Unit(benchmark::kMillisecond)->UseRealTime();

// Keeps the time per iteration of every run besides printing it.
class RecordingReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& run : runs) {
      if (run.run_type == Run::RT_Iteration)
        timeNs[run.benchmark_name()] = run.GetAdjustedRealTime();
    }
    ConsoleReporter::ReportRuns(runs);
  }
  std::map<std::string, double> timeNs;
};

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  WritePackage();
  RecordingReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  std::filesystem::remove(gPath);
  const auto package = reporter.timeNs.find("BM_ReadPackage/real_time");
  const auto plain = reporter.timeNs.find("BM_PlainRead/real_time");
  if (package != reporter.timeNs.end() && plain != reporter.timeNs.end() && plain->second > 0) {
    std::printf("package read / plain read: %.3f\n", package->second / plain->second);
  }
  benchmark::Shutdown();
  return 0;
}
