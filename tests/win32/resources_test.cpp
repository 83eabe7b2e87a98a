// Checks the resources linked into this executable, the same object the
// program links. Everything is read back from the running module through the
// resource and version APIs, so what the linker kept is what gets checked.

#include <windows.h>
#include <commctrl.h>
#include <winver.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <map>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "resource.h"

namespace {

const WORD kGerman = MAKELANGID(LANG_GERMAN, SUBLANG_GERMAN);

// Raw bytes of one resource in German; empty when there is none.
std::vector<BYTE> GermanResource(LPCSTR type, LPCSTR name) {
    HRSRC info = FindResourceExA(nullptr, type, name, kGerman);
    if (info == nullptr) return {};
    HGLOBAL handle = LoadResource(nullptr, info);
    const BYTE* data = handle ? static_cast<const BYTE*>(LockResource(handle)) : nullptr;
    if (data == nullptr) return {};
    return std::vector<BYTE>(data, data + SizeofResource(nullptr, info));
}

std::vector<BYTE> GermanResource(LPCSTR type, int id) {
    return GermanResource(type, MAKEINTRESOURCEA(id));
}

// A name or an ordinal, as dialog templates store classes, titles and menus.
struct NameOrOrdinal {
    bool is_ordinal = false;
    WORD ordinal = 0;
    std::wstring name;
};

// Little-endian reader over a resource. Offsets for alignment count from the
// start of the resource, which the loader places on a 32-bit boundary.
class Reader {
public:
    explicit Reader(const std::vector<BYTE>& bytes) : bytes_(bytes) {}

    bool ok() const { return ok_; }
    size_t pos() const { return pos_; }
    void Seek(size_t pos) {
        if (pos > bytes_.size()) ok_ = false;
        pos_ = ok_ ? pos : bytes_.size();
    }
    void Align4() { Seek((pos_ + 3) & ~size_t{3}); }

    BYTE Byte() { return static_cast<BYTE>(Read(1)); }
    WORD Word() { return static_cast<WORD>(Read(2)); }
    short Short() { return static_cast<short>(Word()); }
    DWORD Dword() { return Read(4); }

    std::wstring Sz() {
        std::wstring s;
        for (WORD c = Word(); ok_ && c != 0; c = Word()) s += static_cast<wchar_t>(c);
        return s;
    }

    NameOrOrdinal SzOrOrd() {
        NameOrOrdinal r;
        WORD first = Word();
        if (first == 0xFFFF) {
            r.is_ordinal = true;
            r.ordinal = Word();
        } else if (first != 0) {
            r.name = static_cast<wchar_t>(first) + Sz();
        }
        return r;
    }

private:
    DWORD Read(size_t n) {
        if (!ok_ || bytes_.size() - pos_ < n) {
            ok_ = false;
            return 0;
        }
        DWORD v = 0;
        for (size_t i = 0; i < n; ++i) v |= DWORD{bytes_[pos_ + i]} << (8 * i);
        pos_ += n;
        return v;
    }

