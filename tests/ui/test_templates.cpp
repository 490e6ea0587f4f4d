#include <windows.h>
#include <string.h>
#include <string>
#include <vector>

#include "resource.h"
#include "version.h"
#include "../support/test.h"

// Reads the compiled templates, icon group and manifest of this program,
// which links the same resource script as the exe.

struct Control {
    DWORD style;
    short x, y, cx, cy;
    int id;
    std::wstring windowClass, text;
    DWORD helpId, exStyle;
    WORD extraCount;
};

struct Dialog {
    WORD version, signature;
    DWORD helpId, exStyle, style;
    short x, y, cx, cy;
    std::wstring menu, windowClass, caption, font;
    WORD pointSize, weight;
    BYTE italic, charset;
    std::vector<Control> controls;
};

static const WORD *Align(const WORD *p)
{
    return (const WORD *)(((ULONG_PTR)p + 3) & ~(ULONG_PTR)3);
}

// A name or an ordinal; the predefined class ordinals are given their names.
static std::wstring ReadNameOrOrdinal(const WORD *&p)
{
    if (*p == 0xFFFF) {
        WORD ordinal = p[1];
        p += 2;
        static const wchar_t *const classes[] = {L"Button", L"Edit", L"Static", L"ListBox", L"ScrollBar", L"ComboBox"};
        if (ordinal >= 0x80 && ordinal < 0x86)
            return classes[ordinal - 0x80];
        return L"#" + std::to_wstring(ordinal);
    }
    std::wstring text((const wchar_t *)p);
    p += text.size() + 1;
    return text;
}

static Dialog LoadDialog(int id)
{
    Dialog dialog = {};
    HRSRC resource = FindResourceW(NULL, MAKEINTRESOURCEW(id), (LPCWSTR)RT_DIALOG);
    ok(resource != NULL, "dialog %d not found", id);
    if (!resource)
        return dialog;
    const WORD *p = (const WORD *)LockResource(LoadResource(NULL, resource));
    dialog.version = p[0];
    dialog.signature = p[1];
    const DWORD *d = (const DWORD *)(p + 2);
    dialog.helpId = d[0];
    dialog.exStyle = d[1];
    dialog.style = d[2];
    p = (const WORD *)(d + 3);
    WORD count = *p++;
    dialog.x = (short)*p++;
    dialog.y = (short)*p++;
    dialog.cx = (short)*p++;
    dialog.cy = (short)*p++;
    dialog.menu = ReadNameOrOrdinal(p);
    dialog.windowClass = ReadNameOrOrdinal(p);
    dialog.caption = ReadNameOrOrdinal(p);
    dialog.pointSize = *p++;
    dialog.weight = *p++;
    dialog.italic = LOBYTE(*p);
    dialog.charset = HIBYTE(*p++);
    dialog.font = ReadNameOrOrdinal(p);
    for (WORD i = 0; i < count; i++) {
        Control control = {};
        p = Align(p);
        d = (const DWORD *)p;
        control.helpId = d[0];
        control.exStyle = d[1];
        control.style = d[2];
        p = (const WORD *)(d + 3);
        control.x = (short)*p++;
        control.y = (short)*p++;
        control.cx = (short)*p++;
        control.cy = (short)*p++;
        control.id = (int)*(const DWORD *)p;
        p += 2;
        control.windowClass = ReadNameOrOrdinal(p);
        control.text = ReadNameOrOrdinal(p);
        control.extraCount = *p++;
        p = (const WORD *)((const BYTE *)p + control.extraCount);
        dialog.controls.push_back(control);
    }
    return dialog;
}

struct ExpectedDialog {
    int id;
    DWORD style;
    short x, y, cx, cy;
    const wchar_t *caption;
};

struct ExpectedControl {
    int id;
    const wchar_t *windowClass;
    const wchar_t *text;
    DWORD style;
    short x, y, cx, cy;
};

