// A technician burns the sample package into the simulated instrument, on the headless bench
// and its virtual clock.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>

#include "app/main_dialog.h"
#include "platform/headless/bench.h"
#include "resources/resource_ids.h"
#include "sim/sim_driver.h"
#include "tools/sample_package.h"

namespace firmware_test {
namespace {

constexpr const char* kGeneralAppStory =
    "Upload general app. image. Ok.\r\nCheck Image. Ok.\r\nBurn image...\r\n"
    "general app. image burning succeed.\r\n";
// The inputs controller burns for 1.2 s: 24 polls, a "+" after the 1st, 11th and 21st.
constexpr const char* kInputsCtrlStory =
    "Upload input controller app. image. Ok\r\nBurn image.+++ Ok.";

class UploadStoryTest : public ::testing::Test {
 public:
  UploadStoryTest() : driver(bench.clock()) {
    // One folder per test process: CTest runs the tests of this file side by side.
    dir = std::filesystem::temp_directory_path() /
          ("veltra-upload-story-" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir);
    const std::vector<std::uint8_t> package = tools::BuildSamplePackage();
    std::ofstream(dir / tools::SAMPLE_PACKAGE_NAME, std::ios::binary)
        .write(reinterpret_cast<const char*>(package.data()),
               static_cast<std::streamsize>(package.size()));
    bench.SetProgramPath((dir / "veltra-updater").string());
    driver.Add();
  }
  ~UploadStoryTest() override { std::filesystem::remove_all(dir); }

  std::vector<std::string> Checks() {
    std::vector<std::string> states;
    for (int row = 0; row < bench.ListRowCount(res::IDD_MAIN, res::IDC_IMAGE_LIST); ++row) {
      const std::uint32_t state =
          bench.ListRowState(res::IDD_MAIN, res::IDC_IMAGE_LIST, row) & ui::LVIS_STATEIMAGEMASK;
      states.push_back(state == ui::LVIS_CHECKED ? "checked" : "unchecked");
    }
    return states;
  }

