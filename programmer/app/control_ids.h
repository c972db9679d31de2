#pragma once
// Control ids of the two dialogs. Device rows r = 0..4 use 1100+r (check box), 1120+r (progress
// bar), 1140+r (Loaded FW text) and 1160+r (Current FW text). The resource script of the Windows
// dialogs includes this header too: it sees the macros; C++ code uses the constants of app.

#define IDC_QUIT 1
#define IDC_LOAD_FILE 1002
#define IDC_PROGRAM 1003
#define IDC_PACKET 1004
#define IDC_REBOOT 1005
#define IDC_SELECT_PORT 1013
#define IDC_CHECK_BASE 1100
#define IDC_PROGRESS_BASE 1120
#define IDC_LOADED_FW_BASE 1140
#define IDC_CURRENT_FW_BASE 1160
#define IDC_STATUS_LINE 1200

#define IDC_OK 1
#define IDC_CANCEL 2
#define IDC_PORT_LIST 1010
#define IDC_CONNECT 1011
#define IDC_CONNECTION_STATUS 1012
#define IDC_RADIO_COM_PORT 1050
#define IDC_RADIO_CAMERA_LINK 1052

// Posted by the Packet button's right click to the main dialog (the same value as Windows').
#ifndef WM_APP
#define WM_APP 0x8000
#endif
#define WM_TOGGLE_PACKET_MODE (WM_APP + 100)

#ifndef RC_INVOKED
#include <cstdint>

namespace app {

// Main dialog (ProgDlg).
constexpr int kIdQuit = IDC_QUIT;
constexpr int kIdLoadFile = IDC_LOAD_FILE;
constexpr int kIdProgram = IDC_PROGRAM;
constexpr int kIdPacket = IDC_PACKET;
constexpr int kIdReboot = IDC_REBOOT;
constexpr int kIdSelectPort = IDC_SELECT_PORT;
constexpr int kIdCheckBase = IDC_CHECK_BASE;
constexpr int kIdProgressBase = IDC_PROGRESS_BASE;
constexpr int kIdLoadedFwBase = IDC_LOADED_FW_BASE;
constexpr int kIdCurrentFwBase = IDC_CURRENT_FW_BASE;
constexpr int kIdStatusLine = IDC_STATUS_LINE;
constexpr int kRowCount = 5;

constexpr int checkBoxId(int row) { return kIdCheckBase + row; }
constexpr int progressId(int row) { return kIdProgressBase + row; }
constexpr int loadedFwId(int row) { return kIdLoadedFwBase + row; }
constexpr int currentFwId(int row) { return kIdCurrentFwBase + row; }

// Connection dialog (CMorvatDlg).
constexpr int kIdOk = IDC_OK;
constexpr int kIdCancel = IDC_CANCEL;
constexpr int kIdPortList = IDC_PORT_LIST;
constexpr int kIdConnect = IDC_CONNECT;
constexpr int kIdConnectionStatus = IDC_CONNECTION_STATUS;
constexpr int kIdRadioComPort = IDC_RADIO_COM_PORT;
constexpr int kIdRadioCameraLink = IDC_RADIO_CAMERA_LINK;
constexpr unsigned kIdAboutBox = 104;  // system menu command

// Dialog results.
constexpr int kResultOk = 1;
constexpr int kResultCancel = 2;

}  // namespace app
#endif
