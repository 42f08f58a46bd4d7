#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "firmware/package_builder.h"
#include "window_fixture.h"

namespace firmware_test {
namespace {

using firmware::PackageBuilder;
using platform::fake::Bytes;

std::vector<std::uint8_t> ImageBytes(std::uint32_t size, std::uint8_t seed) {
  std::vector<std::uint8_t> image(size);
  for (std::uint32_t i = 0; i < size; ++i) image[i] = static_cast<std::uint8_t>(i * 7 + seed);
  return image;
}

constexpr const char* kGeneralAppSuccess =
    "Upload general app. image. Ok.\r\nCheck Image. Ok.\r\nBurn image...\r\n"
    "general app. image burning succeed.\r\n";

class UploadTest : public WindowTest {
 public:
  // Loads a package with the images given (an empty one is left out) and ticks their rows.
  void Load(const std::vector<std::uint8_t>& generalApp, std::uint16_t generalAppVersion,
            const std::vector<std::uint8_t>& inputsCtrl, std::uint16_t inputsCtrlVersion,
            std::string_view magic = "mIMF", std::uint32_t value = 3) {
    PackageBuilder package;
    package.Header(magic, value);
    if (!generalApp.empty()) package.Image("GC", generalAppVersion, generalApp);
    if (!inputsCtrl.empty()) package.Image("IC", inputsCtrlVersion, inputsCtrl);
    const std::string path = WriteFile("pkg.bin", package.bytes);
    ASSERT_EQ(dialog->LoadImageFile(path.c_str()), nullptr);
    SetAllBoxes(true);
  }

  void ExpectPresence() { driver.Expect(device::CMD_READ_UID).Capacity(12).Answer(Bytes(kUid)); }

  // The image in pieces of at most 512 bytes; only the last asks for, and gets, a reply.
  void ExpectImage(const std::vector<std::uint8_t>& image, Bytes lastReply) {
    for (std::size_t offset = 0; offset < image.size(); offset += 512) {
      const std::size_t piece = std::min<std::size_t>(512, image.size() - offset);
      const bool last = offset + piece == image.size();
      platform::fake::Exchange& exchange =
          driver.Expect(std::span<const std::uint8_t>(image.data() + offset, piece))
              .Capacity(last ? 1 : 0);
      if (last) exchange.Answer(lastReply);
    }
  }

  void ExpectPoll(Bytes reply) { driver.Expect(device::CMD_STATUS_POLL).Capacity(4).Answer(reply); }

  // The scan after the reboot: versions 1.35 and hardware 3, the UID, and an inputs
  // controller that refuses its command mode, so its version stays unread.
  void ExpectRefresh() {
    driver.Expect(device::CMD_READ_VERSIONS).Capacity(4).Answer("23 01 03 00");
    driver.Expect(device::CMD_READ_UID).Capacity(12).Answer(Bytes(kUid));
    driver.Expect(device::CMD_ICTRL_LEAVE).Answer("AA");
    driver.Expect(device::CMD_ICTRL_ENTER).Answer("EE");
    driver.Expect(device::CMD_ICTRL_LEAVE).Answer("AA");
  }

  void ExpectGeneralAppSuccess(const std::vector<std::uint8_t>& image, Bytes start) {
    driver.Expect(start).Capacity(1).Answer("AA");
    ExpectImage(image, "A0");
    ExpectPoll("A0");
    ExpectPoll("AA");
    ExpectRefresh();
  }

  // The command requests after the presence check, in order, with the image data left out.
  std::vector<std::string> Commands() const {
    std::vector<std::string> log;
    for (const platform::fake::Request& request : driver.Commands()) {
      if (request.input.size() > 4) continue;
      log.push_back(request.InputHex());
    }
    return log;
  }

