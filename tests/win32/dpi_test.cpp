// Portlook.exe on screens of 96, 144 and 192 DPI, as Wine makes them: every text fits its
// control, no control draws on another, the columns fit their texts with a margin grown with
// the DPI, and the lamp is whole, inside its control.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "res/resource.h"
#include "tests/win32/program_process.h"
#include "tests/support/serial_comm_key.h"

namespace {

constexpr DWORD kStartTimeout = 20000;

std::string ClassName(HWND window) {
    char name[64] = {};
    ::GetClassNameA(window, name, sizeof name);
    return name;
}

// How many pixels of a text's ink fall outside `width` by `height`, in the dialog's font ("MS
// Shell Dlg", 8 points) at the DPI, laid out as a control of that style lays it out.
int InkOutside(const std::string& text, int dpi, int width, int height, UINT format) {
    HFONT font = ::CreateFontA(-::MulDiv(8, dpi, 72), 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE,
                               DEFAULT_CHARSET, 0, 0, 0, 0, "MS Shell Dlg");
    const int wide = 2 * width, tall = 2 * height;  // room for whatever overflows
    const RECT layout{0, 0, width, height};
    const std::vector<DWORD> ink = TextPixels(text, font, layout, wide, tall, format);
    const std::vector<DWORD> blank = TextPixels("", font, layout, wide, tall, format);
    ::DeleteObject(font);
    int outside = 0;
    for (int y = 0; y < tall; ++y) {
        for (int x = 0; x < wide; ++x) {
            const size_t at = static_cast<size_t>(y) * wide + x;
            outside += (x >= width || y >= height) && ink[at] != blank[at];
        }
    }
    return outside;
}

class DpiTest : public ::testing::TestWithParam<int> {
protected:
    void SetUp() override {
        ASSERT_TRUE(SeeScreenPixels());
        ASSERT_TRUE(SetScreenDpi(GetParam()));
        m_key.SetText("\\Device\\Serial0", AvailablePorts().at(0));
        m_key.SetText("\\Device\\VCP0", EnvironmentValue("PORTLOOK_PORT_MISSING"));
    }
    void TearDown() override { SetScreenDpi(96); }

    SerialCommKey m_key;
};

TEST_P(DpiTest, TextsFitColumnsFitAndTheLampIsWhole) {
    const int dpi = GetParam();
    ChildProcess program(PORTLOOK_EXE);
    HWND dialog = WaitForWindow(program, "#32770", "Portlook", kStartTimeout);
    ASSERT_NE(dialog, nullptr);
    ::WaitForInputIdle(program.Handle(), kStartTimeout);
    RemoteList list(::GetDlgItem(dialog, IDC_PORT_LIST));
    ASSERT_TRUE(WaitUntil([&] { return list.Text(1, 2) == "not found"; }, kStartTimeout));

    RECT client{};
    ::GetClientRect(dialog, &client);
    std::vector<HWND> children;
    for (HWND child = ::GetWindow(dialog, GW_CHILD); child;
         child = ::GetWindow(child, GW_HWNDNEXT)) {
        children.push_back(child);
    }
    for (HWND child : children) {
        const std::string text = WindowText(child);
        SCOPED_TRACE(ClassName(child) + " \"" + text + "\"");
        RECT rect{};
        ::GetWindowRect(child, &rect);
        ::MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&rect), 2);
        RECT inside{};
        ::IntersectRect(&inside, &rect, &client);
        EXPECT_TRUE(::EqualRect(&inside, &rect)) << "cut off by the dialog's edge";

