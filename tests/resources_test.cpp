// The resources as the resource compiler wrote them into pinnit.exe.
#include <gtest/gtest.h>

#include <windows.h>
#include <shellapi.h>

#include <cstring>
#include <string>

#include "peimage.h"
#include "res/resource.h"

namespace {

// A cursor over little-endian resource data, as dialog and menu templates are laid out.
struct Reader
{
    const std::vector<unsigned char> &bytes;
    size_t at = 0;

    unsigned Word()
    {
        unsigned value = at + 2 <= bytes.size() ? bytes[at] | bytes[at + 1] << 8 : 0xDEAD;
        at += 2;
        return value;
    }
    unsigned long Dword() { unsigned lo = Word(); return lo | (unsigned long)Word() << 16; }
    void AlignDword() { at = (at + 3) & ~size_t(3); }
    std::wstring Text()
    {
        std::wstring text;
        for (unsigned c; (c = Word()) != 0 && c != 0xDEAD;)
            text += wchar_t(c);
        return text;
    }
    // An ordinal (0xFFFF then a number) reads as "#number"; 0 alone reads as "".
    std::wstring TextOrOrdinal()
    {
        if (at + 2 <= bytes.size() && bytes[at] == 0xFF && bytes[at + 1] == 0xFF)
        {
            Word();
            return L"#" + std::to_wstring(Word());
        }
        return Text();
    }
};

struct Control
{
    unsigned long helpId, exStyle, style;
    int x, y, cx, cy;
    long id;
    std::wstring cls, text;
    unsigned extra;
    bool operator==(const Control &o) const
    {
        return helpId == o.helpId && exStyle == o.exStyle && style == o.style && x == o.x &&
               y == o.y && cx == o.cx && cy == o.cy && id == o.id && cls == o.cls &&
               text == o.text && extra == o.extra;
    }
};

struct Dialog
{
    unsigned version, signature;
    unsigned long helpId, exStyle, style;
    int x, y, cx, cy;
    std::wstring menu, cls, caption;
    unsigned pointSize, weight, italic, charset;
    std::wstring face;
    std::vector<Control> controls;
};

std::ostream &operator<<(std::ostream &out, const Control &c)
{
    return out << "{id " << c.id << ", style 0x" << std::hex << c.style << ", ex 0x" << c.exStyle
               << std::dec << ", " << c.x << "," << c.y << " " << c.cx << "x" << c.cy
               << ", class " << std::string(c.cls.begin(), c.cls.end()) << ", help " << c.helpId
               << ", extra " << c.extra << "}";
}

Dialog ParseDialogEx(const std::vector<unsigned char> &bytes)
{
    Reader r{bytes};
    Dialog d;
    // DLGTEMPLATEEX as it is laid out: a line a group of fields.
    d.version = r.Word(), d.signature = r.Word();
    d.helpId = r.Dword(), d.exStyle = r.Dword(), d.style = r.Dword();
    unsigned count = r.Word();
    d.x = short(r.Word()); d.y = short(r.Word()); d.cx = short(r.Word()); d.cy = short(r.Word());
    d.menu = r.TextOrOrdinal(), d.cls = r.TextOrOrdinal(), d.caption = r.Text();
    d.pointSize = r.Word(), d.weight = r.Word();
    unsigned italicCharset = r.Word();
    d.italic = italicCharset & 0xFF;
    d.charset = italicCharset >> 8;
    d.face = r.Text();
    for (unsigned i = 0; i < count && r.at < bytes.size(); i++)
    {
        r.AlignDword();
        Control c;
        c.helpId = r.Dword();
        c.exStyle = r.Dword();
        c.style = r.Dword();
        c.x = short(r.Word()); c.y = short(r.Word()); c.cx = short(r.Word()); c.cy = short(r.Word());
        c.id = long(r.Dword());
        c.cls = r.TextOrOrdinal();
        c.text = r.TextOrOrdinal();
        c.extra = r.Word();
        r.at += c.extra;
        d.controls.push_back(c);
    }
    return d;
}

const std::vector<PeResource> &Resources()
{
    static const std::vector<PeResource> resources = ReadPeResources(ExecutableBeside("pinnit.exe"));
    return resources;
}

const PeResource *Find(unsigned type, unsigned name)
{
    for (const PeResource &r : Resources())
        if (r.type == type && r.name == name)
            return &r;
    return nullptr;
}

const unsigned long DIALOG_STYLE =
    WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME | DS_CENTER | DS_SETFONT | DS_FIXEDSYS;
const unsigned long STATIC_TEXT = WS_CHILD | WS_VISIBLE | WS_GROUP | SS_LEFT;

} // namespace