  std::uint64_t TimeOf(std::size_t commandIndex) const {
    return driver.Commands().at(commandIndex).atMs;
  }
};

TEST_F(UploadTest, GeneralApplicationBurnsAndTheDeviceIsFoundAgain) {
  const std::vector<std::uint8_t> image = ImageBytes(70000, 1);  // 0x011170
  OpenDevice(0x0122, 0x0102);
  Load(image, 0x0123, {}, 0);
  const platform::DeviceHandle before = dialog->link.deviceHandle;
  ExpectPresence();
  ExpectGeneralAppSuccess(image, "09 70 11 01");

  dialog->UploadImages();

  EXPECT_EQ(dialog->logText, kGeneralAppSuccess);
  EXPECT_EQ(Text(res::IDC_LOG), kGeneralAppSuccess);
  EXPECT_EQ(Checks(), std::vector<std::string>{"unchecked"});
  EXPECT_EQ(bench.MessageBoxTexts(), std::vector<std::string>{});
  EXPECT_EQ(driver.Problems(), "");
  EXPECT_EQ(driver.closedHandles, std::vector<platform::DeviceHandle>{before});
  EXPECT_TRUE(dialog->link.IsOpen());
  EXPECT_EQ(dialog->link.identity.generalAppVersion, 0x0123);

  // 137 pieces: 136 of 512 bytes and one of 368, after the start command.
  const std::vector<platform::fake::Request> commands = driver.Commands();
  ASSERT_GE(commands.size(), 2u + 137u + 2u);
  EXPECT_EQ(commands[2].input.size(), 512u);
  EXPECT_EQ(commands[2 + 136].input.size(), 368u);
  // 50 ms before each poll, 300 ms after the close before the device is looked for.
  const std::size_t firstPoll = 2 + 137;
  EXPECT_EQ(TimeOf(firstPoll) - TimeOf(firstPoll - 1), 50u);
  EXPECT_EQ(TimeOf(firstPoll + 1) - TimeOf(firstPoll), 50u);
  EXPECT_EQ(TimeOf(firstPoll + 2) - TimeOf(firstPoll + 1), 300u);
}

TEST_F(UploadTest, InputsControllerBurnsWithProgress) {
  const std::vector<std::uint8_t> image = ImageBytes(4660, 2);  // 0x1234
  OpenDevice(0x0122, 0x0102);
  Load({}, 0, image, 0x0103);
  ExpectPresence();
  driver.Expect(device::CMD_ICTRL_LEAVE).Capacity(1).Answer("AA");
  driver.Expect(device::CMD_ICTRL_ENTER).Capacity(1).Answer("AA");
  driver.Expect("07 04 34 12").Capacity(1).Answer("AA");
  ExpectImage(image, "A0");
  ExpectPoll("A0");
  ExpectPoll("A0");
  ExpectPoll("AA");
  driver.Expect(device::CMD_ICTRL_LEAVE).Capacity(1).Answer("AA");

  dialog->UploadImages();

  EXPECT_EQ(dialog->logText, "Upload input controller app. image. Ok\r\nBurn image.+ Ok.");
  EXPECT_EQ(Checks(), std::vector<std::string>{"unchecked"});
  EXPECT_EQ(driver.Problems(), "");
  EXPECT_EQ(Commands(), (std::vector<std::string>{"03 03", "07 00", "07 01", "07 04 34 12", "03 04",
                                                  "03 04", "03 04", "07 00"}));
  EXPECT_EQ(TimeOf(2) - TimeOf(1), 20u);
}

TEST_F(UploadTest, BothImagesInOneRunThenEnterRefused) {
  const std::vector<std::uint8_t> generalApp = ImageBytes(600, 3);
  const std::vector<std::uint8_t> inputsCtrl = ImageBytes(100, 4);
  OpenDevice(0x0122, 0x0102);
  // IC first in the file: the general application still goes first.
  PackageBuilder package;
  package.Header("mIMF", 3).Image("IC", 0x0103, inputsCtrl).Image("GC", 0x0123, generalApp);
  const std::string path = WriteFile("pkg.bin", package.bytes);
  ASSERT_EQ(dialog->LoadImageFile(path.c_str()), nullptr);
  ASSERT_EQ(Checks(), (std::vector<std::string>{"checked", "checked"}));
  ExpectPresence();
  ExpectGeneralAppSuccess(generalApp, "09 58 02 00");
  driver.Expect(device::CMD_ICTRL_LEAVE).Answer("AA");
  driver.Expect(device::CMD_ICTRL_ENTER).Answer("EE");
  driver.Expect(device::CMD_ICTRL_LEAVE).Answer("AA");

  dialog->UploadImages();

  EXPECT_EQ(dialog->logText,
            std::string(kGeneralAppSuccess) + "Failure to enter in ICTRL cmd mode");
  // Row 0 is the inputs controller's, row 1 the general application's.
  EXPECT_EQ(Checks(), (std::vector<std::string>{"checked", "unchecked"}));
  EXPECT_EQ(driver.Problems(), "");
}

TEST_F(UploadTest, GeneralApplicationFailures) {
  const std::vector<std::uint8_t> image = ImageBytes(600, 5);  // two pieces
  struct Case {
    const char* name;
    std::function<void(UploadTest&)> script;
    const char* log;
    bool stillOpen;
  };
  const Case cases[] = {
      {"start refused", [](UploadTest& t) { t.driver.Expect("09 58 02 00").Answer("EE"); },
       "Unable to upload general app. image.", true},
      {"data answered OK instead of busy",
       [&](UploadTest& t) {
         t.driver.Expect("09 58 02 00").Answer("AA");
         t.ExpectImage(image, "AA");
       },
       "Upload general app. image.Failure to upload image data.", true},
      {"data without reply",
       [&](UploadTest& t) {
         t.driver.Expect("09 58 02 00").Answer("AA");
         t.ExpectImage(image, "");
       },
       "Upload general app. image.Failure to upload image data.", true},
      {"data refused",
       [&](UploadTest& t) {
         t.driver.Expect("09 58 02 00").Answer("AA");
         t.driver.Expect(std::span<const std::uint8_t>(image.data(), 512)).Fail();
       },
       "Upload general app. image.Failure to upload image data.", true},
      {"busy through four polls",
       [&](UploadTest& t) {
         t.driver.Expect("09 58 02 00").Answer("AA");
         t.ExpectImage(image, "A0");
         for (int i = 0; i < 4; ++i) t.ExpectPoll("A0");
       },
       "Upload general app. image. Ok.\r\nCheck Image.", true},
      {"poll fails",
       [&](UploadTest& t) {
         t.driver.Expect("09 58 02 00").Answer("AA");
         t.ExpectImage(image, "A0");
         t.driver.Expect(device::CMD_STATUS_POLL).Fail();
       },
       "Upload general app. image. Ok.\r\nCheck Image.", true},
      {"check reports other status",
       [&](UploadTest& t) {
         t.driver.Expect("09 58 02 00").Answer("AA");
         t.ExpectImage(image, "A0");
         t.ExpectPoll("AA 01 00 00");
       },
       "Upload general app. image. Ok.\r\nCheck Image.", true},
      {"not found again",
       [&](UploadTest& t) {
         t.driver.Expect("09 58 02 00").Answer("AA");
         t.ExpectImage(image, "A0");
         // The instrument accepts the image and never comes back from its reboot.
         t.driver.Respond(
             [&t](const platform::fake::Request& request) -> std::optional<platform::fake::Reply> {
               if (request.InputHex() != "03 04") return std::nullopt;
               t.driver.Find("dev0")->present = false;
               return platform::fake::Reply::Answer("AA");
             });
       },
       "Upload general app. image. Ok.\r\nCheck Image. Ok.\r\nBurn image...\r\n"
       "general app. image burning fail.\r\n",
       false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    OpenFreshWindow();
    driver.ClearScript();
    OpenDevice(0x0122, 0x0102);
    Load(image, 0x0123, {}, 0);
    ExpectPresence();
    c.script(*this);
    dialog->UploadImages();
    EXPECT_EQ(dialog->logText, c.log);
    EXPECT_EQ(Checks(), std::vector<std::string>{"checked"});
    EXPECT_EQ(dialog->link.IsOpen(), c.stillOpen);
    EXPECT_EQ(bench.MessageBoxTexts(), std::vector<std::string>{});
    EXPECT_EQ(driver.Problems(), "");
  }
}

TEST_F(UploadTest, InputsControllerFailures) {
  const std::vector<std::uint8_t> image = ImageBytes(100, 6);
  struct Case {
    const char* name;
    std::function<void(UploadTest&)> script;
    const char* log;
    bool succeeded;
  };
  const auto enterAndStart = [](UploadTest& t) {
    t.driver.Expect(device::CMD_ICTRL_LEAVE).Answer("AA");
    t.driver.Expect(device::CMD_ICTRL_ENTER).Answer("AA");
    t.driver.Expect("07 04 64 00").Answer("AA");
  };
  const Case cases[] = {
      {"enter refused",
       [](UploadTest& t) {
         t.driver.Expect(device::CMD_ICTRL_LEAVE).Fail();
         t.driver.Expect(device::CMD_ICTRL_ENTER).Answer("EE");
       },
       "Failure to enter in ICTRL cmd mode", false},
      {"start refused",
       [](UploadTest& t) {
         t.driver.Expect(device::CMD_ICTRL_LEAVE).Answer("AA");
         t.driver.Expect(device::CMD_ICTRL_ENTER).Answer("AA");
         t.driver.Expect("07 04 64 00").Answer("A0");
       },
       "Failure to start image uploading.", false},
      {"data refused",
       [&](UploadTest& t) {
         enterAndStart(t);
         t.driver.Expect(image).Fail();
       },
       "Upload input controller app. image.\r\nFail.", false},
      {"data without reply",
       [&](UploadTest& t) {
         enterAndStart(t);
         t.ExpectImage(image, "");
       },
       "Upload input controller app. image.\r\nFail.", false},
      {"data answered OK burns at once",
       [&](UploadTest& t) {
         enterAndStart(t);
         t.ExpectImage(image, "AA");
       },
       "Upload input controller app. image. Ok\r\nBurn image. Ok.", true},
      {"status with trailing bytes",
       [&](UploadTest& t) {
         enterAndStart(t);
         t.ExpectImage(image, "A0");
         t.ExpectPoll("AA 01 00 00");
       },
       "Upload input controller app. image. Ok\r\nBurn image.+ Fail.", false},
      {"busy through a hundred polls",
       [&](UploadTest& t) {
         enterAndStart(t);
         t.ExpectImage(image, "A0");
         t.driver.Always(device::CMD_STATUS_POLL, "A0 00 00 00");
       },
       "Upload input controller app. image. Ok\r\nBurn image.++++++++++ Fail.", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    OpenFreshWindow();
    driver.ClearScript();
    OpenDevice(0x0122, 0x0102);
    Load({}, 0, image, 0x0103);
    ExpectPresence();
    c.script(*this);
    driver.Expect(device::CMD_ICTRL_LEAVE).Answer("AA");
    const std::size_t before = driver.Commands().size();
    dialog->UploadImages();
    EXPECT_EQ(dialog->logText, c.log);
    EXPECT_EQ(Checks(), std::vector<std::string>{c.succeeded ? "unchecked" : "checked"});
    EXPECT_EQ(driver.Problems(), "");
    // The command mode is left at the end of every path.
    EXPECT_EQ(driver.Commands().back().InputHex(), "07 00");
    if (std::string(c.name) == "busy through a hundred polls") {
      EXPECT_EQ(driver.Commands().size() - before, 4u + 1u + 100u + 1u);
    }
    if (std::string(c.name) == "enter refused") {
      EXPECT_EQ(driver.Commands().size() - before, 4u);  // 03 03, 07 00, 07 01, 07 00
    }
  }
}

TEST_F(UploadTest, VersionGate) {
  struct Case {
    const char* name;
    std::uint16_t deviceVersion;
    std::uint16_t imageVersion;
    bool ctrl;
    bool passes;
  };
  const Case cases[] = {
      {"older refused", 0x0105, 0x0104, false, false},
      {"older with Ctrl", 0x0105, 0x0104, true, true},
      {"same", 0x0105, 0x0105, false, true},
      {"newer", 0x0105, 0x0106, false, true},
      {"device version not read", 0xFFFF, 0x0001, false, true},
  };
  const std::vector<std::uint8_t> image = ImageBytes(16, 7);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    OpenFreshWindow();
    driver.ClearScript();
    bench.SetKeyDown(ui::VK_CONTROL, c.ctrl);
    OpenDevice(c.deviceVersion, 0x0102);
    Load(image, c.imageVersion, {}, 0);
    ExpectPresence();
    // A start command that is refused is enough to see that the gate let the image through.
    if (c.passes) driver.Expect("09 10 00 00").Answer("EE");
    dialog->UploadImages();
    EXPECT_EQ(driver.Problems(), "");
    if (c.passes) {
      EXPECT_EQ(bench.MessageBoxTexts(), std::vector<std::string>{});
      EXPECT_EQ(dialog->logText, "Unable to upload general app. image.");
      EXPECT_EQ(Checks(), std::vector<std::string>{"checked"});
    } else {
      EXPECT_EQ(bench.MessageBoxTexts(),
                (std::vector<std::string>{
                    "Unable to upload image with version value less then existing one!",
                    "There is nothing to update!"}));
      EXPECT_EQ(Checks(), std::vector<std::string>{"unchecked"});
    }
  }
}

TEST_F(UploadTest, Compatibility) {
  struct Case {
    const char* name;
    const char* magic;
    std::uint32_t value;
    std::uint16_t hwVersion;
    std::int32_t driverMinor;
    bool suits;
  };
  const Case cases[] = {
      {"hw matches", "mIMF", 0x0102, 0x0102, 7, true},
      {"hw differs", "mIMF", 0x0102, 0x0103, 7, false},
      {"hw not reported", "mIMF", 0x0102, 0, 7, false},
      {"minor below", "MIMF", 0x0014000A, 3, 9, false},
      {"minor lowest", "MIMF", 0x0014000A, 3, 10, true},
      {"minor highest", "MIMF", 0x0014000A, 3, 19, true},
      {"minor at the bound", "MIMF", 0x0014000A, 3, 20, false},
  };
  const std::vector<std::uint8_t> image = ImageBytes(16, 8);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    OpenFreshWindow();
    driver.ClearScript();
    OpenDevice(0x0122, 0x0102, c.hwVersion, c.driverMinor);
    Load(image, 0x0123, {}, 0, c.magic, c.value);
    ExpectPresence();
    if (c.suits) driver.Expect("09 10 00 00").Answer("EE");
    const std::size_t before = driver.Commands().size();
    dialog->UploadImages();
    EXPECT_EQ(driver.Problems(), "");
    if (c.suits) {
      EXPECT_EQ(bench.MessageBoxTexts(), std::vector<std::string>{});
    } else {
      EXPECT_EQ(bench.MessageBoxTexts(),
                std::vector<std::string>{"Incompatible device and image versions!"});
      EXPECT_EQ(driver.Commands().size() - before, 1u);  // the presence check only
    }
  }
}

TEST_F(UploadTest, NothingTicked) {
  OpenDevice(0x0122, 0x0102);
  Load(ImageBytes(16, 9), 0x0123, ImageBytes(16, 10), 0x0103);
  SetAllBoxes(false);
  ExpectPresence();
  dialog->UploadImages();
  EXPECT_EQ(bench.MessageBoxTexts(), std::vector<std::string>{"There is nothing to update!"});
  EXPECT_EQ(Commands(), std::vector<std::string>{"03 03"});
  EXPECT_EQ(driver.Problems(), "");
}

TEST_F(UploadTest, DeviceGoneEndsSilently) {
  OpenDevice(0x0122, 0x0102);
  Load(ImageBytes(16, 9), 0x0123, {}, 0);
  dialog->SetItemText(res::IDC_LOG, "before");
  driver.Expect(device::CMD_READ_UID).Fail();
  dialog->UploadImages();
  EXPECT_EQ(bench.MessageBoxTexts(), std::vector<std::string>{});
  EXPECT_EQ(Text(res::IDC_LOG), "...");
  EXPECT_EQ(Text(res::IDC_DEVICE_NAME), "...");
  EXPECT_FALSE(dialog->link.IsOpen());
  EXPECT_EQ(driver.Problems(), "");
}

// The start commands hold 24 and 16 bits of the size: a larger image is not announced with a
// wrong size but refused before anything is sent, and its row stays ticked.
TEST_F(UploadTest, ImagesTooLargeForTheirStartCommandAreNotSent) {
  OpenDevice(0x0122, 0x0102);
  Load(ImageBytes(1u << 24, 11), 0x0123, ImageBytes(1u << 16, 12), 0x0103);
  ExpectPresence();
  dialog->UploadImages();
  EXPECT_EQ(dialog->logText,
            "Image too large for the general application.\r\n"
            "Image too large for the inputs controller.\r\n");
  EXPECT_EQ(Commands(), std::vector<std::string>{"03 03"});
  EXPECT_EQ(Checks(), (std::vector<std::string>{"checked", "checked"}));
  EXPECT_EQ(bench.MessageBoxTexts(), std::vector<std::string>{});
  EXPECT_EQ(driver.Problems(), "");
}

TEST_F(UploadTest, LargestInputsControllerImageIsSent) {
  OpenDevice(0x0122, 0x0102);
  Load({}, 0, ImageBytes(0xFFFF, 13), 0x0103);
  ExpectPresence();
  driver.Expect(device::CMD_ICTRL_LEAVE).Answer("AA");
  driver.Expect(device::CMD_ICTRL_ENTER).Answer("AA");
  driver.Expect("07 04 FF FF").Answer("EE");
  driver.Expect(device::CMD_ICTRL_LEAVE).Answer("AA");
  dialog->UploadImages();
  EXPECT_EQ(dialog->logText, "Failure to start image uploading.");
  EXPECT_EQ(driver.Problems(), "");
}

// Input that arrives while the image is checked must not touch what the upload uses; a close
// waits for the end of the upload.
TEST_F(UploadTest, CommandsDuringTheImageCheck) {
  struct Case {
    const char* name;
    int button;  // 0: the close box
    std::optional<int> endedWith;
  };
  const Case cases[] = {
      {"Upload App(s)", res::IDC_UPLOAD, std::nullopt},
      {"...", res::IDC_BROWSE, std::nullopt},
      {"Re-scan", res::IDC_RESCAN, std::nullopt},
      {"close", 0, ui::IDCANCEL},
  };
  const std::vector<std::uint8_t> image = ImageBytes(600, 14);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    OpenFreshWindow();
    driver.ClearScript();
    OpenDevice(0x0122, 0x0102);
    Load(image, 0x0123, {}, 0);
    const std::string other =
        WriteFile("other.bin", PackageBuilder().Header("mIMF", 3).Image("GC", 0x0200, 4).bytes);
    ExpectPresence();
    ExpectGeneralAppSuccess(image, "09 58 02 00");
    // Should the file dialog open, the user picks another package.
    bench.user().ChooseFile(other);

    // The user acts at the first moment the upload lets input in, which must be the drain of
    // the image check: the log says so, and the first poll's pause has not begun.
    const std::uint64_t start = bench.clock().NowMs();
    bool acted = false;
    bench.At(start, [&] {
      EXPECT_EQ(dialog->logText, "Upload general app. image. Ok.\r\nCheck Image.");
      EXPECT_EQ(bench.sleeps(), std::vector<std::uint32_t>{});
      if (c.button != 0) {
        bench.QueueClick(c.button);
      } else {
        bench.QueueClose();
      }
      acted = true;
    });
    // In the first poll's pause the input has been dispatched, and the window is still open.
    bool lookedAfter = false;
    bench.At(start + 1, [&] {
      EXPECT_FALSE(bench.FindWindow(res::IDD_MAIN)->ended());
      EXPECT_EQ(dialog->closePending, c.button == 0);
      lookedAfter = true;
    });

    dialog->UploadImages();

    EXPECT_TRUE(acted);
    EXPECT_TRUE(lookedAfter);
    EXPECT_EQ(dialog->logText, kGeneralAppSuccess);
    EXPECT_EQ(driver.Problems(), "");
    EXPECT_EQ(bench.fileDialogs().size(), 0u);
    EXPECT_EQ(dialog->package.slots[firmware::SLOT_GENERAL_APP].version, 0x0123);
    const headless::BenchWindow* window = bench.FindWindow(res::IDD_MAIN);
    EXPECT_EQ(window->ended() ? std::optional<int>(window->result()) : std::nullopt, c.endedWith);
    EXPECT_FALSE(dialog->uploadRunning);
    EXPECT_FALSE(dialog->closePending);
  }
}

}  // namespace
}  // namespace firmware_test
