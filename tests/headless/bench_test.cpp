#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "platform/headless/bench.h"
#include "resources/resource_ids.h"

namespace {

using headless::kCtrl;
using headless::kShift;
using headless::TimerRecord;
using Events = std::vector<std::string>;

constexpr int kPosted = 500;
constexpr int kTimer = 1;
constexpr unsigned kPeriodMs = 300;
constexpr unsigned kVkT = 0x54;

// A dialog that writes down every message it gets, as "<template> <what>", into a log shared
// with the dialogs it opens. Tests give it behaviour through the on... hooks.
class Probe : public ui::Dialog {
 public:
  Probe(int templateId, Events& events, ui::Dialog* owner = nullptr)
      : ui::Dialog(templateId, owner), events_(events) {}

  bool OnInitDialog() override {
    Log("init");
    if (onInit) onInit();
    return true;
  }
  bool PreTranslateMessage(const ui::Msg& msg) override {
    std::string key = "key " + std::to_string(msg.wParam);
    if ((msg.lParam & (1L << 30)) != 0) key += " repeat";
    if (ui::Host().IsKeyDown(ui::VK_SHIFT)) key += " shift";
    if (ui::Host().IsKeyDown(ui::VK_CONTROL)) key += " ctrl";
    Log(key);
    return swallow && swallow(msg);
  }

  void OnStart() {
    Log("start");
    if (onStart) onStart();
  }
  void OnBox(int id) {
    Log("box " + std::to_string(id) + " check=" + std::to_string(GetCheck(id)));
  }
  void OnClick(int id) {
    Log("click " + std::to_string(id));
    if (onClick) onClick(id);
  }
  void OnPosted() { Log("posted"); }
  void OnTimer(int id) {
    Log("tick " + std::to_string(id) + " @" + std::to_string(ui::Host().clock().NowMs()));
    if (onTimer) onTimer(id);
  }
  void OnOk() {
    Log("ok");
    EndDialog(ui::IDOK);
  }
  void OnCancel() {
    Log("cancel");
    if (!ignoreCancel) EndDialog(ui::IDCANCEL);
  }
  void OnDestroy() { Log("destroy"); }

  void Log(const std::string& what) {
    events_.push_back(std::to_string(templateId()) + " " + what);
  }

  std::function<void()> onInit;
  std::function<void()> onStart;
  std::function<void(int)> onClick;
  std::function<void(int)> onTimer;
  std::function<bool(const ui::Msg&)> swallow;
  bool ignoreCancel = false;

 protected:
  bool OnMessage(const ui::Message& m) override;

 private:
  Events& events_;
};

using ui::Route;
// The single route for Start comes before the ranges, which would also match it.
const ui::MapEntry<Probe> kProbeMap[] = {
    {Route::Click(res::IDC_RELAY_START), &Probe::OnStart},
    {Route::ClickRange(res::IDC_RELAY_FIRST, res::IDC_RELAY_LAST), &Probe::OnBox},
    {Route::ClickRange(1000, 1099), &Probe::OnClick},
    {Route::Command(kPosted), &Probe::OnPosted},
    {Route::Command(ui::IDOK), &Probe::OnOk},
    {Route::Command(ui::IDCANCEL), &Probe::OnCancel},
    {Route::Timer(), &Probe::OnTimer},
    {Route::Destroy(), &Probe::OnDestroy},
};

bool Probe::OnMessage(const ui::Message& m) {
  return ui::RouteMessage(*this, kProbeMap, m);
}

class BenchTest : public ::testing::Test {
 protected:
  void TearDown() override {
    for (const std::string& e : bench.errors()) ADD_FAILURE() << "bench error: " << e;
  }
  // Takes the expected errors out of the record, so TearDown sees only unexpected ones.
  std::vector<std::string> TakeErrors() {
    std::vector<std::string> errors = bench.errors();
    bench.ClearRecord();
    return errors;
  }
  std::vector<std::uint64_t> TickTimes() const {
    std::vector<std::uint64_t> times;
    for (const TimerRecord& r : bench.timers()) {
      if (r.op == TimerRecord::Op::Tick) times.push_back(r.atMs);
    }
    return times;
  }

