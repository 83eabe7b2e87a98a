// The yardsticks for start-up: Portlook's own dialog template shown by DialogBox, with nothing
// else done; built with PORTLOOK_BENCH_FILL, the same dialog whose list is filled once by the
// least a refresh does (registry walk, probes, rows inserted) and sized by the list itself.
// The buttons do nothing but close it.
#include "base/platform.h"
#include "res/resource.h"
#ifdef PORTLOOK_BENCH_FILL
#include "tests/bench/wine/raw_survey.h"
#endif

namespace {

#ifdef PORTLOOK_BENCH_FILL
void FillList(HWND list) {
    ::SendMessageA(list, LVM_SETEXTENDEDLISTVIEWSTYLE, 0, LVS_EX_GRIDLINES | LVS_EX_FULLROWSELECT);
    const char* const headings[] = {"Device", "Port", "Status"};
    for (int column = 0; column < 3; ++column) {
        LVCOLUMNA record{};
        record.mask = LVCF_FMT | LVCF_TEXT;
        record.fmt = LVCFMT_LEFT;
        record.pszText = const_cast<LPSTR>(headings[column]);
        ::SendMessageA(list, LVM_INSERTCOLUMNA, static_cast<WPARAM>(column),
                       reinterpret_cast<LPARAM>(&record));
    }
    RawSurvey(list);
    // The list's own sizing; the last column then takes the rest of the width.
    for (int column = 0; column < 3; ++column) {
        ::SendMessageA(list, LVM_SETCOLUMNWIDTH, static_cast<WPARAM>(column),
                       static_cast<LPARAM>(LVSCW_AUTOSIZE_USEHEADER));
    }
}
#endif

INT_PTR CALLBACK MinimalDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
    if (message == WM_INITDIALOG) {
#ifdef PORTLOOK_BENCH_FILL
        FillList(::GetDlgItem(dialog, IDC_PORT_LIST));
#endif
        return TRUE;
    }
    if (message == WM_COMMAND && (LOWORD(wParam) == IDCANCEL || LOWORD(wParam) == IDOK)) {
        ::EndDialog(dialog, LOWORD(wParam));
        return TRUE;
    }
    return FALSE;
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
    // The template holds a list view, as Portlook's does.
    INITCOMMONCONTROLSEX init{sizeof init, ICC_LISTVIEW_CLASSES};
    ::InitCommonControlsEx(&init);
    ::DialogBoxParamA(instance, MAKEINTRESOURCEA(IDD_MAIN), nullptr, MinimalDialogProc, 0);
    return 0;
}