        RECT area{};
        ::GetClientRect(child, &area);
        const LONG style = ::GetWindowLongA(child, GWL_STYLE);
        if (text.empty() || ClassName(child) == "SysListView32" ||
            (style & SS_TYPEMASK) == SS_ICON) {
            continue;
        }
        // A button's text keeps clear of its raised edge, and is centred on one line.
        const bool button = ClassName(child) == "Button";
        const int edge = button ? ::MulDiv(3, dpi, 96) : 0;
        const UINT format =
            button ? DT_SINGLELINE
                   : ((style & SS_TYPEMASK) == SS_CENTER ? DT_CENTER : 0) | DT_WORDBREAK;
        EXPECT_EQ(InkOutside(text, dpi, area.right - 2 * edge, area.bottom - 2 * edge, format), 0)
            << "text clipped";
    }

    // Where two controls overlap, neither draws: no control's ink, the lamp's included, falls
    // on another control.
    ::SetForegroundWindow(dialog);
    ASSERT_TRUE(WaitUntil([&] { return ::GetForegroundWindow() == dialog; }, 3000));
    RECT window{};
    ::GetWindowRect(dialog, &window);
    const std::vector<DWORD> screen = ScreenPixels(dialog);
    const COLORREF face = ::GetSysColor(COLOR_BTNFACE);
    const DWORD blank = GetRValue(face) << 16 | GetGValue(face) << 8 | GetBValue(face);
    for (size_t a = 0; a < children.size(); ++a) {
        for (size_t b = a + 1; b < children.size(); ++b) {
            RECT one{}, other{}, both{};
            ::GetWindowRect(children[a], &one);
            ::GetWindowRect(children[b], &other);
            if (!::IntersectRect(&both, &one, &other)) continue;
            int ink = 0;
            for (LONG y = both.top; y < both.bottom; ++y) {
                for (LONG x = both.left; x < both.right; ++x) {
                    const size_t at = static_cast<size_t>(y - window.top) *
                                          static_cast<size_t>(window.right - window.left) +
                                      static_cast<size_t>(x - window.left);
                    ink += at < screen.size() && screen[at] != blank;
                }
            }
            EXPECT_EQ(ink, 0) << "\"" << WindowText(children[a]) << "\" (" << ClassName(children[a])
                              << ") and \"" << WindowText(children[b]) << "\" ("
                              << ClassName(children[b]) << ") overlap in " << both.left << ","
                              << both.top << " to " << both.right << "," << both.bottom;
        }
    }

    // Each column but the last as wide as its widest text plus 12 pixels at 96 DPI, scaled.
    const int columns = list.HeadingCount();
    const auto rows = list.Rows(columns);
    int used = 0;
    for (int column = 0; column + 1 < columns; ++column) {
        int widest = list.StringWidth(list.Heading(column));
        for (const auto& row : rows) widest = std::max(widest, list.StringWidth(row[column]));
        EXPECT_EQ(list.ColumnWidth(column), widest + ::MulDiv(12, dpi, 96)) << column;
        used += list.ColumnWidth(column);
    }
    RECT listArea{};
    ::GetClientRect(::GetDlgItem(dialog, IDC_PORT_LIST), &listArea);
    EXPECT_EQ(list.ColumnWidth(columns - 1), listArea.right - used);

    // The lamp shows the unlit bulb whole, centred in its control and grown with the screen:
    // the screen shows the icon at some size, and every pixel of its ink.
    HWND lamp = ::GetDlgItem(dialog, IDC_STATUS_ICON);
    RECT lampRect{};
    ::GetWindowRect(lamp, &lampRect);
    const int width = lampRect.right - lampRect.left;
    const int height = lampRect.bottom - lampRect.top;
    const auto inkOf = [blank](const std::vector<DWORD>& pixels) {
        return std::count_if(pixels.begin(), pixels.end(), [blank](DWORD p) { return p != blank; });
    };
    const std::vector<DWORD> shown = ScreenPixels(lamp);
    int side = 0;
    for (int size = std::min(width, height) - 2; size <= std::max(width, height) + 8; ++size) {
        const HICON bulb = static_cast<HICON>(::LoadImageA(::GetModuleHandleA(nullptr),
                                                           MAKEINTRESOURCEA(IDI_LAMP_OFF),
                                                           IMAGE_ICON, size, size, 0));
        if (shown == IconPixels(bulb, width, height)) {
            side = size;
            EXPECT_EQ(inkOf(shown), inkOf(IconPixels(bulb, size, size))) << "cut off at " << size;
        }
        ::DestroyIcon(bulb);
        if (side) break;
    }
    // The control is 20 dialog units tall, less a row that rounding may give the text below:
    // at least 7/8 of the 32-pixel icon grown with the screen.
    EXPECT_GE(side, ::MulDiv(28, dpi, 96)) << "not the bulb, or smaller than the screen asks";
}

INSTANTIATE_TEST_SUITE_P(Screens, DpiTest, ::testing::Values(96, 144, 192),
                         [](const ::testing::TestParamInfo<int>& screen) {
                             return std::to_string(screen.param) + "Dpi";
                         });

}  // namespace
