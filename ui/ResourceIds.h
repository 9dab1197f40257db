#pragma once

// Resource and control ids of the tester dialog, shared by the resource script and the code
// (hence macros: the resource compiler knows no C++).

#define IDD_AUTOGUIDER_TEST 100

#define IDB_ARROW_LEFT 100
#define IDB_ARROW_RIGHT 101
#define IDB_ARROW_UP 102
#define IDB_ARROW_DOWN 103

#define IDC_PORT_LABEL 1000
#define IDC_PORT_LIST 102
#define IDC_CONNECT 100
#define IDC_DISCONNECT 101
#define IDC_STATUS_LABEL 1001
#define IDC_STATUS 110
#define IDC_LANGUAGE_GROUP 1100
#define IDC_ENGLISH 120
#define IDC_MAGYAR 121
#define IDC_PRODUCT_NAME 1002
#define IDC_MAKER_ADDRESS 1003
#define IDC_PULSE_MS 130
#define IDC_NORTH 140
#define IDC_SOUTH 141
#define IDC_EAST 142
#define IDC_WEST 143
