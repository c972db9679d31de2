#pragma once
// Resource numbers of the Windows front end; the control ids are the flows' own.

#include "programmer/app/control_ids.h"

#define IDI_PROGRAM 101
#define IDD_CONNECTION 102
#define IDD_ABOUT 103
#define IDD_MAIN 106

// The about box's two lines of text.
#define IDC_ABOUT_VERSION 1301
#define IDC_ABOUT_LINE 1302