    const std::vector<BYTE>& bytes_;
    size_t pos_ = 0;
    bool ok_ = true;
};

// ---------------------------------------------------------------------------
// Dialog template

struct DialogItem {
    DWORD help_id, ex_style, style;
    short x, y, cx, cy;
    DWORD id;
    NameOrOrdinal cls, title;
    WORD extra_count;
};

struct Dialog {
    WORD version, signature;
    DWORD help_id, ex_style, style;
    WORD item_count;
    short x, y, cx, cy;
    NameOrOrdinal menu, cls;
    std::wstring title;
    WORD point_size, weight;
    BYTE italic, charset;
    std::wstring typeface;
    std::vector<DialogItem> items;
};

// Parses a DLGTEMPLATEEX; false if it is not one or runs past the end.
bool ParseDialogEx(const std::vector<BYTE>& bytes, Dialog* d) {
    Reader r(bytes);
    d->version = r.Word();
    d->signature = r.Word();
    if (!r.ok() || d->version != 1 || d->signature != 0xFFFF) return false;
    d->help_id = r.Dword();
    d->ex_style = r.Dword();
    d->style = r.Dword();
    d->item_count = r.Word();
    d->x = r.Short();
    d->y = r.Short();
    d->cx = r.Short();
    d->cy = r.Short();
    d->menu = r.SzOrOrd();
    d->cls = r.SzOrOrd();
    d->title = r.Sz();
    d->point_size = d->weight = 0;
    d->italic = d->charset = 0;
    if (d->style & DS_SETFONT) {
        d->point_size = r.Word();
        d->weight = r.Word();
        d->italic = r.Byte();
        d->charset = r.Byte();
        d->typeface = r.Sz();
    }
    for (WORD i = 0; i < d->item_count && r.ok(); ++i) {
        r.Align4();
        DialogItem it;
        it.help_id = r.Dword();
        it.ex_style = r.Dword();
        it.style = r.Dword();
        it.x = r.Short();
        it.y = r.Short();
        it.cx = r.Short();
        it.cy = r.Short();
        it.id = r.Dword();
        it.cls = r.SzOrOrd();
        it.title = r.SzOrOrd();
        it.extra_count = r.Word();
        r.Seek(r.pos() + it.extra_count);
        d->items.push_back(it);
    }
    return r.ok();
}

std::string Narrow(const std::wstring& w) {
    std::string s;
    for (wchar_t c : w) s += c < 0x80 ? static_cast<char>(c) : '?';
    return s;
}

std::string Describe(const NameOrOrdinal& v) {
    if (v.is_ordinal) return "#" + std::to_string(v.ordinal);
    return "\"" + Narrow(v.name) + "\"";
}

// The system's predefined classes may be stored by atom or by name; names are
// compared as the window manager does, without regard to case.
bool IsClass(const NameOrOrdinal& cls, WORD atom, const wchar_t* name) {
    if (cls.is_ordinal) return atom != 0 && cls.ordinal == atom;
    return !cls.name.empty() && _wcsicmp(cls.name.c_str(), name) == 0;
}

bool IsText(const NameOrOrdinal& title, const wchar_t* text) {
    return !title.is_ordinal && title.name == text;
}

const WORD kButtonAtom = 0x0080;
const WORD kStaticAtom = 0x0082;

struct ExpectedItem {
    int id;
    WORD atom;
    const wchar_t* cls;
    const wchar_t* text;  // nullptr: the title is the ordinal in `icon`
    int icon;
    short x, y, cx, cy;
    DWORD style;
};

const DWORD kChild = WS_CHILD | WS_VISIBLE;

// In tab order.
const ExpectedItem kItems[] = {
    {IDC_PORT_LIST, 0, L"SysListView32", L"List1", 0, 7, 7, 180, 160,
     kChild | LVS_REPORT | LVS_SINGLESEL | WS_BORDER | WS_TABSTOP},
    {IDC_CONTINUOUSLY, kButtonAtom, L"Button", L"&Continuously", 0, 192, 134, 60, 14,
     kChild | BS_AUTOCHECKBOX | BS_PUSHLIKE | WS_TABSTOP},
    {IDC_SINGLE, kButtonAtom, L"Button", L"&Single", 0, 192, 153, 60, 14,
     kChild | BS_PUSHBUTTON | WS_TABSTOP},
    {IDCANCEL, kButtonAtom, L"Button", L"E&xit", 0, 192, 7, 60, 14,
     kChild | BS_PUSHBUTTON | WS_TABSTOP},
    {-1, kStaticAtom, L"Static", L"List update type", 0, 192, 121, 60, 8,
     kChild | SS_CENTER | WS_GROUP},
    {IDC_HINTS, kStaticAtom, L"Static", L"", 0, 7, 172, 245, 60,
     kChild | SS_LEFT | WS_BORDER | WS_GROUP},
    {-1, kStaticAtom, L"Static", L"Portlook\nv1.0.0.1\n\nPortlook team", 0, 192, 26, 60, 34,
     kChild | SS_CENTER | WS_BORDER | WS_GROUP},
    {IDC_STATUS_ICON, kStaticAtom, L"Static", nullptr, IDI_LAMP_OFF, 211, 101, 21, 20,
     // Centred, the icon leaves the control its size in dialog units at every DPI.
     kChild | SS_ICON | SS_CENTERIMAGE},
};

class MainDialogTemplate : public ::testing::Test {
protected:
    void SetUp() override {
        std::vector<BYTE> bytes = GermanResource(RT_DIALOG, IDD_MAIN);
        ASSERT_FALSE(bytes.empty()) << "no German dialog IDD_MAIN";
        ASSERT_TRUE(ParseDialogEx(bytes, &dialog_))
            << "IDD_MAIN is not a well-formed DLGTEMPLATEEX";
    }
    Dialog dialog_{};
};

TEST_F(MainDialogTemplate, FrameHasExactStylesAndGeometry) {
    EXPECT_EQ(dialog_.help_id, 0u);
    EXPECT_EQ(dialog_.style, static_cast<DWORD>(WS_POPUP | WS_VISIBLE | WS_CAPTION | WS_SYSMENU |
                                                DS_MODALFRAME | DS_SETFONT));
    EXPECT_EQ(dialog_.style & (DS_CENTER | WS_MINIMIZEBOX | WS_MAXIMIZEBOX), 0u);
    EXPECT_EQ(dialog_.ex_style, static_cast<DWORD>(WS_EX_APPWINDOW));
    EXPECT_EQ(dialog_.x, 0);
    EXPECT_EQ(dialog_.y, 0);
    EXPECT_EQ(dialog_.cx, 259);
    EXPECT_EQ(dialog_.cy, 239);
    EXPECT_FALSE(dialog_.menu.is_ordinal);
    EXPECT_TRUE(dialog_.menu.name.empty()) << "menu " << Describe(dialog_.menu);
    EXPECT_FALSE(dialog_.cls.is_ordinal);
    EXPECT_TRUE(dialog_.cls.name.empty()) << "class " << Describe(dialog_.cls);
    EXPECT_EQ(dialog_.title, L"Portlook");
}

TEST_F(MainDialogTemplate, UsesShellDialogFontAtEightPoints) {
    EXPECT_EQ(dialog_.typeface, L"MS Shell Dlg");
    EXPECT_EQ(dialog_.point_size, 8);
    EXPECT_TRUE(dialog_.weight == FW_DONTCARE || dialog_.weight == FW_NORMAL) << dialog_.weight;
    EXPECT_EQ(dialog_.italic, 0);
}

TEST_F(MainDialogTemplate, ControlsMatchInTabOrder) {
    const size_t expected_count = sizeof(kItems) / sizeof(kItems[0]);
    ASSERT_EQ(dialog_.items.size(), expected_count);
    for (size_t i = 0; i < expected_count; ++i) {
        const ExpectedItem& want = kItems[i];
        const DialogItem& got = dialog_.items[i];
        SCOPED_TRACE("control #" + std::to_string(i) + " (id " + std::to_string(want.id) + ")");
        EXPECT_EQ(got.id, static_cast<DWORD>(want.id));
        EXPECT_TRUE(IsClass(got.cls, want.atom, want.cls)) << "class " << Describe(got.cls);
        if (want.text != nullptr) {
            EXPECT_TRUE(IsText(got.title, want.text)) << "text " << Describe(got.title);
        } else {
            EXPECT_TRUE(got.title.is_ordinal) << "text " << Describe(got.title);
            EXPECT_EQ(got.title.ordinal, want.icon);
        }
        EXPECT_EQ(got.x, want.x);
        EXPECT_EQ(got.y, want.y);
        EXPECT_EQ(got.cx, want.cx);
        EXPECT_EQ(got.cy, want.cy);
        EXPECT_EQ(got.style, want.style)
            << std::hex << "got 0x" << got.style << " want 0x" << want.style;
        EXPECT_EQ(got.ex_style, 0u);
        EXPECT_EQ(got.help_id, 0u);
        EXPECT_EQ(got.extra_count, 0);
    }
}

// Enter must not press a button behind the user's back.
TEST_F(MainDialogTemplate, HasNoDefaultButton) {
    int buttons = 0;
    for (const DialogItem& it : dialog_.items) {
        if (!IsClass(it.cls, kButtonAtom, L"Button")) continue;
        ++buttons;
        EXPECT_NE(it.style & BS_TYPEMASK, static_cast<DWORD>(BS_DEFPUSHBUTTON))
            << "control " << it.id;
    }
    EXPECT_EQ(buttons, 3);
}

TEST_F(MainDialogTemplate, NoControlIsNamedScan) {
    for (const DialogItem& it : dialog_.items) {
        if (it.title.is_ordinal) continue;
        EXPECT_EQ(it.title.name.find(L"Scan"), std::wstring::npos) << Narrow(it.title.name);
    }
}

// ---------------------------------------------------------------------------
// Version resource

struct VersionNode {
    WORD value_length = 0;
    WORD type = 0;
    std::wstring key;
    std::vector<BYTE> value;
    std::vector<VersionNode> children;
};

// One VS_VERSIONINFO-style node (the same layout at every level).
bool ParseVersionNode(const std::vector<BYTE>& bytes, size_t start, VersionNode* node) {
    Reader r(bytes);
    r.Seek(start);
    WORD length = r.Word();
    node->value_length = r.Word();
    node->type = r.Word();
    node->key = r.Sz();
    r.Align4();
    if (!r.ok() || length < 6 || start + length > bytes.size()) return false;
    // Text values count in characters, binary ones in bytes.
    size_t value_bytes = node->type == 1 ? node->value_length * 2u : node->value_length;
    if (r.pos() + value_bytes > start + length) return false;
    node->value.assign(bytes.begin() + r.pos(), bytes.begin() + r.pos() + value_bytes);
    r.Seek(r.pos() + value_bytes);
    r.Align4();
    while (r.ok() && r.pos() < start + length) {
        VersionNode child;
        size_t child_start = r.pos();
        if (!ParseVersionNode(bytes, child_start, &child)) return false;
        Reader peek(bytes);
        peek.Seek(child_start);
        r.Seek(child_start + peek.Word());
        r.Align4();
        node->children.push_back(child);
    }
    return r.ok();
}

std::wstring TextValue(const VersionNode& node) {
    std::wstring s;
    for (size_t i = 0; i + 1 < node.value.size(); i += 2) {
        wchar_t c = static_cast<wchar_t>(node.value[i] | (node.value[i + 1] << 8));
        if (c == 0) break;
        s += c;
    }
    return s;
}

const std::map<std::wstring, std::wstring> kVersionStrings = {
    {L"Comments", L""},
    {L"CompanyName", L""},
    {L"FileDescription", L"Portlook"},
    {L"FileVersion", L"1.0.0.1"},
    {L"InternalName", L"Portlook"},
    {L"LegalCopyright", L"Copyright (C) 2026 Portlook team"},
    {L"LegalTrademarks", L""},
    {L"OriginalFilename", L"Portlook.EXE"},
    {L"PrivateBuild", L""},
    {L"ProductName", L"Portlook"},
    {L"ProductVersion", L"1.0.0.1"},
    {L"SpecialBuild", L""},
};

TEST(VersionResource, RawLayoutHasExactlyTheExpectedEntries) {
    std::vector<BYTE> bytes = GermanResource(RT_VERSION, VS_VERSION_INFO);
    ASSERT_FALSE(bytes.empty()) << "no German version resource";
    VersionNode root;
    ASSERT_TRUE(ParseVersionNode(bytes, 0, &root));
    EXPECT_EQ(root.key, L"VS_VERSION_INFO");
    EXPECT_EQ(root.value_length, sizeof(VS_FIXEDFILEINFO));
    ASSERT_EQ(root.children.size(), 2u);

    const VersionNode& sfi = root.children[0];
    EXPECT_EQ(sfi.key, L"StringFileInfo");
    ASSERT_EQ(sfi.children.size(), 1u);
    const VersionNode& table = sfi.children[0];
    EXPECT_EQ(table.key, L"040704b0");
    std::map<std::wstring, std::wstring> got;
    for (const VersionNode& entry : table.children) {
        EXPECT_EQ(entry.type, 1) << Narrow(entry.key) << " is not stored as text";
        EXPECT_TRUE(got.emplace(entry.key, TextValue(entry)).second) << Narrow(entry.key);
    }
    EXPECT_EQ(got, kVersionStrings);

    const VersionNode& vfi = root.children[1];
    EXPECT_EQ(vfi.key, L"VarFileInfo");
    ASSERT_EQ(vfi.children.size(), 1u);
    EXPECT_EQ(vfi.children[0].key, L"Translation");
    EXPECT_EQ(vfi.children[0].value, (std::vector<BYTE>{0x07, 0x04, 0xB0, 0x04}));
}

class VersionInfo : public ::testing::Test {
protected:
    void SetUp() override {
        char path[MAX_PATH];
        DWORD n = GetModuleFileNameA(nullptr, path, MAX_PATH);
        ASSERT_TRUE(n > 0 && n < MAX_PATH);
        DWORD handle = 0;
        DWORD size = GetFileVersionInfoSizeA(path, &handle);
        ASSERT_GT(size, 0u) << "GetFileVersionInfoSizeA failed: " << GetLastError();
        data_.resize(size);
        ASSERT_TRUE(GetFileVersionInfoA(path, 0, size, data_.data()));
    }

