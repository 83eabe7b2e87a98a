// The program's entry: the one application object, constructed before this runs, does its
// work in InitInstance. When that returns false the framework runs no message loop of its own
// and the process ends.
#include "framework/win_app.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    CWinApp* app = AfxGetApp();
    if (app) app->InitInstance();
    return 0;
}