TEST(Resources, EntriesHaveTheirLanguagesAndCodePage)
{
    struct Expected { unsigned type, name, language; } const expected[] = {
        {3 /* RT_ICON */, 1, 0x1409},
        {4 /* RT_MENU */, IDR_TRAYMENU, 0x1409},
        {5 /* RT_DIALOG */, IDD_WINDOWLIST, 0x1409},
        {5 /* RT_DIALOG */, IDD_ABOUT, 0x1409},
        {14 /* RT_GROUP_ICON */, IDI_APP, 0x1409},
        {24 /* RT_MANIFEST */, 1, 0x0409},
    };
    ASSERT_EQ(std::size(expected), Resources().size()) << "no version, string table or other extra resource";
    for (size_t i = 0; i < std::size(expected); i++)
    {
        const PeResource &r = Resources()[i];
        SCOPED_TRACE("resource type " + std::to_string(r.type) + " name " + std::to_string(r.name));
        EXPECT_EQ(expected[i].type, r.type);
        EXPECT_EQ(expected[i].name, r.name);
        EXPECT_EQ(expected[i].language, r.language);
        EXPECT_EQ(1252u, r.codepage);
    }
}

TEST(Resources, IconIsOne32x32SixteenColourImage)
{
    const PeResource *group = Find(14, IDI_APP);
    ASSERT_NE(nullptr, group);
    Reader r{group->data};
    EXPECT_EQ(0u, r.Word());
    EXPECT_EQ(1u, r.Word()) << "type icon";
    ASSERT_EQ(1u, r.Word()) << "image count";
    EXPECT_EQ(32u, group->data[6]) << "width";
    EXPECT_EQ(32u, group->data[7]) << "height";
    EXPECT_EQ(16u, group->data[8]) << "colours";
    r.at = 12;
    EXPECT_EQ(4u, r.Word()) << "bits per pixel";
}

TEST(Resources, TrayMenuIsExitSeparatorAbout)
{
    const PeResource *menu = Find(4, IDR_TRAYMENU);
    ASSERT_NE(nullptr, menu);
    Reader r{menu->data};
    EXPECT_EQ(0u, r.Word()) << "ordinary menu template";
    EXPECT_EQ(0u, r.Word());
    EXPECT_EQ(unsigned(MF_POPUP | MF_END), r.Word());
    EXPECT_EQ(L"main", r.Text());

    struct Item { unsigned flags, id; std::wstring text; } const items[] = {
        {0, IDM_EXIT, L"&Exit"},
        {0, 0, L""},
        {MF_END, IDM_ABOUT, L"&About"},
    };
    for (const Item &item : items)
    {
        SCOPED_TRACE(std::string(item.text.begin(), item.text.end()));
        EXPECT_EQ(item.flags, r.Word());
        EXPECT_EQ(item.id, r.Word());
        EXPECT_EQ(item.text, r.Text());
    }
    EXPECT_EQ(menu->data.size(), r.at) << "nothing after the last item";
}