static void CheckDialog(const ExpectedDialog &expected, const ExpectedControl *controls, unsigned count)
{
    Dialog got = LoadDialog(expected.id);
    int id = expected.id;
    ok(got.version == 1 && got.signature == 0xFFFF, "%d: not DLGTEMPLATEEX version 1: %u %#x", id, got.version,
       got.signature);
    ok(got.style == expected.style, "%d: style %#lx, expected %#lx", id, got.style, expected.style);
    ok(got.exStyle == 0 && got.helpId == 0, "%d: extended style %#lx help id %lu", id, got.exStyle, got.helpId);
    ok(got.x == expected.x && got.y == expected.y && got.cx == expected.cx && got.cy == expected.cy,
       "%d: at %d,%d size %d x %d", id, got.x, got.y, got.cx, got.cy);
    ok(got.menu.empty() && got.windowClass.empty(), "%d: menu '%ls' class '%ls'", id, got.menu.c_str(),
       got.windowClass.c_str());
    ok(got.caption == expected.caption, "%d: caption '%ls'", id, got.caption.c_str());
    ok(got.font == L"MS Shell Dlg" && got.pointSize == 8 && got.weight == 400 && got.italic == 0 && got.charset == 1,
       "%d: font '%ls' %u pt weight %u italic %u charset %u", id, got.font.c_str(), got.pointSize, got.weight,
       got.italic, got.charset);
    ok(got.controls.size() == count, "%d: %u controls, expected %u", id, (unsigned)got.controls.size(), count);
    for (unsigned i = 0; i < count && i < got.controls.size(); i++) {
        const Control &c = got.controls[i];
        const ExpectedControl &e = controls[i];
        ok(c.id == e.id, "%d, control %u: id %d, expected %d", id, i, c.id, e.id);
        // Window class names are case-insensitive; windres stores them upper-cased.
        ok(!_wcsicmp(c.windowClass.c_str(), e.windowClass), "%d, control %u: class '%ls', expected '%ls'", id, i,
           c.windowClass.c_str(), e.windowClass);
        ok(c.text == e.text, "%d, control %u: text '%ls', expected '%ls'", id, i, c.text.c_str(), e.text);
        ok(c.style == e.style, "%d, control %u: style %#lx, expected %#lx", id, i, c.style, e.style);
        ok(c.x == e.x && c.y == e.y && c.cx == e.cx && c.cy == e.cy, "%d, control %u: at %d,%d size %d x %d", id, i,
           c.x, c.y, c.cx, c.cy);
        ok(c.exStyle == 0 && c.helpId == 0 && c.extraCount == 0, "%d, control %u: ex style %#lx help %lu extra %u",
           id, i, c.exStyle, c.helpId, c.extraCount);
    }
}

static void test_progress_template()
{
    static const ExpectedControl controls[] = {
        {IDCANCEL, L"Button", L"Stop", 0x50010000, 233, 33, 50, 14},
        {IDC_PROGRESS, L"msctls_progress32", L"", 0x50800000, 94, 17, 189, 11},
        {IDC_STEP_MEMORY, L"Button", L"Initializing memory", 0x58000009, 7, 7, 75, 10},
        {IDC_STEP_FILES, L"Button", L"Reading files", 0x58000009, 7, 19, 57, 10},
        {IDC_STEP_LAUNCH, L"Button", L"Launching the game", 0x58000009, 7, 32, 80, 10},
    };
    CheckDialog({IDD_PROGRESS, 0x10CA00C8, 5, 0, 290, 54, L"Dungeons & Dragons Online - Durid odaro"}, controls,
                ARRAYSIZE(controls));
}

static void test_error_template()
{
    static const ExpectedControl controls[] = {
        {IDCANCEL, L"Button", L"Exit", 0x50010001, 125, 104, 50, 14},
        {IDC_STATIC, L"Static", L"The preloader has encountered a trouble:", 0x50020000, 7, 7, 135, 8},
        {IDC_MESSAGE, L"Edit", L"", 0x50810884, 7, 18, 168, 27},
        {IDC_STATIC, L"Static",
         L"Always check, whether you are executing the preloader from the DDO's root folder.\r\n\r\n"
         L"You also need at least 2GB physical memory installed",
         0x50020000, 7, 50, 168, 40},
        {IDOK, L"Button", L"Ignore", 0x58010000, 7, 104, 50, 14},
    };
    CheckDialog({IDD_ERROR, 0x80C800C8, 50, 50, 182, 125, L"Error"}, controls, ARRAYSIZE(controls));
}

#pragma pack(push, 2)
struct IconGroupEntry {
    BYTE width, height, colorCount, reserved;
    WORD planes, bitCount;
    DWORD bytesInRes;
    WORD id;
};
#pragma pack(pop)

