/* Resource numbers and control ids of tessiport.dll, shared by its resource script and code. */
#pragma once

#define IDI_TESSIPORT 102
#define IDD_SELECT_SERIAL 103
#define IDC_SERIAL_LIST 1006
