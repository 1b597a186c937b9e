// The three dialog templates as the resource compiler built them into this program, read
// back from the resource data and compared with the layout each dialog is drawn to.
#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>

#include <string>
#include <vector>

#include "ui/add_port_dialog_ids.h"
#include "ui/lpt_dialog_ids.h"
#include "ui/main_dialog_ids.h"

namespace {

struct Control {
    DWORD id;
    std::wstring className;
    DWORD style;
    short x, y, width, height;
    std::wstring text;
};

struct Dialog {
    DWORD style;
    short x, y, width, height;
    std::wstring title;
    WORD pointSize;
    std::wstring font;
    std::vector<Control> controls;
};

// Reads a DLGTEMPLATEEX. Sizes are not checked against the resource's: the data comes from
// the resource compiler of this build.
class TemplateReader {
public:
    explicit TemplateReader(const BYTE* data) : at_(data) {}

    bool Read(Dialog* dialog)
    {
        if (Word() != 1 || Word() != 0xFFFF)
            return false;
        Dword(); // help id
        Dword(); // extended style
        dialog->style = Dword();
        const WORD count = Word();
        ReadPlace(&dialog->x, &dialog->y, &dialog->width, &dialog->height);
        if (!NameOrOrdinal().empty() || !NameOrOrdinal().empty()) // menu, window class
            return false;
        dialog->title = NameOrOrdinal();
        if (dialog->style & DS_SETFONT) {
            dialog->pointSize = Word();
            Word(); // weight
            at_ += 2; // italic, character set
            dialog->font = NameOrOrdinal();
        }
        for (WORD i = 0; i < count; ++i) {
            AlignToDword();
            Control control;
            Dword(); // help id
            Dword(); // extended style
            control.style = Dword();
            ReadPlace(&control.x, &control.y, &control.width, &control.height);
            control.id = Dword();
            control.className = NameOrOrdinal();
            control.text = NameOrOrdinal();
            at_ += Word(); // creation data
            dialog->controls.push_back(control);
        }
        return true;
    }

private:
    WORD Word()
    {
        WORD value;
        memcpy(&value, at_, sizeof(value));
        at_ += sizeof(value);
        return value;
    }
    DWORD Dword()
    {
        DWORD value;
        memcpy(&value, at_, sizeof(value));
        at_ += sizeof(value);
        return value;
    }
    void ReadPlace(short* x, short* y, short* width, short* height)
    {
        *x = static_cast<short>(Word());
        *y = static_cast<short>(Word());
        *width = static_cast<short>(Word());
        *height = static_cast<short>(Word());
    }
    // A text, or a predefined class's atom by the name the system gives it.
    std::wstring NameOrOrdinal()
    {
        WORD first = Word();
        if (first == 0xFFFF) {
            switch (Word()) {
            case 0x0080:
                return L"Button";
            case 0x0081:
                return L"Edit";
            case 0x0082:
                return L"Static";
            case 0x0085:
                return L"ComboBox";
            default:
                return L"?";
            }
        }
        std::wstring text;
        for (; first != 0; first = Word())
            text.push_back(static_cast<wchar_t>(first));
        return text;
    }
    void AlignToDword()
    {
        const uintptr_t offset = reinterpret_cast<uintptr_t>(at_) % 4;
        if (offset)
            at_ += 4 - offset;
    }