    // True if the entry exists; its text goes to *text.
    bool QueryString(const char* name, std::string* text) {
        std::string sub = std::string("\\StringFileInfo\\040704b0\\") + name;
        void* p = nullptr;
        UINT len = 0;
        if (!VerQueryValueA(data_.data(), sub.c_str(), &p, &len)) return false;
        *text = (p != nullptr && len > 0) ? std::string(static_cast<const char*>(p)) : "";
        return true;
    }

    std::vector<char> data_;
};

TEST_F(VersionInfo, FixedPart) {
    void* p = nullptr;
    UINT len = 0;
    ASSERT_TRUE(VerQueryValueA(data_.data(), "\\", &p, &len));
    ASSERT_EQ(len, sizeof(VS_FIXEDFILEINFO));
    VS_FIXEDFILEINFO fixed;
    std::memcpy(&fixed, p, sizeof fixed);
    EXPECT_EQ(fixed.dwSignature, 0xFEEF04BDu);
    EXPECT_EQ(fixed.dwFileVersionMS, 0x00010000u);
    EXPECT_EQ(fixed.dwFileVersionLS, 0x00000001u);
    EXPECT_EQ(fixed.dwProductVersionMS, 0x00010000u);
    EXPECT_EQ(fixed.dwProductVersionLS, 0x00000001u);
    EXPECT_EQ(fixed.dwFileFlagsMask, 0x3Fu);
    EXPECT_EQ(fixed.dwFileFlags, 0u);
    EXPECT_EQ(fixed.dwFileOS, static_cast<DWORD>(VOS__WINDOWS32));
    EXPECT_EQ(fixed.dwFileType, static_cast<DWORD>(VFT_APP));
    EXPECT_EQ(fixed.dwFileSubtype, 0u);
    EXPECT_EQ(fixed.dwFileDateMS, 0u);
    EXPECT_EQ(fixed.dwFileDateLS, 0u);
}

TEST_F(VersionInfo, TranslationIsGermanUnicode) {
    void* p = nullptr;
    UINT len = 0;
    ASSERT_TRUE(VerQueryValueA(data_.data(), "\\VarFileInfo\\Translation", &p, &len));
    ASSERT_EQ(len, 4u);
    WORD pair[2];
    std::memcpy(pair, p, sizeof pair);
    EXPECT_EQ(pair[0], 0x0407);
    EXPECT_EQ(pair[1], 1200);
}

TEST_F(VersionInfo, StringsAsTheVersionApiReturnsThem) {
    for (const auto& entry : kVersionStrings) {
        const std::string name = Narrow(entry.first);
        std::string text = "<unset>";
        EXPECT_TRUE(QueryString(name.c_str(), &text)) << name << " missing";
        EXPECT_EQ(text, Narrow(entry.second)) << name;
    }
    std::string text;
    EXPECT_FALSE(QueryString("NoSuchEntry", &text)) << "the query cannot tell absent from empty";
}

// ---------------------------------------------------------------------------
// String table

const char kHelpFailure[] = "Die Hilfe konnte nicht aufgerufen werden.";
const int kAppTitleString = 0xE000;

int StringBlock(int id) { return id / 16 + 1; }

TEST(StringTable, HelpFailureMessage) {
    char buf[256] = {};
    int n = LoadStringA(GetModuleHandleA(nullptr), AFX_IDP_FAILED_TO_LAUNCH_HELP, buf, sizeof buf);
    EXPECT_EQ(n, static_cast<int>(sizeof kHelpFailure - 1));
    EXPECT_STREQ(buf, kHelpFailure);
    EXPECT_EQ(AFX_IDP_FAILED_TO_LAUNCH_HELP, 61703);
}

// The hint text: five lines, the quotes around Scan and the file name real quote characters.
TEST(StringTable, HintTextHasItsFiveLinesAndQuotes) {
    char buf[1024] = {};
    const int n = LoadStringA(GetModuleHandleA(nullptr), IDS_HINTS, buf, sizeof buf);
    ASSERT_GT(n, 0);
    const std::string hints(buf, static_cast<size_t>(n));
    EXPECT_EQ(std::count(hints.begin(), hints.end(), '\n'), 4);
    EXPECT_EQ(hints.rfind("Important hints:\nUse the \"Scan\" function", 0), 0u) << hints;
    EXPECT_NE(hints.find("\n\nThis software (\"Portlook.exe\") is"), std::string::npos) << hints;
    EXPECT_EQ(hints.back(), '!');
}

// Without its own title string the framework names the program after its file.
TEST(StringTable, HasNoApplicationTitle) {
    char buf[256] = {};
    EXPECT_EQ(LoadStringA(GetModuleHandleA(nullptr), kAppTitleString, buf, sizeof buf), 0)
        << "found \"" << buf << "\"";
    EXPECT_EQ(FindResourceA(nullptr, MAKEINTRESOURCEA(StringBlock(kAppTitleString)), RT_STRING),
              nullptr);
}

// The block holding 61703 is German and carries nothing else.
TEST(StringTable, HelpFailureBlockHoldsOnlyThatString) {
    std::vector<BYTE> bytes = GermanResource(RT_STRING, StringBlock(AFX_IDP_FAILED_TO_LAUNCH_HELP));
    ASSERT_FALSE(bytes.empty());
    Reader r(bytes);
    for (int i = 0; i < 16; ++i) {
        WORD len = r.Word();
        std::wstring s;
        for (WORD k = 0; k < len; ++k) s += static_cast<wchar_t>(r.Word());
        ASSERT_TRUE(r.ok());
        if (i == AFX_IDP_FAILED_TO_LAUNCH_HELP % 16) {
            EXPECT_EQ(Narrow(s), kHelpFailure);
        } else {
            EXPECT_TRUE(s.empty())
                << "string " << (StringBlock(AFX_IDP_FAILED_TO_LAUNCH_HELP) - 1) * 16 + i;
        }
    }
}

// ---------------------------------------------------------------------------
// Icons

#pragma pack(push, 2)
struct GroupIconEntry {
    BYTE width, height, color_count, reserved;
    WORD planes, bit_count;
    DWORD bytes_in_res;
    WORD id;
};
#pragma pack(pop)
static_assert(sizeof(GroupIconEntry) == 14, "GRPICONDIRENTRY is 14 bytes");

struct IconImage {
    int size = 0;
    std::vector<bool> transparent;  // top-down, row by row
    std::vector<RGBQUAD> colour;    // top-down; meaningless where transparent
};

// Loads one RT_GROUP_ICON and its images, checking each image's header
// against its directory entry as it goes.
void LoadIconGroup(int group_id, std::vector<IconImage>* images) {
    std::vector<BYTE> group = GermanResource(RT_GROUP_ICON, group_id);
    ASSERT_GE(group.size(), 6u) << "no German icon group " << group_id;
    WORD reserved, type, count;
    std::memcpy(&reserved, &group[0], 2);
    std::memcpy(&type, &group[2], 2);
    std::memcpy(&count, &group[4], 2);
    EXPECT_EQ(reserved, 0);
    ASSERT_EQ(type, 1) << "not an icon directory";
    ASSERT_EQ(group.size(), 6u + count * sizeof(GroupIconEntry));
    for (WORD i = 0; i < count; ++i) {
        GroupIconEntry e;
        std::memcpy(&e, &group[6 + i * sizeof e], sizeof e);
        SCOPED_TRACE("group " + std::to_string(group_id) + " image " + std::to_string(e.id));
        EXPECT_EQ(e.width, e.height);
        EXPECT_EQ(e.color_count, 16);
        EXPECT_EQ(e.reserved, 0);
        EXPECT_EQ(e.planes, 1);
        EXPECT_EQ(e.bit_count, 4);

        std::vector<BYTE> image = GermanResource(RT_ICON, e.id);
        ASSERT_EQ(image.size(), e.bytes_in_res) << "no German image of that size";
        ASSERT_GE(image.size(), sizeof(BITMAPINFOHEADER));
        BITMAPINFOHEADER h;
        std::memcpy(&h, image.data(), sizeof h);
        EXPECT_EQ(h.biSize, sizeof h);
        EXPECT_EQ(h.biWidth, e.width);
        EXPECT_EQ(h.biHeight, 2 * e.height) << "colour bits and mask";
        EXPECT_EQ(h.biPlanes, 1);
        ASSERT_EQ(h.biBitCount, 4);
        ASSERT_EQ(h.biCompression, static_cast<DWORD>(BI_RGB));
        ASSERT_TRUE(h.biClrUsed == 0 || h.biClrUsed == 16);

        const int n = e.width;
        const size_t palette = h.biSize;
        const size_t xor_stride = ((n * 4 + 31) / 32) * 4;
        const size_t and_stride = ((n + 31) / 32) * 4;
        const size_t xor_bits = palette + 16 * sizeof(RGBQUAD);
        const size_t and_bits = xor_bits + xor_stride * n;
        ASSERT_EQ(image.size(), and_bits + and_stride * n);

        IconImage img;
        img.size = n;
        for (int y = 0; y < n; ++y) {
            const int row = n - 1 - y;  // bottom-up
            for (int x = 0; x < n; ++x) {
                BYTE mask = image[and_bits + row * and_stride + x / 8];
                BYTE pair = image[xor_bits + row * xor_stride + x / 2];
                int index = x % 2 == 0 ? pair >> 4 : pair & 0x0F;
                RGBQUAD c;
                std::memcpy(&c, &image[palette + index * sizeof c], sizeof c);
                img.transparent.push_back(((mask >> (7 - x % 8)) & 1) != 0);
                img.colour.push_back(c);
            }
        }
        images->push_back(img);
    }
}

int CountTransparent(const IconImage& img) {
    int n = 0;
    for (bool t : img.transparent) n += t;
    return n;
}

int CountOpaqueColour(const IconImage& img, BYTE r, BYTE g, BYTE b) {
    int n = 0;
    for (size_t i = 0; i < img.colour.size(); ++i) {
        const RGBQUAD& c = img.colour[i];
        n += !img.transparent[i] && c.rgbRed == r && c.rgbGreen == g && c.rgbBlue == b;
    }
    return n;
}

TEST(Icons, AppHasOpaque32And16Images) {
    std::vector<IconImage> images;
    ASSERT_NO_FATAL_FAILURE(LoadIconGroup(IDI_APP, &images));
    ASSERT_EQ(images.size(), 2u);
    std::set<int> sizes;
    for (const IconImage& img : images) {
        sizes.insert(img.size);
        EXPECT_EQ(CountTransparent(img), 0) << img.size << "x" << img.size;
        EXPECT_GT(CountOpaqueColour(img, 0x00, 0x00, 0x00), 0) << "no black lettering";
        EXPECT_GT(CountOpaqueColour(img, 0x00, 0xFF, 0xFF), 0) << "no cyan lens";
        EXPECT_GT(CountOpaqueColour(img, 0xFF, 0xFF, 0xFF), img.size * img.size / 2)
            << "not on white";
    }
    EXPECT_EQ(sizes, (std::set<int>{16, 32}));
}

TEST(Icons, LampsAreOneBulbLitAndUnlit) {
    std::vector<IconImage> on, off;
    ASSERT_NO_FATAL_FAILURE(LoadIconGroup(IDI_LAMP_ON, &on));
    ASSERT_NO_FATAL_FAILURE(LoadIconGroup(IDI_LAMP_OFF, &off));
    ASSERT_EQ(on.size(), 1u);
    ASSERT_EQ(off.size(), 1u);
    ASSERT_EQ(on[0].size, 32);
    ASSERT_EQ(off[0].size, 32);

    // Transparent backgrounds: the corners show through.
    for (const IconImage* img : {&on[0], &off[0]}) {
        EXPECT_GT(CountTransparent(*img), 32 * 32 / 2);
        EXPECT_TRUE(img->transparent.front());
        EXPECT_TRUE(img->transparent.back());
    }
    EXPECT_GT(CountOpaqueColour(on[0], 0xFF, 0xFF, 0x00), 0) << "the lit bulb is not yellow";
    EXPECT_EQ(CountOpaqueColour(off[0], 0xFF, 0xFF, 0x00), 0) << "the unlit bulb is yellow";
    EXPECT_GT(
        CountOpaqueColour(off[0], 0xC0, 0xC0, 0xC0) + CountOpaqueColour(off[0], 0x80, 0x80, 0x80),
        0)
        << "the unlit bulb is not grey";

    // Same bulb: every pixel of the unlit one is drawn in the lit one too,
    // which adds its rays around it.
    int only_unlit = 0, only_lit = 0;
    std::string first_only_unlit;
    for (size_t i = 0; i < on[0].transparent.size(); ++i) {
        if (on[0].transparent[i] && !off[0].transparent[i] && only_unlit++ == 0) {
            first_only_unlit = std::to_string(i % 32) + "," + std::to_string(i / 32);
        }
        only_lit += !on[0].transparent[i] && off[0].transparent[i];
    }
    EXPECT_EQ(only_unlit, 0) << "pixels drawn only in the unlit bulb, first at "
                             << first_only_unlit;
    EXPECT_GT(only_lit, 8) << "no rays";
}

// ---------------------------------------------------------------------------
// Application manifest

// What the manifest must declare, each as the element that says it.
const char* const kManifestDeclarations[] = {
    "name=\"Microsoft.Windows.Common-Controls\" version=\"6.0.0.0\"",
    "publicKeyToken=\"6595b64144ccf1df\"",
    "<requestedExecutionLevel level=\"asInvoker\" uiAccess=\"false\"/>",
    "<supportedOS Id=\"{35138b9a-5d96-4fbd-8e2d-a2440225f93a}\"/>",  // 7
    "<supportedOS Id=\"{4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38}\"/>",  // 8
    "<supportedOS Id=\"{1f676c76-80e1-4239-95bb-83d0f6d0da78}\"/>",  // 8.1
    "<supportedOS Id=\"{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}\"/>",  // 10 and 11
    "WindowsSettings\">true</dpiAware>",
    "WindowsSettings\">system</dpiAwareness>",
};

TEST(Manifest, DeclaresCommonControlsSixSystemDpiTheSystemsAndAsInvoker) {
    const std::vector<BYTE> bytes = GermanResource(RT_MANIFEST, CREATEPROCESS_MANIFEST_RESOURCE_ID);
    ASSERT_FALSE(bytes.empty()) << "no German manifest 1";
    const std::string text(bytes.begin(), bytes.end());
    for (const char* declaration : kManifestDeclarations) {
        EXPECT_NE(text.find(declaration), std::string::npos) << declaration;
    }
    EXPECT_EQ(text.find("PerMonitor"), std::string::npos) << "the window handles no DPI change";
    size_t systems = 0;
    for (size_t at = text.find("<supportedOS "); at != std::string::npos;
         at = text.find("<supportedOS ", at + 1)) {
        ++systems;
    }
    EXPECT_EQ(systems, 4u) << "Windows 7, 8, 8.1 and 10/11, nothing else";
}

// The process runs with what the manifest asks for: the common controls are the side-by-side
// version 6 (whose DllGetVersion Wine leaves at 5.80), and the process is DPI-aware.
TEST(Manifest, TakesEffect) {
    ::InitCommonControls();
    char path[MAX_PATH] = {};
    ASSERT_GT(::GetModuleFileNameA(::GetModuleHandleA("comctl32.dll"), path, MAX_PATH), 0u);
    EXPECT_NE(std::string(path).find("common-controls_6595b64144ccf1df_6.0."), std::string::npos)
        << path;
    EXPECT_TRUE(::IsProcessDPIAware());
}

// ---------------------------------------------------------------------------
// Languages and completeness

using ResourceKey = std::pair<std::string, std::string>;  // type, name

std::string IdString(LPCSTR id) {
    return IS_INTRESOURCE(id) ? "#" + std::to_string(reinterpret_cast<ULONG_PTR>(id))
                              : std::string(id);
}

// The languages of each resource.
using Inventory = std::map<ResourceKey, std::vector<WORD>>;

BOOL CALLBACK OnLanguage(HMODULE, LPCSTR type, LPCSTR name, WORD lang, LONG_PTR param) {
    (*reinterpret_cast<Inventory*>(param))[{IdString(type), IdString(name)}].push_back(lang);
    return TRUE;
}

BOOL CALLBACK OnName(HMODULE module, LPCSTR type, LPSTR name, LONG_PTR param) {
    EnumResourceLanguagesA(module, type, name, OnLanguage, param);
    return TRUE;
}

BOOL CALLBACK OnType(HMODULE module, LPSTR type, LONG_PTR param) {
    EnumResourceNamesA(module, type, OnName, param);
    return TRUE;
}

// Every resource this module carries.
Inventory ModuleInventory() {
    Inventory inventory;
    EnumResourceTypesA(nullptr, OnType, reinterpret_cast<LONG_PTR>(&inventory));
    return inventory;
}

TEST(Languages, EveryResourceIsGermanOnly) {
    const Inventory inventory = ModuleInventory();
    ASSERT_FALSE(inventory.empty());
    for (const auto& entry : inventory) {
        EXPECT_EQ(entry.second, std::vector<WORD>{kGerman})
            << "type " << entry.first.first << " name " << entry.first.second;
    }
}

// Nothing else rides along, such as a second manifest the toolchain links in.
TEST(Languages, ModuleCarriesExactlyTheProgramsResources) {
    std::map<std::string, std::set<std::string>> names;
    for (const auto& entry : ModuleInventory()) names[entry.first.first].insert(entry.first.second);

    const std::string icon = IdString(RT_ICON), group = IdString(RT_GROUP_ICON);
    const std::string dialog = IdString(RT_DIALOG), strings = IdString(RT_STRING);
    const std::string version = IdString(RT_VERSION), manifest = IdString(RT_MANIFEST);
    std::set<std::string> types;
    for (const auto& t : names) types.insert(t.first);
    EXPECT_EQ(types, (std::set<std::string>{icon, group, dialog, strings, version, manifest}));
    EXPECT_EQ(names[manifest], std::set<std::string>{"#1"});
    EXPECT_EQ(names[group], (std::set<std::string>{"#128", "#129", "#130"}));
    EXPECT_EQ(names[dialog], std::set<std::string>{"#102"});
    EXPECT_EQ(names[strings],
              (std::set<std::string>{"#" + std::to_string(StringBlock(IDS_HINTS)), "#3857"}));
    EXPECT_EQ(names[version], std::set<std::string>{"#1"});
    EXPECT_EQ(names[icon].size(), 4u) << "one image per group entry";
}

}  // namespace
