// Ids of the idle dialog; plain #defines, as windres reads this file too.
#ifndef PORTLOOK_TESTS_ROBUSTNESS_IDLE_DIALOG_H_
#define PORTLOOK_TESTS_ROBUSTNESS_IDLE_DIALOG_H_

#define IDD_IDLE 101
#define IDC_IDLE_LIST 1000

#endif  // PORTLOOK_TESTS_ROBUSTNESS_IDLE_DIALOG_H_
