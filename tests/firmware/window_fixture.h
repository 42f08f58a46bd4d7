#pragma once

// The main window open on the headless bench, with a fake driver behind its link and a folder
// for the package files a test writes.

#include <gtest/gtest.h>
#include <unistd.h>

#include <array>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <initializer_list>
#include <memory>
#include <string>
#include <vector>

#include "app/main_dialog.h"
#include "platform/fake/fake_driver.h"
#include "platform/headless/bench.h"
#include "resources/resource_ids.h"

namespace firmware_test {

class WindowTest : public ::testing::Test {
 public:
  WindowTest() {
    driver.onUnexpected = [](const std::string& line) { ADD_FAILURE() << line; };
    dir = std::filesystem::temp_directory_path() /
          ("veltra-firmware-test-" + std::to_string(::getpid()) + "-" +
           std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
    std::filesystem::create_directories(dir);
  }
  ~WindowTest() override { std::filesystem::remove_all(dir); }

  void SetUp() override { OpenFreshWindow(); }

  void TearDown() override {
    if (bench.IsOpen(res::IDD_MAIN)) bench.Destroy(*dialog);
    EXPECT_EQ(driver.Problems(), "");
    EXPECT_EQ(bench.errors(), std::vector<std::string>{});
  }

  // Closes the window there is and opens a new one, for the next row of a table; the driver
  // stays. The record starts again with the new window.
  void OpenFreshWindow() {
    if (dialog != nullptr && bench.IsOpen(res::IDD_MAIN)) bench.Destroy(*dialog);
    EXPECT_EQ(bench.errors(), std::vector<std::string>{});
    // No default package lies beside the program, and no instrument answers while the window
    // opens, so opening loads nothing and its scan sends nothing.
    bench.SetProgramPath("/nowhere/veltra-updater");
    platform::fake::FakeDevice* device = driver.Find("dev0");
    const bool present = device != nullptr && device->present;
    if (device != nullptr) device->present = false;
    dialog = std::make_unique<app::MainDialog>(driver);
    ASSERT_TRUE(bench.Open(*dialog));
    if (device != nullptr) device->present = present;
    bench.user().clear();
    bench.ClearRecord();
  }

  // Writes a package file and returns its path.
  std::string WriteFile(const std::string& name, const std::vector<std::uint8_t>& bytes) {
    const std::filesystem::path path = dir / name;
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()),
               static_cast<std::streamsize>(bytes.size()));
    return path.string();
  }

  // Opens a device on the link with this identity, as a scan would have left it.
  void OpenDevice(std::uint16_t generalApp, std::uint16_t inputsCtrl, std::uint16_t hw = 3,
                  std::int32_t driverMinor = 7) {
    if (driver.Find("dev0") == nullptr) {
      driver.AddDevice("dev0", "Veltra measuring instrument driver V4.07");
    }
    dialog->link.deviceHandle = driver.Open("dev0");
    dialog->link.driverDescription = "Veltra measuring instrument driver V4.07";
    device::DeviceIdentity& identity = dialog->link.identity;
    identity.generalAppVersion = generalApp;
    identity.inputsCtrlVersion = inputsCtrl;
    identity.hwVersion = hw;
    identity.driverMinor = driverMinor;
    identity.uid = kUid;
  }

  std::string Text(int controlId) { return bench.Text(res::IDD_MAIN, controlId); }
  int RowCount() { return bench.ListRowCount(res::IDD_MAIN, res::IDC_IMAGE_LIST); }
  std::vector<std::string> RowTexts(int row) {
    return bench.ListRowTexts(res::IDD_MAIN, res::IDC_IMAGE_LIST, row);
  }

  // The check box of every row of the image list, in list order: "checked", "unchecked", or
  // "no box" for a row without one.
  std::vector<std::string> Checks() {
    std::vector<std::string> states;
    for (int row = 0; row < RowCount(); ++row) {
      const std::uint32_t box =
          bench.ListRowState(res::IDD_MAIN, res::IDC_IMAGE_LIST, row) & ui::LVIS_STATEIMAGEMASK;
      states.push_back(box == ui::LVIS_CHECKED     ? "checked"
                       : box == ui::LVIS_UNCHECKED ? "unchecked"
                                                   : "no box");
    }
    return states;
  }

  // The user clicks the check boxes of these rows.
  void ClickBoxes(std::initializer_list<int> rows) {
    for (int row : rows) bench.user().TickRow(res::IDC_IMAGE_LIST, row);
    bench.RunScript();
  }

  // The user clicks every box that is not yet as wanted.
  void SetAllBoxes(bool checked) {
    const std::vector<std::string> states = Checks();
    for (int row = 0; row < static_cast<int>(states.size()); ++row) {
      if ((states[static_cast<std::size_t>(row)] == "checked") != checked) {
        bench.user().TickRow(res::IDC_IMAGE_LIST, row);
      }
    }
    bench.RunScript();
  }

  static constexpr std::array<std::uint8_t, 12> kUid{1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12};

  headless::Bench bench;
  platform::fake::FakeDriver driver{bench.clock()};
  std::unique_ptr<app::MainDialog> dialog;
  std::filesystem::path dir;
};

}  // namespace firmware_test
