#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "firmware/package_builder.h"
#include "window_fixture.h"

namespace firmware_test {
namespace {

using firmware::PackageBuilder;

using ImageListTest = WindowTest;

TEST_F(ImageListTest, PreparationSetsUpTheColumnsAndStyles) {
  std::vector<std::string> columns;
  for (const headless::ListColumn& c : bench.ListColumns(res::IDD_MAIN, res::IDC_IMAGE_LIST)) {
    columns.push_back(c.heading + " " + std::to_string(c.width));
  }
  EXPECT_EQ(columns, (std::vector<std::string>{"Img. type 200", "Version 40", "Size [kb] 56"}));
  EXPECT_EQ(bench.ListExtendedStyle(res::IDD_MAIN, res::IDC_IMAGE_LIST),
            ui::LVS_EX_FULLROWSELECT | ui::LVS_EX_CHECKBOXES | ui::LVS_EX_GRIDLINES);
}

TEST_F(ImageListTest, RowsFollowTheFileOrderWithTheirTexts) {
  const std::string path = WriteFile("ic_gc.bin", PackageBuilder()
                                                      .Header("mIMF", 3)
                                                      .Image("IC", 0x0A0C, 1048576)
                                                      .Image("GC", 0x0105, 1536)
                                                      .bytes);
  EXPECT_EQ(dialog->LoadImageFile(path.c_str()), nullptr);
  ASSERT_EQ(RowCount(), 2);
  EXPECT_EQ(RowTexts(0), (std::vector<std::string>{"Inputs controller", "10.12", "1024.000"}));
  EXPECT_EQ(RowTexts(1), (std::vector<std::string>{"General application", "1.05", "1.500"}));
  EXPECT_EQ(dialog->package.slots[firmware::SLOT_GENERAL_APP].listRow, 1);
  EXPECT_EQ(dialog->package.slots[firmware::SLOT_INPUTS_CTRL].listRow, 0);
  EXPECT_TRUE(bench.Enabled(res::IDD_MAIN, res::IDC_UPLOAD));
}

TEST_F(ImageListTest, UploadButtonFollowsTheLastRead) {
  const std::string good =
      WriteFile("good.bin", PackageBuilder().Header("mIMF", 3).Image("GC", 0x0105, 4).bytes);
  const std::string cut = WriteFile(
      "cut.bin",
      PackageBuilder().Header("mIMF", 3).RecordHeader("GC", 0x0105, 100).Raw("abc").bytes);
  ASSERT_FALSE(bench.Enabled(res::IDD_MAIN, res::IDC_UPLOAD));  // nothing loaded yet
  EXPECT_EQ(dialog->LoadImageFile(good.c_str()), nullptr);
  EXPECT_TRUE(bench.Enabled(res::IDD_MAIN, res::IDC_UPLOAD));

  // A cut-short only record keeps its row but leaves nothing to upload.
  EXPECT_STREQ(dialog->LoadImageFile(cut.c_str()), "Filure to read file");
  EXPECT_EQ(RowCount(), 1);
  EXPECT_FALSE(bench.Enabled(res::IDD_MAIN, res::IDC_UPLOAD));

  EXPECT_STREQ(dialog->LoadImageFile(good.c_str()), nullptr);
  EXPECT_STREQ(dialog->LoadImageFile((dir / "missing.bin").string().c_str()),
               "Unable to open file");
  EXPECT_EQ(RowCount(), 1);
  EXPECT_TRUE(bench.Enabled(res::IDD_MAIN, res::IDC_UPLOAD));
  EXPECT_TRUE(dialog->package.slots[firmware::SLOT_GENERAL_APP].IsLoaded());

  // Another magic right after a good package empties it.
  const std::string other =
      WriteFile("other.bin", PackageBuilder().Header("XIMF", 3).Image("GC", 0x0105, 4).bytes);
  EXPECT_STREQ(dialog->LoadImageFile(other.c_str()), "Error file format");
  EXPECT_EQ(RowCount(), 0);
  EXPECT_FALSE(bench.Enabled(res::IDD_MAIN, res::IDC_UPLOAD));
  EXPECT_EQ(dialog->package.requiredHwVersion, 0u);
}

TEST_F(ImageListTest, CheckRefreshRules) {
  struct Case {
    const char* name;
    bool deviceOpen;
    std::uint16_t deviceVersion;  // both slots
    std::uint16_t imageVersion;   // both images
    const char* expected;
  };
  const Case cases[] = {
      {"no device", false, 0x0105, 0x0106, "unchecked"},
      {"versions not read", true, 0xFFFF, 0x0001, "checked"},
      {"older image", true, 0x0105, 0x0104, "unchecked"},
      {"same image", true, 0x0105, 0x0105, "unchecked"},
      {"newer image", true, 0x0105, 0x0106, "checked"},
      {"newer by the high byte", true, 0x01FF, 0x0200, "checked"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    OpenFreshWindow();
    if (c.deviceOpen) OpenDevice(c.deviceVersion, c.deviceVersion);
    const std::string path = WriteFile("pkg.bin", PackageBuilder()
                                                      .Header("mIMF", 3)
                                                      .Image("GC", c.imageVersion, 4)
                                                      .Image("IC", c.imageVersion, 4)
                                                      .bytes);
    ASSERT_EQ(dialog->LoadImageFile(path.c_str()), nullptr);
    EXPECT_EQ(Checks(), (std::vector<std::string>{c.expected, c.expected}));

    // A box the user changed is overwritten by the next refresh, but only with a device.
    ClickBoxes({0, 1});
    dialog->RefreshImageChecks();
    const char* afterRefresh = c.deviceOpen ? c.expected : "checked";
    EXPECT_EQ(Checks(), (std::vector<std::string>{afterRefresh, afterRefresh}));
  }
}

TEST_F(ImageListTest, BrowseUsesTheDialogSettingsAndShowsTheResult) {
  const std::string good =
      WriteFile("good.bin", PackageBuilder().Header("mIMF", 3).Image("GC", 0x0105, 4).bytes);
  bench.user().ChooseFile(good);
  dialog->OnBrowseImage();
  ASSERT_EQ(bench.fileDialogs().size(), 1u);
  const headless::FileDialogRecord& options = bench.fileDialogs().back();
  EXPECT_EQ(options.ownerTemplate, res::IDD_MAIN);
  EXPECT_EQ(options.defaultExtension, "*.bin");
  EXPECT_EQ(options.fileName, "");
  EXPECT_EQ(options.flags, ui::OFN_HIDEREADONLY);
  EXPECT_EQ(options.filter, "Binary files (*.bin)|*.bin||");
  EXPECT_EQ(options.title, "Open application image file");
  EXPECT_EQ(Text(res::IDC_IMAGE_PATH), good);
  EXPECT_EQ(bench.MessageBoxTexts(), std::vector<std::string>{});
  EXPECT_EQ(RowCount(), 1);

  const std::string header = WriteFile("header.bin", PackageBuilder().Header("mIMF", 3).bytes);
  bench.user().ChooseFile(header);
  dialog->OnBrowseImage();
  EXPECT_EQ(bench.MessageBoxTexts(), std::vector<std::string>{"Filure to read file"});
  EXPECT_EQ(Text(res::IDC_IMAGE_PATH), header);
  EXPECT_EQ(RowCount(), 0);
}

TEST_F(ImageListTest, BrowseCancelChangesNothing) {
  const std::string good =
      WriteFile("good.bin", PackageBuilder().Header("mIMF", 3).Image("GC", 0x0105, 4).bytes);
  bench.user().ChooseFile(good);
  dialog->OnBrowseImage();
  bench.user().CancelFile();
  dialog->OnBrowseImage();
  EXPECT_EQ(bench.fileDialogs().size(), 2u);
  EXPECT_EQ(Text(res::IDC_IMAGE_PATH), good);
  EXPECT_EQ(RowCount(), 1);
  EXPECT_EQ(bench.MessageBoxTexts(), std::vector<std::string>{});
}

TEST_F(ImageListTest, BrowseToAnUnopenableFileKeepsTheRowsAndRefreshesTheirChecks) {
  OpenDevice(0x0105, 0x0105);
  const std::string good = WriteFile(
      "good.bin",
      PackageBuilder().Header("mIMF", 3).Image("GC", 0x0106, 4).Image("IC", 0x0104, 4).bytes);
  bench.user().ChooseFile(good);
  dialog->OnBrowseImage();
  ASSERT_EQ(Checks(), (std::vector<std::string>{"checked", "unchecked"}));
  ClickBoxes({0, 1});

  const std::string missing = (dir / "missing.bin").string();
  bench.user().ChooseFile(missing);
  dialog->OnBrowseImage();
  EXPECT_EQ(bench.MessageBoxTexts(), std::vector<std::string>{"Unable to open file"});
  EXPECT_EQ(Text(res::IDC_IMAGE_PATH), missing);
  EXPECT_EQ(RowCount(), 2);
  EXPECT_EQ(Checks(), (std::vector<std::string>{"checked", "unchecked"}));
  EXPECT_EQ(dialog->package.loadedCount, 2);
}

TEST_F(ImageListTest, DefaultPackageLiesBesideTheProgram) {
  const std::vector<std::uint8_t> package =
      PackageBuilder().Header("mIMF", 3).Image("GC", 0x0105, 4).bytes;
  struct Case {
    const char* name;
    std::string programPath;
    std::string expectedPath;
  };
  // A backslash separates like a slash: the program may report a Windows path.
  const Case cases[] = {
      {"slash", (dir / "veltra-updater").string(), (dir / "UpdateAppImg.bin").string()},
      {"backslash last", (dir / "a\\veltra-updater.exe").string(),
       (dir / "a\\UpdateAppImg.bin").string()},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    OpenFreshWindow();
    WriteFile(std::filesystem::path(c.expectedPath).filename().string(), package);
    bench.SetProgramPath(c.programPath);
    dialog->LoadDefaultPackage();
    EXPECT_EQ(Text(res::IDC_IMAGE_PATH), c.expectedPath);
    EXPECT_EQ(RowCount(), 1);
  }
}

TEST_F(ImageListTest, BrokenDefaultPackageStaysSilent) {
  WriteFile("UpdateAppImg.bin", PackageBuilder().Header("MIMF", 0).bytes);
  bench.SetProgramPath((dir / "veltra-updater").string());
  dialog->LoadDefaultPackage();
  EXPECT_EQ(Text(res::IDC_IMAGE_PATH), "");
  EXPECT_EQ(bench.MessageBoxTexts(), std::vector<std::string>{});
  EXPECT_FALSE(bench.Enabled(res::IDD_MAIN, res::IDC_UPLOAD));
}

}  // namespace
}  // namespace firmware_test