    const BYTE* at_;
};

bool LoadDialog(int id, Dialog* dialog)
{
    HMODULE module = GetModuleHandleW(nullptr);
    HRSRC found = FindResourceW(module, MAKEINTRESOURCEW(id), MAKEINTRESOURCEW(5)); // RT_DIALOG
    HGLOBAL loaded = found ? LoadResource(module, found) : nullptr;
    const BYTE* data = loaded ? static_cast<const BYTE*>(LockResource(loaded)) : nullptr;
    return data && TemplateReader(data).Read(dialog);
}

const DWORD kChild = WS_CHILD | WS_VISIBLE;
const DWORD kDefaultButton = kChild | BS_DEFPUSHBUTTON | WS_TABSTOP;
const DWORD kButton = kChild | BS_PUSHBUTTON | WS_TABSTOP;
// Left-aligned static text, which begins a group as the resource language writes it.
const DWORD kLabel = kChild | SS_LEFT | WS_GROUP;
const DWORD kGroupBox = kChild | BS_GROUPBOX;
const DWORD kPortList = kChild | CBS_DROPDOWNLIST | CBS_SORT | WS_VSCROLL | WS_TABSTOP;

const wchar_t kSimSun[] = L"宋体";

TEST(DialogTemplates, HoldEveryControlWithItsIdClassStylePlaceAndText)
{
    const struct {
        int id;
        Dialog expected;
    } templates[] = {
        {IDD_MAIN_DIALOG,
         {DS_SETFONT | WS_POPUP | WS_VISIBLE | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX,
          0,
          0,
          395,
          240,
          L"DriverInstall",
          10,
          kSimSun,
          {
              {IDOK, L"Button", kDefaultButton, 230, 212, 56, 21, L"确认"},
              {IDCANCEL, L"Button", kButton, 304, 212, 63, 21, L"取消"},
              {IDT_OS_TYPE, L"Static", kLabel, 31, 12, 67, 8, L"系统类型:"},
              {IDT_OS_NAME, L"Static", kLabel, 107, 11, 153, 8, L"系统类型:"},
              {IDG_PRINTER_MODEL, L"Button", kGroupBox, 25, 34, 349, 77, L"打印机型"},
              {IDG_PRINTER_PORT, L"Button", kGroupBox, 25, 114, 350, 62, L"打印端口"},
              {IDT_PRINTER_NAME, L"Static", kLabel, 59, 190, 66, 8, L"静态"},
              {IDE_PRINTER_NAME, L"Edit", kChild | ES_LEFT | WS_BORDER | ES_AUTOHSCROLL | WS_TABSTOP, 214, 186, 154,
               14, L""},
              {IDC_CONFIGURE_PORT, L"Button", kButton, 295, 150, 70, 20, L"Button1"},
              // The only radio button is no tab stop.
              {IDR_CATEGORY, L"Button", kChild | BS_AUTORADIOBUTTON, 59, 71, 104, 10, L"微打"},
              {IDC_MODEL_LIST, L"ComboBox", kPortList, 214, 68, 151, 30, L""},
              {IDC_PORT_LIST, L"ComboBox", kPortList, 214, 129, 151, 30, L""},
              {IDT_PORT, L"Static", kLabel, 58, 132, 45, 8, L"静态"},
              {IDC_ADD_PORT, L"Button", kButton, 214, 150, 70, 20, L"AddPort"},
          }}},
        {IDD_CONFIGURE_LPT,
         {DS_SETFONT | DS_MODALFRAME | DS_SYSMODAL | WS_POPUP | WS_CAPTION | WS_SYSMENU,
          10,
          25,
          193,
          47,
          L"Configure LPT Port",
          10,
          kSimSun,
          {
              {IDOK, L"Button", kDefaultButton, 147, 9, 40, 14, L"确定"},
              {IDCANCEL, L"Button", kButton, 147, 26, 40, 14, L"取消"},
              {IDE_TIMEOUT, L"Edit", kChild | ES_LEFT | WS_BORDER | ES_NUMBER | ES_AUTOHSCROLL | WS_TABSTOP, 89, 20,
               32, 12, L""},
              {IDG_TIMEOUT, L"Button", kGroupBox, 14, 4, 119, 40, L"静态"},
              {IDT_RETRY, L"Static", kLabel, 25, 22, 58, 8, L"静态"},
          }}},
        {IDD_ADD_PORT_DIALOG,
         {DS_SETFONT | DS_MODALFRAME | WS_POPUP | WS_CAPTION | WS_SYSMENU,
          0,
          0,
          240,
          148,
          L"AddPort",
          8,
          L"MS Shell Dlg",
          {
              {IDOK, L"Button", kDefaultButton, 125, 126, 50, 14, L"OK"},
              {IDCANCEL, L"Button", kButton, 179, 126, 50, 14, L"Cancel"},
              // Border and tab stop, which the dialog takes away when it opens.
              {IDC_MONITOR_LIST, L"SysListView32", kChild | LVS_REPORT | LVS_SINGLESEL | WS_BORDER | WS_TABSTOP, 15, 15,
               214, 107, L""},
          }}},
    };
    for (const auto& dialog : templates) {
        SCOPED_TRACE(dialog.id);
        Dialog built = {};
        ASSERT_TRUE(LoadDialog(dialog.id, &built));
        const Dialog& expected = dialog.expected;
        EXPECT_EQ(expected.style, built.style) << std::hex << (expected.style ^ built.style);
        EXPECT_EQ(expected.x, built.x);
        EXPECT_EQ(expected.y, built.y);
        EXPECT_EQ(expected.width, built.width);
        EXPECT_EQ(expected.height, built.height);
        EXPECT_EQ(expected.title, built.title);
        EXPECT_EQ(expected.pointSize, built.pointSize);
        EXPECT_EQ(expected.font, built.font);
        // In template order, which is the tab order.
        ASSERT_EQ(expected.controls.size(), built.controls.size());
        for (size_t i = 0; i < expected.controls.size(); ++i) {
            const Control& want = expected.controls[i];
            const Control& got = built.controls[i];
            SCOPED_TRACE(want.id);
            EXPECT_EQ(want.id, got.id);
            // Class names are compared without letter case, as the system does.
            EXPECT_EQ(0, lstrcmpiW(want.className.c_str(), got.className.c_str()))
                << testing::PrintToString(got.className);
            EXPECT_EQ(want.style, got.style) << std::hex << (want.style ^ got.style);
            EXPECT_EQ(want.x, got.x);
            EXPECT_EQ(want.y, got.y);
            EXPECT_EQ(want.width, got.width);
            EXPECT_EQ(want.height, got.height);
            EXPECT_EQ(want.text, got.text);
        }
    }
}

} // namespace