  headless::Bench bench;
  sim::SimDriver driver;
  std::filesystem::path dir;
};

TEST_F(UploadStoryTest, SamplePackageIsReadyToBurnAtStart) {
  app::MainDialog dialog(driver);
  ASSERT_TRUE(bench.Open(dialog));
  EXPECT_EQ(bench.Text(res::IDD_MAIN, res::IDC_IMAGE_PATH),
            (dir / tools::SAMPLE_PACKAGE_NAME).string());
  EXPECT_EQ(bench.ListRowTexts(res::IDD_MAIN, res::IDC_IMAGE_LIST, 0),
            (std::vector<std::string>{"General application", "1.35", "68.359"}));
  EXPECT_EQ(bench.ListRowTexts(res::IDD_MAIN, res::IDC_IMAGE_LIST, 1),
            (std::vector<std::string>{"Inputs controller", "1.03", "4.551"}));
  EXPECT_EQ(Checks(), (std::vector<std::string>{"checked", "checked"}));
  EXPECT_TRUE(bench.Enabled(res::IDD_MAIN, res::IDC_UPLOAD));
  bench.Destroy(dialog);
  EXPECT_TRUE(bench.errors().empty());
}

TEST_F(UploadStoryTest, BothImagesAreBurntAndShownAfterARescan) {
  app::MainDialog dialog(driver);
  bench.user().Click(res::IDC_UPLOAD).Click(res::IDC_RESCAN).Close();
  dialog.DoModal();

  EXPECT_EQ(dialog.logText, std::string(kGeneralAppStory) + kInputsCtrlStory);
  EXPECT_TRUE(bench.MessageBoxTexts().empty());
  EXPECT_EQ(Checks(), (std::vector<std::string>{"unchecked", "unchecked"}));

  // The log field tells the story as it happens: after the burn the instrument was found again,
  // running the new general application, and the re-scan shows both new versions.
  const std::vector<std::string> log = bench.WritesTo(res::IDD_MAIN, res::IDC_LOG);
  const std::string afterReboot =
      "Device HW version: 0x3\r\nGeneral app. version:1.35\r\nInp. controller app. version:1.02";
  const std::string afterRescan =
      "Device HW version: 0x3\r\nGeneral app. version:1.35\r\nInp. controller app. version:1.03";
  const auto reboot = std::find(log.begin(), log.end(), afterReboot);
  ASSERT_NE(reboot, log.end());
  ASSERT_NE(reboot, log.begin());
  EXPECT_EQ(*(reboot - 1), std::string("Upload general app. image. Ok.\r\nCheck Image. Ok.\r\n"
                                       "Burn image...\r\n"));
  EXPECT_EQ(*(reboot + 1), kGeneralAppStory);
  EXPECT_EQ(log.back(), afterRescan);
  EXPECT_EQ(driver.instrument(0).config().generalAppVersion, tools::SAMPLE_GENERAL_APP_VERSION);
  EXPECT_EQ(driver.instrument(0).config().inputsCtrlVersion, tools::SAMPLE_INPUTS_CTRL_VERSION);
  EXPECT_EQ(driver.openHandles(), 0u);
  EXPECT_TRUE(bench.errors().empty());
}

// The simulated instrument's driver, with a hook on the request that ends the image data: the
// moment the instrument starts its image check.
class ImageCheckHook final : public platform::Driver {
 public:
  ImageCheckHook(platform::Driver& inner, std::function<void()> action)
      : inner_(inner), action_(std::move(action)) {}
  bool BeginEnumeration() override { return inner_.BeginEnumeration(); }
  platform::EnumResult InterfacePath(std::uint32_t index, std::string& path) override {
    return inner_.InterfacePath(index, path);
  }
  void EndEnumeration() override { inner_.EndEnumeration(); }
  platform::DeviceHandle Open(const std::string& path) override { return inner_.Open(path); }
  bool Control(platform::DeviceHandle handle, std::uint32_t code, const std::uint8_t* input,
               std::uint32_t inputLength, std::uint8_t* output, std::uint32_t outputCapacity,
               std::uint32_t& returned) override {
    const bool ok =
        inner_.Control(handle, code, input, inputLength, output, outputCapacity, returned);
    // The last piece of a general-application image asks for one reply byte.
    if (action_ && inputLength > 4 && outputCapacity == 1) {
      std::function<void()> action = std::move(action_);
      action_ = nullptr;
      action();
    }
    return ok;
  }
  void Close(platform::DeviceHandle handle) override { inner_.Close(handle); }

 private:
  platform::Driver& inner_;
  std::function<void()> action_;
};

// What the user clicks while the instrument checks the image must not disturb the upload: a
// second upload, a new package or a re-scan are ignored, and a close waits for the end.
TEST_F(UploadStoryTest, ClicksDuringTheImageCheck) {
  struct Case {
    const char* name;
    int click;  // 0: the close box
    bool closes;
  };
  const Case cases[] = {{"Upload App(s)", res::IDC_UPLOAD, false},
                        {"...", res::IDC_BROWSE, false},
                        {"Re-scan", res::IDC_RESCAN, false},
                        {"close", 0, true}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    bench.ClearRecord();
    bench.user().clear();
    ImageCheckHook hooked(driver, [&] {
      if (c.click == 0) {
        bench.QueueClose();
      } else {
        bench.QueueClick(c.click);
      }
    });
    app::MainDialog dialog(hooked);
    // After the upload the script closes the window, unless the queued close already did.
    bench.user().Click(res::IDC_UPLOAD).Close();
    dialog.DoModal();

    EXPECT_EQ(dialog.logText, std::string(kGeneralAppStory) + kInputsCtrlStory);
    EXPECT_TRUE(bench.fileDialogs().empty());
    EXPECT_TRUE(bench.MessageBoxTexts().empty());
    // The close ended the window at the end of the upload, before the script's own close.
    EXPECT_EQ(bench.user().size(), c.closes ? 1u : 0u);
    EXPECT_TRUE(bench.errors().empty());
    bench.user().clear();

    // Put the instrument back as it started, for the next row.
    driver.instrument(0).config().generalAppVersion = sim::DEFAULT_GENERAL_APP_VERSION;
    driver.instrument(0).config().inputsCtrlVersion = sim::DEFAULT_INPUTS_CTRL_VERSION;
  }
}

}  // namespace
}  // namespace firmware_test
