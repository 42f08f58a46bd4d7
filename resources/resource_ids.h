#pragma once

// Template, control, command and icon numbers shared by the dialogs and every backend.
namespace res {

constexpr int IDD_MAIN = 102;
constexpr int IDD_ICTRL_CMD = 129;
constexpr int IDD_ECTRL_CMD = 130;
constexpr int IDD_RELAY_TEST = 131;
constexpr int IDI_MAIN = 128;

// Main window.
constexpr int IDC_DEVICE_NAME = 1001;
constexpr int IDC_RESCAN = 1002;
constexpr int IDC_LOG = 1003;
constexpr int IDC_IMAGE_PATH = 1004;
constexpr int IDC_BROWSE = 1005;
constexpr int IDC_UPLOAD = 1006;
constexpr int IDC_RECALIBRATE = 1008;
constexpr int IDC_IMAGE_LIST = 1009;

// Commands posted by the service shortcuts.
constexpr int ID_SERVICE_ICTRL = 101;
constexpr int ID_SERVICE_ECTRL = 102;
constexpr int ID_SERVICE_RELAY = 103;

// Controller command consoles.
constexpr int IDC_CMD_TEXT = 1010;
constexpr int IDC_CMD_RESULT = 1011;
constexpr int IDC_SEND_CMD = 1012;
constexpr int IDC_REPORT = 1013;  // monitoring report (129) or status (130)
constexpr int IDC_CLEAR_REPORT = 1014;
constexpr int IDC_INPUT_MONITORING = 1017;
constexpr int IDC_ENABLE_LOG = 1018;
constexpr int IDC_ID_DEV_CMD = 1019;
constexpr int IDC_CHANNEL = 1020;
constexpr int IDC_POWER_ON = 1021;
constexpr int IDC_LIFE_UPDATE = 1022;
constexpr int IDC_CLEAR_COUNTERS = 1023;

// Crossbar relay test.
constexpr int IDC_RELAY_START = 1015;
constexpr int IDC_RELAY_STOP = 1016;
constexpr int IDC_RELAY_FIRST = 1017;  // boxes "1" to "8": 1017 to 1024
constexpr int IDC_RELAY_LAST = 1024;
constexpr int IDC_RELAY_INVERSE = 1025;

}  // namespace res
