#pragma once

// A bench for the image list and the upload on the fake driver: a window that keeps its
// controls' state, a platform with a virtual clock that records message boxes and answers the
// file dialog and the Ctrl key as told, and a hook that runs when the upload drains messages,
// standing in for a click the user made meanwhile.

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "app/main_dialog.h"
#include "platform/fake/fake_driver.h"
#include "resources/resource_ids.h"

namespace firmware_test {

class BenchWindow final : public ui::Window {
 public:
  struct Row {
    std::vector<std::string> texts;
    std::uint32_t state = ui::LVIS_UNCHECKED;  // a new row of a check-box list starts unchecked
  };

  std::string ItemText(int id) const override {
    const auto it = texts.find(id);
    return it == texts.end() ? std::string() : it->second;
  }
  void SetItemText(int id, std::string_view text) override { texts[id] = std::string(text); }
  bool IsItemEnabled(int id) const override {
    const auto it = enabled.find(id);
    return it == enabled.end() || it->second;
  }
  void EnableItem(int id, bool enable) override { enabled[id] = enable; }
  int Check(int) const override { return 0; }
  void SetCheck(int, int) override {}
  int ComboSelection(int) const override { return -1; }
  void SetComboSelection(int, int) override {}

  void ListInsertColumn(int, int column, std::string_view heading, int width) override {
    columns.push_back(std::to_string(column) + " " + std::string(heading) + " " +
                      std::to_string(width));
  }
  void ListSetExtendedStyle(int, std::uint32_t style) override { listStyle = style; }
  int ListInsertRow(int, int row, std::string_view text) override {
    if (row < 0 || row > static_cast<int>(rows.size())) row = static_cast<int>(rows.size());
    rows.insert(rows.begin() + row, Row{{std::string(text), "", ""}});
    return row;
  }
  void ListSetItemText(int, int row, int column, std::string_view text) override {
    rows.at(row).texts.at(column) = std::string(text);
  }
  void ListDeleteAllRows(int) override { rows.clear(); }
  int ListRowCount(int) const override { return static_cast<int>(rows.size()); }
  std::uint32_t ListItemState(int, int row, std::uint32_t mask) const override {
    return rows.at(row).state & mask;
  }
  void ListSetItemState(int, int row, std::uint32_t state, std::uint32_t mask) override {
    rows.at(row).state = (rows.at(row).state & ~mask) | (state & mask);
  }

  int SetTimer(int timerId, unsigned) override { return timerId; }
  void KillTimer(int) override {}
  void PostCommand(int) override {}
  void SetIcon(ui::IconHandle, bool) override {}
  bool IsMinimized() const override { return false; }
  void ClientSize(int& width, int& height) const override { width = height = 0; }
  void DrawIcon(int, int, ui::IconHandle) override {}
  void EndModal(int result) override { endedWith = result; }

  // "checked" / "unchecked" per row, in list order.
  std::vector<std::string> Checks() const {
    std::vector<std::string> states;
    for (const Row& row : rows) {
      states.push_back(row.state == ui::LVIS_CHECKED ? "checked" : "unchecked");
    }
    return states;
  }

  std::map<int, std::string> texts;
  std::map<int, bool> enabled;
  std::vector<std::string> columns;
  std::uint32_t listStyle = 0;
  std::vector<Row> rows;
  std::optional<int> endedWith;
};

class BenchPlatform final : public ui::Platform {
 public:
  int RunModal(ui::Dialog&) override { return -1; }
  void MessageBox(ui::Dialog*, std::string_view text) override { messageBoxes.emplace_back(text); }
  bool IsKeyDown(unsigned vk) override { return vk == ui::VK_CONTROL && ctrlDown; }
  bool OpenFileDialog(ui::Dialog*, const ui::FileDialogSpec& options, std::string& path) override {
    ++fileDialogs;
    lastSpec = options;
    if (!fileChoice) return false;
    path = *fileChoice;
    return true;
  }
  void DrainMessages() override {
    ++drains;
    // The queued action runs once, as a click is dispatched once.
    if (onDrain) {
      std::function<void()> action = std::move(onDrain);
      onDrain = nullptr;
      action();
    }
  }
  platform::Clock& clock() override { return clock_; }
  std::string ProgramPath() override { return programPath; }
  ui::IconHandle LoadIcon(int resourceId) override { return resourceId; }
  void IconSize(int& width, int& height) override { width = height = 32; }

  platform::VirtualClock clock_;
  std::vector<std::string> messageBoxes;
  bool ctrlDown = false;
  std::optional<std::string> fileChoice;
  ui::FileDialogSpec lastSpec;
  int fileDialogs = 0;
  int drains = 0;
  std::function<void()> onDrain;
  std::string programPath = "/nowhere/veltra-updater";
};

// The main window on the bench, attached to its window, with a fake driver behind its link.
class DialogTest : public ::testing::Test {
 public:
  DialogTest() : driver(platformBench.clock_) {
    ui::SetHost(&platformBench);
    dialog = std::make_unique<app::MainDialog>(driver);
    dialog->Attach(&window);
    dialog->PreparePackage();
    driver.onUnexpected = [](const std::string& line) { ADD_FAILURE() << line; };
    dir = std::filesystem::temp_directory_path() /
          ("veltra-firmware-test-" +
           std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
    std::filesystem::create_directories(dir);
  }
  ~DialogTest() override {
    dialog->Attach(nullptr);
    dialog.reset();
    ui::SetHost(nullptr);
    std::filesystem::remove_all(dir);
  }

  // A new main window on a new window, for the next row of a table; the driver stays.
  void SetUpFreshDialog() {
    dialog->link.Close();
    dialog->Attach(nullptr);
    window = BenchWindow();
    dialog = std::make_unique<app::MainDialog>(driver);
    dialog->Attach(&window);
    dialog->PreparePackage();
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

  static constexpr std::array<std::uint8_t, 12> kUid{1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12};

  BenchPlatform platformBench;
  platform::fake::FakeDriver driver;
  BenchWindow window;
  std::unique_ptr<app::MainDialog> dialog;
  std::filesystem::path dir;
};

}  // namespace firmware_test
