#include "firmware/package_reader.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <new>
#include <string>
#include <vector>

#include "firmware/package_builder.h"
#include "tests/support/comma_locale.h"

// The reader's buffers come from the non-throwing array new. Replacing it lets the tests see
// the largest buffer asked for, and make a large one fail.
namespace {
std::size_t gLargestNothrowArray = 0;
std::size_t gFailNothrowArrayFrom = SIZE_MAX;
}  // namespace

void* operator new[](std::size_t size, const std::nothrow_t&) noexcept {
  if (size > gLargestNothrowArray) gLargestNothrowArray = size;
  if (size >= gFailNothrowArrayFrom) return nullptr;
  return std::malloc(size == 0 ? 1 : size);
}
void operator delete[](void* p) noexcept {
  std::free(p);
}
void operator delete[](void* p, std::size_t) noexcept {
  std::free(p);
}
void* operator new[](std::size_t size) {
  void* p = std::malloc(size == 0 ? 1 : size);
  if (p == nullptr) throw std::bad_alloc();
  return p;
}

namespace firmware {
namespace {

// Records the rows as the list would show them: "type version size" at their index.
class RecordedRows final : public RowSink {
 public:
  int AddRow(int row, int slotIndex, const ImageSlot& slot) override {
    rows.insert(rows.begin() + row, std::string(SlotTypeName(slotIndex)) + " " +
                                        FormatImageVersion(slot.version) + " " +
                                        FormatImageSize(slot.size));
    return row;
  }
  std::vector<std::string> rows;
};

// A slot in one line: "empty", "v0105 empty", or "v0105 1536 bytes row 0".
std::string Describe(const ImageSlot& slot) {
  char text[64];
  if (!slot.IsLoaded()) {
    if (slot.version == 0 && slot.size == 0 && slot.listRow == 0) return "empty";
    std::snprintf(text, sizeof text, "v%04X empty size %u row %d", slot.version, slot.size,
                  slot.listRow);
  } else {
    std::snprintf(text, sizeof text, "v%04X %u bytes row %d", slot.version, slot.size,
                  slot.listRow);
  }
  return text;
}

struct Outcome {
  const char* result;
  ImagePackage package;
  std::vector<std::string> rows;
};

Outcome Read(const std::vector<std::uint8_t>& bytes) {
  MemorySource source(bytes.data(), bytes.size());
  Outcome outcome;
  RecordedRows rows;
  outcome.result = ReadPackage(source, outcome.package, rows);
  outcome.rows = rows.rows;
  return outcome;
}

std::string ResultText(const char* result) {
  return result == nullptr ? "success" : result;
}

TEST(PackageReader, ResultTableAndToleranceRules) {
  struct Case {
    const char* name;
    std::vector<std::uint8_t> bytes;
    const char* result;
    int loadedCount;
    std::uint32_t requiredHwVersion;
    std::uint32_t driverMinorRange;
    std::vector<std::string> rows;
    std::string generalApp;
    std::string inputsCtrl;
  };
  using B = PackageBuilder;
  const Case cases[] = {
      {"header only",
       B().Header("mIMF", 0x0102).bytes,
       RESULT_READ_FAILURE,
       0,
       0x0102,
       0,
       {},
       "empty",
       "empty"},
      {"other magic",
       B().Header("XIMF", 0x0102).Image("GC", 0x0105, 4).bytes,
       RESULT_BAD_FORMAT,
       0,
       0,
       0,
       {},
       "empty",
       "empty"},
      {"MIMF value 0",
       B().Header("MIMF", 0).Image("GC", 0x0105, 4).bytes,
       RESULT_BAD_FORMAT,
       0,
       0,
       0,
       {},
       "empty",
       "empty"},
      {"mIMF low half 0",
       B().Header("mIMF", 0x00050000).Image("GC", 0x0105, 4).bytes,
       RESULT_BAD_FORMAT,
       0,
       0,
       0,
       {},
       "empty",
       "empty"},
      {"mIMF takes the low half",
       B().Header("mIMF", 0x12340102).Image("GC", 0x0105, 1536).bytes,
       nullptr,
       1,
       0x0102,
       0,
       {"General application 1.05 1.500"},
       "v0105 1536 bytes row 0",
       "empty"},
      {"MIMF takes the whole value",
       B().Header("MIMF", 0x0014000A).Image("IC", 0x0A0C, 1).bytes,
       nullptr,
       1,
       0,
       0x0014000A,
       {"Inputs controller 10.12 0.001"},
       "empty",
       "v0A0C 1 bytes row 0"},
      {"IC before GC keeps file order",
       B().Header("mIMF", 1).Image("IC", 0x0201, 3).Image("GC", 0x0102, 2).bytes,
       nullptr,
       2,
       1,
       0,
       {"Inputs controller 2.01 0.003", "General application 1.02 0.002"},
       "v0102 2 bytes row 1",
       "v0201 3 bytes row 0"},
      {"size 0 alone",
       B().Header("mIMF", 1).RecordHeader("GC", 0x0105, 0).bytes,
       RESULT_READ_FAILURE,
       0,
       1,
       0,
       {},
       "v0105 empty size 0 row 0",
       "empty"},
      {"size 0 then an image",
       B().Header("mIMF", 1).RecordHeader("IC", 0x0300, 0).Image("GC", 0x0105, 4).bytes,
       nullptr,
       1,
       1,
       0,
       {"General application 1.05 0.004"},
       "v0105 4 bytes row 0",
       "v0300 empty size 0 row 0"},
      {"unknown tag first",
       B().Header("mIMF", 1).Image("XY", 0x0105, 4).Image("GC", 1, 4).bytes,
       RESULT_READ_FAILURE,
       0,
       1,
       0,
       {},
       "empty",
       "empty"},
      {"unknown tag later",
       B().Header("mIMF", 1).Image("GC", 0x0105, 4).Image("XY", 1, 4).Image("IC", 1, 4).bytes,
       nullptr,
       1,
       1,
       0,
       {"General application 1.05 0.004"},
       "v0105 4 bytes row 0",
       "empty"},
      {"cut-short GC after a whole IC",
       B().Header("mIMF", 1)
           .Image("IC", 0x0201, 8)
           .RecordHeader("GC", 0x0105, 100)
           .Raw("abc")
           .bytes,
       nullptr,
       1,
       1,
       0,
       {"Inputs controller 2.01 0.008", "General application 1.05 0.098"},
       "empty",
       "v0201 8 bytes row 0"},
      {"only record cut short",
       B().Header("mIMF", 1).RecordHeader("GC", 0x0105, 9).Raw("12345678").bytes,
       RESULT_READ_FAILURE,
       0,
       1,
       0,
       {"General application 1.05 0.009"},
       "empty",
       "empty"},
      {"trailing bytes ignored",
       B().Header("mIMF", 1).Image("GC", 0x0105, 4).Raw("GC\x01").bytes,
       nullptr,
       1,
       1,
       0,
       {"General application 1.05 0.004"},
       "v0105 4 bytes row 0",
       "empty"},
      {"second record of a tag",
       B().Header("mIMF", 1).Image("GC", 0x0105, 4).Image("GC", 0x0106, 5).bytes,
       nullptr,
       2,
       1,
       0,
       {"General application 1.05 0.004", "General application 1.06 0.005"},
       "v0106 5 bytes row 1",
       "empty"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const Outcome outcome = Read(c.bytes);
    EXPECT_EQ(ResultText(outcome.result), ResultText(c.result));
    EXPECT_EQ(outcome.package.loadedCount, c.loadedCount);
    EXPECT_EQ(outcome.package.requiredHwVersion, c.requiredHwVersion);
    EXPECT_EQ(outcome.package.driverMinorRange, c.driverMinorRange);
    EXPECT_EQ(outcome.rows, c.rows);
    EXPECT_EQ(Describe(outcome.package.slots[SLOT_GENERAL_APP]), c.generalApp);
    EXPECT_EQ(Describe(outcome.package.slots[SLOT_INPUTS_CTRL]), c.inputsCtrl);
  }
}

TEST(PackageReader, FilesShorterThanTheHeaderFailToRead) {
  const std::vector<std::uint8_t> header = PackageBuilder().Header("mIMF", 0x0102).bytes;
  for (std::size_t length = 0; length < FILE_HEADER_SIZE; ++length) {
    SCOPED_TRACE(length);
    const Outcome outcome = Read({header.begin(), header.begin() + length});
    EXPECT_EQ(ResultText(outcome.result), RESULT_READ_FAILURE);
    EXPECT_EQ(outcome.package.requiredHwVersion, 0u);
    EXPECT_TRUE(outcome.rows.empty());
  }
}

TEST(PackageReader, ImageBytesAreKeptExactly) {
  const std::vector<std::uint8_t> ic{0xDE, 0xAD, 0xBE, 0xEF, 0x00};
  const Outcome outcome =
      Read(PackageBuilder().Header("mIMF", 1).Image("GC", 1, 700).Image("IC", 2, ic).bytes);
  const ImageSlot& gc = outcome.package.slots[SLOT_GENERAL_APP];
  ASSERT_TRUE(gc.IsLoaded());
  for (std::uint32_t i = 0; i < gc.size; ++i) ASSERT_EQ(gc.data[i], static_cast<std::uint8_t>(i));
  const ImageSlot& slot = outcome.package.slots[SLOT_INPUTS_CTRL];
  ASSERT_TRUE(slot.IsLoaded());
  EXPECT_EQ(std::vector<std::uint8_t>(slot.data.get(), slot.data.get() + slot.size), ic);
}

TEST(PackageReader, ReadingReplacesTheWholePackage) {
  ImagePackage package;
  RecordedRows rows;
  const std::vector<std::uint8_t> first =
      PackageBuilder().Header("MIMF", 0x0014000A).Image("GC", 1, 4).Image("IC", 2, 4).bytes;
  MemorySource firstSource(first.data(), first.size());
  ASSERT_EQ(ReadPackage(firstSource, package, rows), nullptr);

  const std::vector<std::uint8_t> second = PackageBuilder().Header("mIMF", 3).bytes;
  MemorySource secondSource(second.data(), second.size());
  EXPECT_EQ(ResultText(ReadPackage(secondSource, package, rows)), RESULT_READ_FAILURE);
  EXPECT_EQ(package.loadedCount, 0);
  EXPECT_EQ(package.driverMinorRange, 0u);
  EXPECT_EQ(package.requiredHwVersion, 3u);
  EXPECT_FALSE(package.slots[0].IsLoaded());
  EXPECT_FALSE(package.slots[1].IsLoaded());
}

// A record size larger than the file is judged before any buffer is asked for, so a hostile
// size costs nothing.
TEST(PackageReader, OversizedRecordIsCutShortWithoutAllocating) {
  for (const std::uint32_t size : {0xFFFFFFFFu, 0x7FFFFFFFu, 13u}) {
    SCOPED_TRACE(size);
    gLargestNothrowArray = 0;
    const Outcome outcome = Read(PackageBuilder()
                                     .Header("mIMF", 1)
                                     .Image("IC", 0x0201, 4)
                                     .RecordHeader("GC", 0x0105, size)
                                     .Raw("twelve bytes")
                                     .bytes);
    EXPECT_EQ(gLargestNothrowArray, 4u);
    EXPECT_EQ(ResultText(outcome.result), "success");
    EXPECT_EQ(outcome.rows.size(), 2u);
    EXPECT_EQ(Describe(outcome.package.slots[SLOT_GENERAL_APP]), "empty");
    EXPECT_EQ(outcome.package.loadedCount, 1);
  }
}

TEST(PackageReader, FailedAllocationIsHandledLikeACutShortRecord) {
  gFailNothrowArrayFrom = 1000;
  const Outcome outcome = Read(
      PackageBuilder().Header("mIMF", 1).Image("IC", 0x0201, 999).Image("GC", 0x0105, 1000).bytes);
  gFailNothrowArrayFrom = SIZE_MAX;
  EXPECT_EQ(ResultText(outcome.result), "success");
  EXPECT_EQ(outcome.rows, (std::vector<std::string>{"Inputs controller 2.01 0.976",
                                                    "General application 1.05 0.977"}));
  EXPECT_EQ(Describe(outcome.package.slots[SLOT_GENERAL_APP]), "empty");
  EXPECT_EQ(Describe(outcome.package.slots[SLOT_INPUTS_CTRL]), "v0201 999 bytes row 0");
}

// A source that promises more than it delivers, as a file cut while it is read would.
class ShortSource final : public ByteSource {
 public:
  explicit ShortSource(std::vector<std::uint8_t> bytes) : bytes_(std::move(bytes)) {}
  std::size_t Read(std::uint8_t* buffer, std::size_t count) override {
    return inner_.Read(buffer, count);
  }
  std::uint64_t Remaining() const override { return 1u << 20; }

 private:
  std::vector<std::uint8_t> bytes_;
  MemorySource inner_{bytes_.data(), bytes_.size()};
};

TEST(PackageReader, DataEndingEarlierThanPromisedEmptiesTheSlot) {
  ShortSource source(
      PackageBuilder().Header("mIMF", 1).RecordHeader("GC", 0x0105, 64).Raw("abc").bytes);
  ImagePackage package;
  RecordedRows rows;
  EXPECT_EQ(ResultText(ReadPackage(source, package, rows)), RESULT_READ_FAILURE);
  EXPECT_EQ(rows.rows, std::vector<std::string>{"General application 1.05 0.062"});
  EXPECT_EQ(Describe(package.slots[SLOT_GENERAL_APP]), "empty");
}

TEST(PackageReader, RowBeyondWhatASlotCanNameLeavesTheSlotWithoutRow) {
  PackageBuilder builder;
  builder.Header("mIMF", 1);
  for (int i = 0; i <= INT16_MAX; ++i) builder.Image("IC", 1, 1);
  builder.Image("GC", 2, 1);
  const Outcome outcome = Read(builder.bytes);
  EXPECT_EQ(outcome.rows.size(), INT16_MAX + 2u);
  EXPECT_EQ(outcome.package.slots[SLOT_INPUTS_CTRL].listRow, INT16_MAX);
  EXPECT_EQ(outcome.package.slots[SLOT_GENERAL_APP].listRow, -1);
  EXPECT_TRUE(outcome.package.slots[SLOT_GENERAL_APP].IsLoaded());
}

TEST(PackageReader, ListTexts) {
  struct VersionCase {
    std::uint16_t version;
    const char* text;
  };
  for (const VersionCase& c : {VersionCase{0x0105, "1.05"}, VersionCase{0x0A0C, "10.12"},
                               VersionCase{0x0000, "0.00"}, VersionCase{0xFFFF, "255.255"}}) {
    EXPECT_EQ(FormatImageVersion(c.version), c.text);
  }
  struct SizeCase {
    std::uint32_t size;
    const char* text;
  };
  for (const SizeCase& c : {SizeCase{1536, "1.500"}, SizeCase{1, "0.001"},
                            SizeCase{1048576, "1024.000"}, SizeCase{0xFFFFFFFF, "4194303.999"}}) {
    EXPECT_EQ(FormatImageSize(c.size), c.text);
  }
  EXPECT_STREQ(SlotTypeName(SLOT_GENERAL_APP), "General application");
  EXPECT_STREQ(SlotTypeName(SLOT_INPUTS_CTRL), "Inputs controller");
}

TEST(PackageReader, SizeKeepsItsDecimalPointInACommaLocale) {
  const test_support::CommaLocale comma;
  if (comma.name().empty()) GTEST_SKIP() << "no locale with a decimal comma is installed";
  EXPECT_EQ(FormatImageSize(1536), "1.500") << comma.name();
}

class PackageFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = std::filesystem::temp_directory_path() /
           ("veltra-package-file-" + std::to_string(::getpid()) + "-" +
            ::testing::UnitTest::GetInstance()->current_test_info()->name());
    std::filesystem::create_directories(dir_);
  }
  void TearDown() override { std::filesystem::remove_all(dir_); }
  std::filesystem::path dir_;
};

TEST_F(PackageFileTest, OpensRegularFilesOnly) {
  const std::filesystem::path path = dir_ / "pkg.bin";
  const std::vector<std::uint8_t> bytes =
      PackageBuilder().Header("mIMF", 1).Image("GC", 1, 10).bytes;
  std::ofstream(path, std::ios::binary)
      .write(reinterpret_cast<const char*>(bytes.data()),
             static_cast<std::streamsize>(bytes.size()));
  std::unique_ptr<ByteSource> file = OpenPackageFile(path.string().c_str());
  ASSERT_NE(file, nullptr);
  EXPECT_EQ(file->Remaining(), bytes.size());
  std::uint8_t header[8];
  EXPECT_EQ(file->Read(header, sizeof header), 8u);
  EXPECT_EQ(file->Remaining(), bytes.size() - 8);
  std::uint8_t rest[64];
  EXPECT_EQ(file->Read(rest, sizeof rest), bytes.size() - 8);
  EXPECT_EQ(file->Remaining(), 0u);

  EXPECT_EQ(OpenPackageFile((dir_ / "missing.bin").string().c_str()), nullptr);
  EXPECT_EQ(OpenPackageFile(dir_.string().c_str()), nullptr);
}

}  // namespace
}  // namespace firmware
