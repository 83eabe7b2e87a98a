// Starts a program, waits for its main dialog, saves a picture of it as a BMP file and closes
// the program again: how the run command shows Portlook where there is no screen. With a DPI,
// the program runs on a screen of that many dots per inch.
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "tests/win32/program_process.h"

namespace {

bool WriteBitmap(const char* path, const std::vector<DWORD>& pixels, int width, int height) {
    BITMAPINFOHEADER info{};
    info.biSize = sizeof info;
    info.biWidth = width;
    info.biHeight = -height;  // top row first
    info.biPlanes = 1;
    info.biBitCount = 32;
    info.biCompression = BI_RGB;
    const DWORD bytes = static_cast<DWORD>(pixels.size() * sizeof(DWORD));
    BITMAPFILEHEADER file{};
    file.bfType = 0x4D42;  // "BM"
    file.bfOffBits = sizeof file + sizeof info;
    file.bfSize = file.bfOffBits + bytes;
    FILE* out = std::fopen(path, "wb");
    if (!out) return false;
    const bool written = std::fwrite(&file, sizeof file, 1, out) == 1 &&
                         std::fwrite(&info, sizeof info, 1, out) == 1 &&
                         std::fwrite(pixels.data(), 1, bytes, out) == bytes;
    return std::fclose(out) == 0 && written;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3 && argc != 4) {
        std::fprintf(stderr, "usage: %s PROGRAM.exe PICTURE.bmp [DPI]\n", argv[0]);
        return 2;
    }
    if (argc == 4 && !(SeeScreenPixels() && SetScreenDpi(std::atoi(argv[3])))) {
        std::fprintf(stderr, "cannot set the screen to %s DPI\n", argv[3]);
        return 1;
    }
    ChildProcess program(argv[1], ChildOptions{{}, false});
    HWND dialog = WaitForWindow(program, "#32770", nullptr, 60000);
    if (!dialog) {
        std::fprintf(stderr, "%s showed no window\n", argv[1]);
        return 1;
    }
    ::WaitForInputIdle(program.Handle(), 10000);
    ::SetForegroundWindow(dialog);
    ::RedrawWindow(dialog, nullptr, nullptr, RDW_INVALIDATE | RDW_ALLCHILDREN | RDW_UPDATENOW);
    ::Sleep(500);
    RECT rect{};
    ::GetWindowRect(dialog, &rect);
    const bool saved =
        WriteBitmap(argv[2], ScreenPixels(dialog), rect.right - rect.left, rect.bottom - rect.top);
    ::PostMessageA(dialog, WM_CLOSE, 0, 0);
    program.Finish(std::chrono::seconds(10));
    return saved ? 0 : 1;
}