static void test_icon_group()
{
    static const struct {
        int size, bits;
    } expected[] = {{16, 4}, {32, 4}, {16, 8}, {32, 8}, {48, 8}, {16, 32}, {32, 32}, {48, 32}, {64, 32}, {256, 32}};
    HRSRC resource = FindResourceW(NULL, MAKEINTRESOURCEW(IDI_APP), (LPCWSTR)RT_GROUP_ICON);
    ok(resource != NULL, "icon group %d not found", IDI_APP);
    if (!resource)
        return;
    const WORD *header = (const WORD *)LockResource(LoadResource(NULL, resource));
    ok(header[0] == 0 && header[1] == 1, "not an icon group: %u %u", header[0], header[1]);
    ok(header[2] == ARRAYSIZE(expected), "%u images, expected %u", header[2], (unsigned)ARRAYSIZE(expected));
    const IconGroupEntry *entries = (const IconGroupEntry *)(header + 3);
    bool found[ARRAYSIZE(expected)] = {};
    for (WORD i = 0; i < header[2]; i++) {
        int size = entries[i].width ? entries[i].width : 256;
        bool known = false;
        for (unsigned k = 0; k < ARRAYSIZE(expected); k++) {
            if (expected[k].size == size && expected[k].bits == entries[i].bitCount && !found[k])
                found[k] = known = true;
        }
        ok(known && entries[i].height == entries[i].width, "image %u: %u x %u at %u bits not expected", i,
           entries[i].width, entries[i].height, entries[i].bitCount);
        HRSRC image = FindResourceW(NULL, MAKEINTRESOURCEW(entries[i].id), (LPCWSTR)RT_ICON);
        const BYTE *bytes = image ? (const BYTE *)LockResource(LoadResource(NULL, image)) : NULL;
        bool png = bytes && !memcmp(bytes, "\x89PNG", 4);
        ok(bytes != NULL, "image %u: icon %u missing", i, entries[i].id);
        ok(png == (size == 256), "image %u (%d px): stored as %s", i, size, png ? "PNG" : "bitmap");
    }
}

static void test_manifest()
{
    HRSRC resource = FindResourceW(NULL, MAKEINTRESOURCEW(1), (LPCWSTR)RT_MANIFEST);
    ok(resource != NULL, "manifest 1 not found");
    if (!resource)
        return;
    std::string text((const char *)LockResource(LoadResource(NULL, resource)), SizeofResource(NULL, resource));
    static const char *const parts[] = {
        "level=\"asInvoker\"", "uiAccess=\"false\"", "name=\"Microsoft.Windows.Common-Controls\"",
        "version=\"6.0.0.0\"", "type=\"win32\"", "processorArchitecture=\"x86\"",
        "publicKeyToken=\"6595b64144ccf1df\"", "language=\"*\"",
    };
    for (const char *part : parts)
        ok(text.find(part) != std::string::npos, "manifest lacks %s", part);
}

// What Windows shows in the file's properties.
static std::wstring VersionString(const void *info, const wchar_t *name)
{
    wchar_t path[64];
    wsprintfW(path, L"\\StringFileInfo\\040904B0\\%s", name);
    wchar_t *value = NULL;
    UINT length = 0;
    if (!VerQueryValueW(info, path, (void **)&value, &length) || !value)
        return L"(none)";
    return value;
}

static void test_version()
{
    wchar_t self[MAX_PATH];
    GetModuleFileNameW(NULL, self, MAX_PATH);
    DWORD size = GetFileVersionInfoSizeW(self, NULL);
    ok(size > 0, "no version resource");
    if (!size)
        return;
    std::vector<BYTE> info(size);
    GetFileVersionInfoW(self, 0, size, info.data());
    VS_FIXEDFILEINFO *fixed = NULL;
    UINT length = 0;
    VerQueryValueW(info.data(), L"\\", (void **)&fixed, &length);
    ok(fixed && fixed->dwFileVersionMS == MAKELONG(PRELOADER_VERSION_MINOR, PRELOADER_VERSION_MAJOR) &&
           fixed->dwFileVersionLS == MAKELONG(0, PRELOADER_VERSION_PATCH) && fixed->dwProductVersionMS == fixed->dwFileVersionMS,
       "fixed file or product version differs from %s", PRELOADER_VERSION_TEXT);
    std::wstring version(PRELOADER_VERSION_TEXT, PRELOADER_VERSION_TEXT + strlen(PRELOADER_VERSION_TEXT));
    static const struct {
        const wchar_t *name;
        std::wstring expected;
    } strings[] = {
        {L"FileVersion", version},
        {L"ProductVersion", version},
        {L"ProductName", L"preloader"},
        {L"OriginalFilename", L"preloader.exe"},
        {L"CompanyName", L"(none)"},
    };
    for (const auto &string : strings) {
        std::wstring got = VersionString(info.data(), string.name);
        ok(got == string.expected, "%ls: '%ls', expected '%ls'", string.name, got.c_str(), string.expected.c_str());
    }
    ok(VersionString(info.data(), L"FileDescription").size() > 20, "no plain description");
}

int main(int argc, char **argv)
{
    static const TestCase tests[] = {
        {"progress_template", test_progress_template},
        {"error_template", test_error_template},
        {"icon_group", test_icon_group},
        {"manifest", test_manifest},
        {"version", test_version},
    };
    return RUN_TESTS(argc, argv, tests);
}
