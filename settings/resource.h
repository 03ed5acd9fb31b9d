// Ids of the module's resources, shared by the resource script and the code.
// Kept to plain #defines so that any resource compiler can read this file.
#pragma once

#define IDD_SETTINGS 100

// Settings dialog controls. The anchor buttons must stay consecutive in row
// order: button IDC_ALIGN_FIRST + 3 * row + column stands for that anchor.
#define IDC_LENGTH_ENABLED 1001
#define IDC_UNIT_SECONDS 1002
#define IDC_UNIT_FRAMES 1003
#define IDC_SECONDS 1004
#define IDC_FRAMES 1005
#define IDC_AUTO 1006
#define IDC_FIT 1007
#define IDC_HOST_VERSION 1008
#define IDC_ALIGN_TOP_LEFT 1010
#define IDC_ALIGN_TOP 1011
#define IDC_ALIGN_TOP_RIGHT 1012
#define IDC_ALIGN_LEFT 1013
#define IDC_ALIGN_CENTER 1014
#define IDC_ALIGN_RIGHT 1015
#define IDC_ALIGN_BOTTOM_LEFT 1016
#define IDC_ALIGN_BOTTOM 1017
#define IDC_ALIGN_BOTTOM_RIGHT 1018
#define IDC_ALIGN_FIRST IDC_ALIGN_TOP_LEFT
#define IDC_ALIGN_LAST IDC_ALIGN_BOTTOM_RIGHT