  headless::Bench bench;
  Events events;
};

TEST_F(BenchTest, ClicksReachTheirRouteAndAutoCheckBoxesToggleFirst) {
  Probe probe(res::IDD_RELAY_TEST, events);
  bench.user()
      .Click(res::IDC_RELAY_START)
      .Click(res::IDC_RELAY_FIRST + 3)
      .Click(res::IDC_RELAY_FIRST + 3)
      .Click(res::IDC_RELAY_INVERSE)
      .Close();
  EXPECT_EQ(probe.DoModal(), ui::IDCANCEL);
  EXPECT_EQ(events, (Events{"131 init", "131 start", "131 box 1020 check=1", "131 box 1020 check=0",
                            "131 click 1025", "131 cancel", "131 destroy"}));
  EXPECT_EQ(probe.window(), nullptr);
  // The state stays readable after the window has gone.
  EXPECT_EQ(bench.Check(res::IDD_RELAY_TEST, res::IDC_RELAY_FIRST + 3), ui::BST_UNCHECKED);
}

TEST_F(BenchTest, ClicksThatNeverArrive) {
  Probe probe(res::IDD_ICTRL_CMD, events);
  probe.onInit = [&] { probe.EnableItem(res::IDC_SEND_CMD, false); };
  bench.user()
      .Click(res::IDC_SEND_CMD)    // disabled by the dialog
      .Click(res::IDC_ENABLE_LOG)  // hidden
      .Click(res::IDC_CHANNEL)     // disabled in the template, and no button anyway
      .Click(1099);                // no such control
  probe.DoModal();
  EXPECT_EQ(events, (Events{"129 init", "129 cancel", "129 destroy"}));
  EXPECT_EQ(bench.Check(res::IDD_ICTRL_CMD, res::IDC_ENABLE_LOG), ui::BST_UNCHECKED);
  EXPECT_EQ(TakeErrors().size(), 2u);  // the combo is no button; 1099 does not exist
}

TEST_F(BenchTest, PostedCommandRunsAfterThePostingHandlerReturns) {
  Probe probe(res::IDD_RELAY_TEST, events);
  probe.onStart = [&] {
    probe.PostCommand(kPosted);
    probe.Log("start done");
  };
  bench.user().Click(res::IDC_RELAY_START);
  probe.DoModal();
  EXPECT_EQ(events, (Events{"131 init", "131 start", "131 start done", "131 posted", "131 cancel",
                            "131 destroy"}));
}

TEST_F(BenchTest, TimerTicksOnTheVirtualClockAndLongTicksDoNotQueueUp) {
  Probe probe(res::IDD_RELAY_TEST, events);
  probe.onStart = [&] { EXPECT_EQ(probe.SetTimer(kTimer, kPeriodMs), kTimer); };
  bool first = true;
  probe.onTimer = [&](int) {
    // The first tick runs 700 ms: the ticks due at 600 and 900 become one, right after it.
    if (first) ui::Sleep(700);
    first = false;
  };
  bench.user().Click(res::IDC_RELAY_START).Wait(1300);
  probe.DoModal();
  EXPECT_EQ(TickTimes(), (std::vector<std::uint64_t>{300, 1000, 1200}));
  EXPECT_EQ(bench.clock().NowMs(), 1300u);
  EXPECT_EQ(bench.sleeps(), (std::vector<std::uint32_t>{700}));  // idle time is no sleep
}

TEST_F(BenchTest, TimerIdentifiersRestartKillAndFailure) {
  Probe probe(res::IDD_RELAY_TEST, events);
  ASSERT_TRUE(bench.Open(probe));
  EXPECT_EQ(probe.SetTimer(kTimer, kPeriodMs), kTimer);
  bench.user().Wait(200);
  bench.RunScript();
  // Setting it again restarts the period: the next tick is 300 ms from now, not at 300.
  EXPECT_EQ(probe.SetTimer(kTimer, kPeriodMs), kTimer);
  bench.user().Wait(350);
  bench.RunScript();
  EXPECT_EQ(TickTimes(), (std::vector<std::uint64_t>{500}));

  probe.KillTimer(kTimer);
  probe.KillTimer(kTimer);  // not running: nothing happens
  bench.SetTimerFailure(true);
  EXPECT_EQ(probe.SetTimer(2, kPeriodMs), 0);
  bench.user().Wait(1000);
  bench.RunScript();
  EXPECT_EQ(TickTimes().size(), 1u);
  const auto& log = bench.timers();
  ASSERT_EQ(log.size(), 5u);
  EXPECT_FALSE(log[0].running);
  EXPECT_TRUE(log[1].running);  // the second Set replaced a running timer
  EXPECT_EQ(log[3].op, TimerRecord::Op::Kill);
  EXPECT_TRUE(log[3].running);
  EXPECT_FALSE(log[4].running);
  bench.Destroy(probe);
}

TEST_F(BenchTest, TimersDieWithTheirWindowButTheOwnersTickBehindAModalChild) {
  Probe owner(res::IDD_RELAY_TEST, events);
  Probe child(res::IDD_ICTRL_CMD, events, &owner);
  owner.onStart = [&] {
    owner.SetTimer(kTimer, kPeriodMs);
    child.DoModal();
    EXPECT_TRUE(bench.FindWindow(res::IDD_RELAY_TEST)->enabled());
  };
  child.onInit = [&] {
    child.SetTimer(7, 100);
    EXPECT_FALSE(bench.FindWindow(res::IDD_RELAY_TEST)->enabled());
  };
  bench.user().Click(res::IDC_RELAY_START).Wait(650).Close().Wait(300);
  owner.DoModal();
  int ownerTicks = 0, childTicks = 0;
  for (const TimerRecord& r : bench.timers()) {
    if (r.op != TimerRecord::Op::Tick) continue;
    (r.templateId == res::IDD_RELAY_TEST ? ownerTicks : childTicks)++;
  }
  EXPECT_EQ(ownerTicks, 3);  // at 300, 600 behind the child, and 900 after it closed
  EXPECT_EQ(childTicks, 6);  // every 100 ms until the child closed at 650
}

TEST_F(BenchTest, EscEnterTabAndTheCloseBox) {
  struct Case {
    const char* name;
    int templateId;
    std::function<void(headless::User&)> script;
    Events expected;
  };
  const Case cases[] = {
      {"Esc cancels",
       res::IDD_RELAY_TEST,
       [](auto& u) { u.Key(ui::VK_ESCAPE); },
       {"131 key 27", "131 cancel"}},
      {"Enter presses the default button",
       res::IDD_RELAY_TEST,
       [](auto& u) { u.Key(ui::VK_RETURN).Key(ui::VK_ESCAPE); },
       {"131 key 13", "131 start", "131 key 27", "131 cancel"}},
      {"Enter presses the focused button",
       res::IDD_RELAY_TEST,
       [](auto& u) { u.Click(res::IDC_RELAY_STOP).Key(ui::VK_RETURN).Close(); },
       {"131 click 1016", "131 key 13", "131 click 1016", "131 cancel"}},
      {"the first tab stop of the main window is Re-scan",
       res::IDD_MAIN,
       [](auto& u) { u.Key(ui::VK_RETURN).Close(); },
       {"102 key 13", "102 click 1002", "102 cancel"}},
      {"Enter without a default button is OK",
       res::IDD_MAIN,
       [](auto& u) { u.Key(headless::VK_TAB).Key(ui::VK_RETURN); },
       {"102 key 9", "102 key 13", "102 ok"}},
      {"the close box cancels without a key",
       res::IDD_ECTRL_CMD,
       [](auto& u) { u.Close(); },
       {"130 cancel"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    events.clear();
    Probe probe(c.templateId, events);
    c.script(bench.user());
    probe.DoModal();
    Events expected{std::to_string(c.templateId) + " init"};
    expected.insert(expected.end(), c.expected.begin(), c.expected.end());
    expected.push_back(std::to_string(c.templateId) + " destroy");
    EXPECT_EQ(events, expected);
    EXPECT_TRUE(bench.user().empty());
  }
}

TEST_F(BenchTest, PreTranslateMessageSeesModifiersAndRepeatsAndCanSwallow) {
  Probe probe(res::IDD_RELAY_TEST, events);
  probe.swallow = [](const ui::Msg& msg) { return msg.wParam != ui::VK_RETURN; };
  bench.user().Key(kVkT, kCtrl | kShift, 2).Key(ui::VK_ESCAPE).Key(ui::VK_RETURN);
  probe.DoModal();
  EXPECT_EQ(events, (Events{"131 init", "131 key 84 shift ctrl", "131 key 84 repeat shift ctrl",
                            "131 key 27", "131 key 13", "131 start", "131 cancel", "131 destroy"}));
  EXPECT_FALSE(bench.IsKeyDown(ui::VK_CONTROL));
}

TEST_F(BenchTest, HeldCtrlIsSeenByHandlersUntilReleased) {
  Probe probe(res::IDD_RELAY_TEST, events);
  std::vector<bool> ctrl;
  probe.onClick = [&](int) { ctrl.push_back(ui::Host().IsKeyDown(ui::VK_CONTROL)); };
  bench.user()
      .HoldKey(ui::VK_CONTROL)
      .Click(res::IDC_RELAY_STOP)
      .ReleaseKey(ui::VK_CONTROL)
      .Click(res::IDC_RELAY_STOP);
  probe.DoModal();
  EXPECT_EQ(ctrl, (std::vector<bool>{true, false}));
}

TEST_F(BenchTest, NestedDialogsAndMessageBoxesTakeTheScriptInTurn) {
  Probe outer(res::IDD_RELAY_TEST, events);
  Probe inner(res::IDD_ICTRL_CMD, events, &outer);
  outer.onStart = [&] { outer.Log("inner returned " + std::to_string(inner.DoModal())); };
  inner.onClick = [&](int id) {
    if (id == res::IDC_SEND_CMD) inner.MessageBox("first");
    if (id == res::IDC_CLEAR_REPORT) inner.MessageBox("second");
  };
  bench.user()
      .Click(res::IDC_RELAY_START)   // outer opens inner
      .Click(res::IDC_SEND_CMD)      // inner shows "first"
      .Key(ui::VK_RETURN)            // answers "first"
      .Click(res::IDC_CLEAR_REPORT)  // inner shows "second", answered by itself: the next
      .Click(res::IDC_ID_DEV_CMD)    // action is meant for inner
      .Key(ui::VK_ESCAPE)            // inner closes
      .Click(res::IDC_RELAY_STOP);   // outer again; then the script runs out
  EXPECT_EQ(outer.DoModal(), ui::IDCANCEL);
  EXPECT_EQ(events,
            (Events{"131 init", "131 start", "129 init", "129 click 1012", "129 click 1014",
                    "129 box 1019 check=1", "129 key 27", "129 cancel", "129 destroy",
                    "131 inner returned 2", "131 click 1016", "131 cancel", "131 destroy"}));
  ASSERT_EQ(bench.messageBoxes().size(), 2u);
  EXPECT_EQ(bench.MessageBoxTexts(), (std::vector<std::string>{"first", "second"}));
  EXPECT_EQ(bench.messageBoxes()[0].caption, ui::kApplicationName);
  EXPECT_EQ(bench.messageBoxes()[0].ownerTemplate, res::IDD_ICTRL_CMD);
  EXPECT_EQ(bench.opened(), (std::vector<int>{res::IDD_RELAY_TEST, res::IDD_ICTRL_CMD}));
}

TEST_F(BenchTest, ADialogThatRefusesToCloseIsEndedWhenTheScriptRunsOut) {
  Probe probe(res::IDD_RELAY_TEST, events);
  probe.ignoreCancel = true;
  EXPECT_EQ(probe.DoModal(), ui::IDCANCEL);
  EXPECT_EQ(events, (Events{"131 init", "131 cancel", "131 destroy"}));
  EXPECT_EQ(TakeErrors().size(), 1u);
}

TEST_F(BenchTest, DrainMessagesSkipsKeyHandlingAndStopsAfterACommandOrClose) {
  Probe probe(res::IDD_RELAY_TEST, events);
  probe.onStart = [&] {
    probe.SetTimer(kTimer, kPeriodMs);
    probe.PostCommand(kPosted);
    bench.QueueKey(ui::VK_ESCAPE);
    bench.QueueClick(res::IDC_RELAY_STOP);
    ui::DrainMessages();  // the posted command, then returns
    probe.Log("drained 1");
    ui::DrainMessages();  // the key does nothing without the dialog's key handling; the click
    probe.Log("drained 2");
    ui::Sleep(400);
    ui::DrainMessages();  // a tick is no command: it goes on until nothing is left
    probe.Log("drained 3");
    bench.At(bench.clock().NowMs() + 50, [&] { bench.QueueClose(); });
    ui::Sleep(100);
    ui::DrainMessages();  // the close arrived during the sleep
    probe.Log("drained 4");
  };
  bench.user().Click(res::IDC_RELAY_START).Wait(1000);
  probe.DoModal();
  EXPECT_EQ(events, (Events{"131 init", "131 start", "131 posted", "131 drained 1",
                            "131 click 1016", "131 drained 2", "131 tick 1 @400", "131 drained 3",
                            "131 cancel", "131 drained 4", "131 destroy"}));
  // The dialog ended in the drain; the rest of the script was left unused.
  EXPECT_EQ(bench.user().size(), 1u);
}

TEST_F(BenchTest, OpenWithoutALoopAndInspectControls) {
  Probe probe(res::IDD_ICTRL_CMD, events);
  ASSERT_TRUE(bench.Open(probe));
  ASSERT_NE(probe.window(), nullptr);
  EXPECT_EQ(bench.Text(res::IDD_ICTRL_CMD, res::IDC_SEND_CMD), "Send CMD");
  EXPECT_FALSE(bench.Enabled(res::IDD_ICTRL_CMD, res::IDC_CHANNEL));
  EXPECT_FALSE(bench.Visible(res::IDD_ICTRL_CMD, res::IDC_ENABLE_LOG));
  EXPECT_EQ(bench.ComboItems(res::IDD_ICTRL_CMD, res::IDC_CHANNEL).size(), 8u);
  EXPECT_EQ(bench.FindWindow(res::IDD_ICTRL_CMD)->focus(), res::IDC_SEND_CMD);

  // The channel list: a program selection, the user's pick, and typed text that is no entry.
  probe.SetComboSelection(res::IDC_CHANNEL, 2);
  EXPECT_EQ(bench.Text(res::IDD_ICTRL_CMD, res::IDC_CHANNEL), " 3");
  probe.EnableItem(res::IDC_CHANNEL, true);
  bench.user().SelectItem(res::IDC_CHANNEL, 7);
  bench.RunScript();
  EXPECT_EQ(probe.GetComboSelection(res::IDC_CHANNEL), 7);
  bench.user().Type(res::IDC_CHANNEL, "9");
  bench.RunScript();
  EXPECT_EQ(probe.GetComboSelection(res::IDC_CHANNEL), -1);
  bench.user().Type(res::IDC_CHANNEL, " 2");
  bench.RunScript();
  EXPECT_EQ(probe.GetComboSelection(res::IDC_CHANNEL), 1);
  probe.SetComboSelection(res::IDC_CHANNEL, 8);
  EXPECT_EQ(probe.GetComboSelection(res::IDC_CHANNEL), -1);

  bench.user().Type(res::IDC_CMD_TEXT, "0x1F 10").Click(res::IDC_ID_DEV_CMD);
  bench.RunScript();
  EXPECT_EQ(probe.GetItemText(res::IDC_CMD_TEXT), "0x1F 10");
  EXPECT_EQ(probe.GetCheck(res::IDC_ID_DEV_CMD), ui::BST_CHECKED);

  probe.SetItemText(res::IDC_CMD_RESULT, "");
  probe.SetItemText(res::IDC_CMD_RESULT, "0xAA");
  EXPECT_EQ(bench.WritesTo(res::IDD_ICTRL_CMD, res::IDC_CMD_RESULT),
            (std::vector<std::string>{"", "0xAA"}));

  probe.SetTimer(kTimer, kPeriodMs);
  bench.Destroy(probe);
  EXPECT_EQ(probe.window(), nullptr);
  EXPECT_EQ(events, (Events{"129 init", "129 box 1019 check=1", "129 destroy"}));

  // Addressing what the window does not have is recorded.
  ASSERT_TRUE(bench.Open(probe));
  probe.SetItemText(1099, "x");
  (void)probe.GetCheck(res::IDC_SEND_CMD);
  bench.user().Wait(1000).Type(res::IDC_CMD_RESULT, "typed");  // read-only
  bench.RunScript();
  bench.Destroy(probe);
  EXPECT_TRUE(TickTimes().empty());  // the timer died with the first window
  EXPECT_EQ(TakeErrors().size(), 3u);
}

TEST_F(BenchTest, ListViewRowsColumnsAndCheckBoxes) {
  Probe probe(res::IDD_MAIN, events);
  ASSERT_TRUE(bench.Open(probe));
  const int list = res::IDC_IMAGE_LIST;
  probe.ListInsertColumn(list, 0, "Type", 100);
  probe.ListInsertColumn(list, 1, "Version", 60);
  EXPECT_EQ(probe.ListInsertRow(list, 0, "GC"), 0);
  probe.ListSetExtendedStyle(list, ui::LVS_EX_CHECKBOXES | ui::LVS_EX_FULLROWSELECT);
  EXPECT_EQ(probe.ListInsertRow(list, 5, "IC"), 1);  // past the end: appended
  probe.ListSetItemText(list, 1, 1, "1.05");
  EXPECT_EQ(bench.ListRowTexts(res::IDD_MAIN, list, 1), (std::vector<std::string>{"IC", "1.05"}));
  EXPECT_EQ(bench.ListColumns(res::IDD_MAIN, list)[1].heading, "Version");
  // Turning the check boxes on gave the earlier row its unchecked box.
  EXPECT_EQ(probe.ListGetItemState(list, 0, ui::LVIS_STATEIMAGEMASK), ui::LVIS_UNCHECKED);

  probe.ListSetItemState(list, 0, ui::LVIS_CHECKED | 0x1, ui::LVIS_STATEIMAGEMASK);
  EXPECT_EQ(bench.ListRowState(res::IDD_MAIN, list, 0), ui::LVIS_CHECKED);  // 0x1 is masked off
  bench.user().TickRow(list, 0).TickRow(list, 1);
  bench.RunScript();
  EXPECT_EQ(probe.ListGetItemState(list, 0, ui::LVIS_STATEIMAGEMASK), ui::LVIS_UNCHECKED);
  EXPECT_EQ(probe.ListGetItemState(list, 1, ui::LVIS_STATEIMAGEMASK), ui::LVIS_CHECKED);
  probe.ListDeleteAllRows(list);
  EXPECT_EQ(probe.ListRowCount(list), 0);
  bench.Destroy(probe);
}

TEST_F(BenchTest, FileDialogChoiceCancelAndUnanswered) {
  Probe probe(res::IDD_MAIN, events);
  std::vector<std::string> results;
  probe.onClick = [&](int id) {
    if (id != res::IDC_BROWSE) return;
    std::string path = "unchanged";
    ui::FileDialogSpec options{"*.bin", nullptr, ui::OFN_HIDEREADONLY,
                               "Binary files (*.bin)|*.bin||", "Open application image file"};
    const bool chosen = ui::Host().OpenFileDialog(&probe, options, path);
    results.push_back(std::string(chosen ? "ok " : "cancel ") + path);
  };
  bench.user()
      .Click(res::IDC_BROWSE)
      .ChooseFile("/data/app.bin")
      .Click(res::IDC_BROWSE)
      .CancelFile()
      .Click(res::IDC_BROWSE)  // answered by the next action, which is for the window
      .Click(res::IDC_RESCAN);
  probe.DoModal();
  EXPECT_EQ(results,
            (std::vector<std::string>{"ok /data/app.bin", "cancel unchanged", "cancel unchanged"}));
  ASSERT_EQ(bench.fileDialogs().size(), 3u);
  EXPECT_EQ(bench.fileDialogs()[0].title, "Open application image file");
  EXPECT_EQ(bench.fileDialogs()[0].flags, ui::OFN_HIDEREADONLY);
  EXPECT_EQ(events.at(events.size() - 3), "102 click 1002");
}

TEST_F(BenchTest, IconsPaintingAndTheProgramPath) {
  Probe probe(res::IDD_MAIN, events);
  ASSERT_TRUE(bench.Open(probe));
  const ui::IconHandle icon = ui::Host().LoadIcon(res::IDI_MAIN);
  EXPECT_NE(icon, 0);
  probe.SetIcon(icon, true);
  EXPECT_EQ(bench.FindWindow(res::IDD_MAIN)->icon(true), icon);
  EXPECT_EQ(bench.FindWindow(res::IDD_MAIN)->icon(false), 0);
  int w = 0, h = 0;
  ui::Host().IconSize(w, h);
  EXPECT_EQ(w, 32);
  EXPECT_EQ(h, 32);
  probe.window()->ClientSize(w, h);
  EXPECT_EQ(w, 319 * 6 / 4);  // dialog units through the font's base units
  EXPECT_EQ(h, 204 * 13 / 8);

  EXPECT_FALSE(probe.IsMinimized());
  bench.SetMinimized(res::IDD_MAIN, true);
  bench.SetClientSize(res::IDD_MAIN, 36, 36);
  EXPECT_TRUE(probe.IsMinimized());
  probe.window()->DrawIcon(2, 2, icon);
  ASSERT_EQ(bench.drawnIcons().size(), 1u);
  EXPECT_EQ(bench.drawnIcons()[0].x, 2);

  bench.SetProgramPath("/opt/veltra/veltra-updater");
  EXPECT_EQ(ui::Host().ProgramPath(), "/opt/veltra/veltra-updater");
  bench.Destroy(probe);
}

}  // namespace
