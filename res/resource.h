// Resource ids shared by the C++ sources and windres. Plain #defines only, so
// that the resource compiler's preprocessor can read this file too.
#ifndef PORTLOOK_RES_RESOURCE_H_
#define PORTLOOK_RES_RESOURCE_H_

#define IDD_MAIN 102

#define IDI_APP 128
#define IDI_LAMP_ON 129
#define IDI_LAMP_OFF 130

#define IDC_PORT_LIST 1000
#define IDC_SINGLE 1002
#define IDC_CONTINUOUSLY 1003
#define IDC_HINTS 1004
#define IDC_STATUS_ICON 1005

// The main window's hint text.
#define IDS_HINTS 101

// The framework's own string, shown when the help engine cannot be started.
#ifndef AFX_IDP_FAILED_TO_LAUNCH_HELP
#define AFX_IDP_FAILED_TO_LAUNCH_HELP 0xF107
#endif

#endif  // PORTLOOK_RES_RESOURCE_H_