TEST(Resources, DialogTemplatesFieldByField)
{
    struct Expected
    {
        unsigned name;
        unsigned long exStyle;
        int cx, cy;
        std::wstring caption;
        std::vector<Control> controls;
    } const dialogs[] = {
        {IDD_WINDOWLIST, WS_EX_TOOLWINDOW, 155, 169, L"pinnit",
         {{0, 0,
           WS_CHILD | WS_VISIBLE | WS_BORDER | WS_VSCROLL | WS_TABSTOP | LBS_NOTIFY | LBS_SORT |
               LBS_NOINTEGRALHEIGHT,
           7, 7, 141, 155, IDC_WINDOWLIST, L"#131", L"", 0}}},
        {IDD_ABOUT, 0, 185, 74, L"About",
         {{0, 0, WS_CHILD | WS_VISIBLE | SS_ICON, 7, 7, 20, 20, IDC_ABOUT_ICON, L"#130", L"#102", 0},
          {0, 0, STATIC_TEXT, 36, 7, 104, 29, -1, L"#130", L"", 0},
          {0, 0, STATIC_TEXT, 36, 50, 88, 8, IDC_WEB_LINK, L"#130", L"", 0},
          {0, 0, STATIC_TEXT, 36, 39, 62, 8, IDC_EMAIL_LINK, L"#130", L"", 0}}},
    };
    for (const Expected &e : dialogs)
    {
        SCOPED_TRACE("dialog " + std::to_string(e.name));
        const PeResource *res = Find(5, e.name);
        ASSERT_NE(nullptr, res);
        Dialog d = ParseDialogEx(res->data);
        EXPECT_EQ(1u, d.version);
        EXPECT_EQ(0xFFFFu, d.signature);
        EXPECT_EQ(0u, d.helpId);
        EXPECT_EQ(e.exStyle, d.exStyle);
        EXPECT_EQ(DIALOG_STYLE, d.style) << "hidden until shown: no WS_VISIBLE";
        EXPECT_EQ(0, d.x);
        EXPECT_EQ(0, d.y);
        EXPECT_EQ(e.cx, d.cx);
        EXPECT_EQ(e.cy, d.cy);
        EXPECT_EQ(L"", d.menu);
        EXPECT_EQ(L"", d.cls);
        EXPECT_EQ(e.caption, d.caption);
        EXPECT_EQ(8u, d.pointSize);
        EXPECT_EQ(400u, d.weight);
        EXPECT_EQ(0u, d.italic);
        EXPECT_EQ(1u, d.charset);
        EXPECT_EQ(L"MS Shell Dlg", d.face);
        ASSERT_EQ(e.controls.size(), d.controls.size());
        for (size_t i = 0; i < e.controls.size(); i++)
        {
            Control actual = d.controls[i];
            // The static texts are checked on their own below and by the About box tests.
            if (actual.cls == L"#130" && actual.id != IDC_ABOUT_ICON)
                actual.text.clear();
            EXPECT_EQ(e.controls[i], actual) << "control " << i;
        }
    }
}

TEST(Resources, AboutTextIsVersionBlankLineAndNotice)
{
    const PeResource *res = Find(5, IDD_ABOUT);
    ASSERT_NE(nullptr, res);
    std::wstring text = ParseDialogEx(res->data).controls.at(1).text;
    const std::wstring head = L"pinnit - v1.0\n\n";
    ASSERT_EQ(head, text.substr(0, head.size()));
    std::wstring notice = text.substr(head.size());
    ASSERT_GE(notice.size(), 2u) << "a notice follows the blank line";
    EXPECT_EQ(L'\n', notice.back());
    EXPECT_EQ(std::wstring::npos, notice.substr(0, notice.size() - 1).find(L'\n')) << "one line";
}

TEST(Resources, ManifestIsTheBareAssemblyElement)
{
    const PeResource *manifest = Find(24, 1);
    ASSERT_NE(nullptr, manifest);
    const char expected[] =
        "<assembly xmlns=\"urn:schemas-microsoft-com:asm.v1\" manifestVersion=\"1.0\">\r\n</assembly>";
    ASSERT_EQ(86u, sizeof expected - 1);
    EXPECT_EQ(std::string(expected), std::string(manifest->data.begin(), manifest->data.end()));
}

// The executable stays a tiny 32-bit GUI program that needs nothing but the system's own DLLs.
TEST(Footprint, ExecutableIsUnder16KBAndImportsOnlySystemDlls)
{
    const std::string exe = ExecutableBeside("pinnit.exe");
    DWORD type = 0, peGui = SHGetFileInfoA(exe.c_str(), 0, NULL, 0, SHGFI_EXETYPE);
    EXPECT_TRUE(GetBinaryTypeA(exe.c_str(), &type) && type == SCS_32BIT_BINARY) << "PE32 for i386";
    EXPECT_TRUE(LOWORD(peGui) == 0x4550 && HIWORD(peGui) != 0) << "PE, GUI subsystem";
    WIN32_FILE_ATTRIBUTE_DATA info;
    ASSERT_TRUE(GetFileAttributesExA(exe.c_str(), GetFileExInfoStandard, &info));
    EXPECT_LT(info.nFileSizeLow, 16u * 1024) << "pinnit.exe is " << info.nFileSizeLow << " bytes";

    const char *const system[] = {"KERNEL32.dll", "USER32.dll", "GDI32.dll", "SHELL32.dll"};
    std::vector<std::string> imports = ReadPeImports(exe);
    ASSERT_FALSE(imports.empty());
    for (const std::string &dll : imports)
    {
        bool known = false;
        for (const char *name : system)
            known = known || lstrcmpiA(dll.c_str(), name) == 0;
        EXPECT_TRUE(known) << "pinnit.exe imports " << dll;
    }
}
