#pragma once
// Control ids of the two dialogs. Device rows r = 0..4 use 1100+r (check box), 1120+r (progress
// bar), 1140+r (Loaded FW text) and 1160+r (Current FW text).

#include <cstdint>

namespace app {

// Main dialog (ProgDlg).
constexpr int kIdQuit = 1;
constexpr int kIdLoadFile = 1002;
constexpr int kIdProgram = 1003;
constexpr int kIdPacket = 1004;
constexpr int kIdReboot = 1005;
constexpr int kIdSelectPort = 1013;
constexpr int kIdCheckBase = 1100;
constexpr int kIdProgressBase = 1120;
constexpr int kIdLoadedFwBase = 1140;
constexpr int kIdCurrentFwBase = 1160;
constexpr int kIdStatusLine = 1200;
constexpr int kRowCount = 5;

constexpr int checkBoxId(int row) { return kIdCheckBase + row; }
constexpr int progressId(int row) { return kIdProgressBase + row; }
constexpr int loadedFwId(int row) { return kIdLoadedFwBase + row; }
constexpr int currentFwId(int row) { return kIdCurrentFwBase + row; }

// Connection dialog (CMorvatDlg).
constexpr int kIdOk = 1;
constexpr int kIdCancel = 2;
constexpr int kIdPortList = 1010;
constexpr int kIdConnect = 1011;
constexpr int kIdConnectionStatus = 1012;
constexpr int kIdRadioComPort = 1050;
constexpr int kIdRadioCameraLink = 1052;
constexpr unsigned kIdAboutBox = 104;  // system menu command

// Posted by the Packet button's right click to the main dialog.
constexpr uint32_t WM_APP = 0x8000;
constexpr uint32_t WM_TOGGLE_PACKET_MODE = WM_APP + 100;

// Dialog results.
constexpr int kResultOk = 1;
constexpr int kResultCancel = 2;

}  // namespace app
