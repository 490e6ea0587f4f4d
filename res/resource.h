#pragma once

#define IDI_APP             107
#define IDD_PROGRESS        129
#define IDD_ERROR           130

#define IDC_PROGRESS        1000
#define IDC_STEP_MEMORY     1001
#define IDC_STEP_FILES      1002
#define IDC_STEP_LAUNCH     1003

// Ids count per dialog: this one lives in IDD_ERROR.
#define IDC_MESSAGE         1002

#ifndef IDC_STATIC
#define IDC_STATIC          (-1)
#endif
