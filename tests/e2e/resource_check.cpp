// Reads the resources of a built program (loaded as a data file) and checks them against what
// the program's windows are made of: the string table, menu 225, accelerators 225, the three
// dialog templates control by control, icon 135, bitmap 249 and the firmware image 267.
//   resource-check <program.exe> <firmware image file>
// Prints PASS/FAIL lines and "N passed, M failed".
#include "firmware_image_id.h"
#include "message_texts.h"
#include "resource.h"

#include <windows.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

int g_passes = 0;
int g_failures = 0;

void check(bool condition, const std::string& what) {
    if (condition) {
        ++g_passes;
    } else {
        ++g_failures;
        std::printf("FAIL %s\n", what.c_str());
    }
}

struct Resource {
    const std::uint8_t* data = nullptr;
    DWORD size = 0;
};

Resource findResource(HMODULE module, int id, LPCSTR type) {
    Resource found;
    HRSRC info = FindResourceA(module, MAKEINTRESOURCEA(id), type);
    if (info == nullptr) {
        return found;
    }
    found.size = SizeofResource(module, info);
    found.data = static_cast<const std::uint8_t*>(LockResource(LoadResource(module, info)));
    return found;
}

// ---- Strings ----

struct Message {
    int index;
    int stringId;
    const char* text;
};

const Message kMessages[] = {
#define PXR7_CHECK_MESSAGE(index, stringId, text) {index, stringId, text},
    PXR7_MESSAGES(PXR7_CHECK_MESSAGE)
#undef PXR7_CHECK_MESSAGE
};

void checkStrings(HMODULE module) {
    char text[600];
    int index = 0;
    for (const Message& message : kMessages) {
        check(message.index == index, "message indices run 0..21 in order");
        ++index;
        text[0] = '\0';
        LoadStringA(module, static_cast<UINT>(message.stringId), text, sizeof text);
        check(std::strcmp(text, message.text) == 0,
              "string " + std::to_string(message.stringId) + " (message " +
                  std::to_string(message.index) + ") reads \"" + text + "\"");
    }
    check(index == 22, "22 messages");
    LoadStringA(module, PXR7_TITLE_STRING_ID, text, sizeof text);
    check(std::strcmp(text, "Tavelin Meter - PXR7") == 0,
          std::string("string 243, the title, reads \"") + text + "\"");
}

// ---- Menu and accelerators ----

std::string menuText(HMENU menu, UINT position) {
    char text[64] = {};
    GetMenuStringA(menu, position, text, sizeof text, MF_BYPOSITION);
    return text;
}

void checkMenu(HMODULE module) {
    const Resource resource = findResource(module, IDR_MAIN_MENU, MAKEINTRESOURCEA(4));
    check(resource.data != nullptr, "menu 225 exists");
    if (resource.data == nullptr) {
        return;
    }
    HMENU bar = LoadMenuIndirectA(resource.data);
    check(GetMenuItemCount(bar) == 3, "the menu bar has three items");
    HMENU file = GetSubMenu(bar, 0);
    HMENU help = GetSubMenu(bar, 2);
    check(menuText(bar, 0) == "&File" && file != nullptr, "\"&File\" popup first");
    check(GetMenuItemCount(file) == 2 && menuText(file, 0) == "Load" &&
              GetMenuItemID(file, 0) == IDM_LOAD && menuText(file, 1) == "Exit" &&
              GetMenuItemID(file, 1) == IDM_EXIT,
          "File holds \"Load\" 32780 and \"Exit\" 32771");
    check(menuText(bar, 1) == "&Upgrade" && GetSubMenu(bar, 1) == nullptr &&
              GetMenuItemID(bar, 1) == IDM_UPGRADE,
          "\"&Upgrade\" is command 32795 on the bar itself");
    check(menuText(bar, 2) == "&Help" && help != nullptr && GetMenuItemCount(help) == 2 &&
              menuText(help, 0) == "&About ..." && GetMenuItemID(help, 0) == IDM_ABOUT &&
              menuText(help, 1) == "Version" && GetMenuItemID(help, 1) == IDM_VERSION,
          "Help holds \"&About ...\" 104 and \"Version\" 32801");
    DestroyMenu(bar);
}

void checkAccelerators(HMODULE module) {
    // ACCELTABLEENTRY: flags, key, command, padding; the last entry has flag 0x80.
    const Resource resource = findResource(module, IDR_MAIN_ACCELERATORS, MAKEINTRESOURCEA(9));
    check(resource.size == 16, "accelerators 225 hold two entries");
    if (resource.size != 16) {
        return;
    }
    const char keys[2] = {'?', '/'};
    for (int i = 0; i < 2; ++i) {
        std::uint16_t entry[4];
        std::memcpy(entry, resource.data + i * 8, sizeof entry);
        const std::uint16_t flags = entry[0] & 0x7F;
        check(flags == FALT && entry[1] == static_cast<std::uint16_t>(keys[i]) &&
                  entry[2] == IDM_ABOUT,
              std::string("Alt with the character '") + keys[i] + "' sends 104");
    }
}

// ---- Dialog templates ----

struct ExpectedControl {
    int id;
    int classAtom; // 0x80 button, 0x81 edit, 0x82 static, 0x83 list box
    const char* text;
    short x, y, cx, cy;
    DWORD typeMask, type; // style & typeMask must equal type
    DWORD required;       // style bits that must be set
    DWORD forbidden;      // style bits that must be clear
};

struct ExpectedDialog {
    int id;
    const char* caption;
    short x, y, cx, cy;
    const char* font;
    WORD pointSize;
    bool systemMenu;
    std::vector<ExpectedControl> controls;
};

constexpr int kButton = 0x80;
constexpr int kEdit = 0x81;
constexpr int kStatic = 0x82;
constexpr int kListBox = 0x83;
constexpr DWORD kButtonType = 0x0F;
constexpr DWORD kStaticType = SS_TYPEMASK;
constexpr DWORD kListStyle = LBS_SORT | WS_BORDER | WS_VSCROLL;

class TemplateReader {
public:
    TemplateReader(const std::uint8_t* data, DWORD size) : data_(data), size_(size) {}
    bool ok() const { return ok_; }
    std::uint16_t word() {
        std::uint16_t value = 0;
        take(&value, 2);
        return value;
    }
    std::uint32_t dword() {
        std::uint32_t value = 0;
        take(&value, 4);
        return value;
    }
    std::int16_t shortValue() { return static_cast<std::int16_t>(word()); }
    // A string or, after 0xFFFF, an ordinal (returned as "#<n>").
    std::string stringOrOrdinal() {
        std::uint16_t first = word();
        if (first == 0xFFFF) {
            return "#" + std::to_string(word());
        }
        std::wstring wide;
        while (first != 0 && ok_) {
            wide.push_back(static_cast<wchar_t>(first));
            first = word();
        }
        char narrow[512] = {};
        WideCharToMultiByte(CP_ACP, 0, wide.c_str(), -1, narrow, sizeof narrow, nullptr, nullptr);
        return narrow;
    }
    void alignToDword() { offset_ = (offset_ + 3) & ~static_cast<DWORD>(3); }
    void skip(DWORD bytes) { offset_ += bytes; }

private:
    void take(void* out, DWORD bytes) {
        if (offset_ + bytes > size_) {
            ok_ = false;
            return;
        }
        std::memcpy(out, data_ + offset_, bytes);
        offset_ += bytes;
    }
    const std::uint8_t* data_;
    DWORD size_;
    DWORD offset_ = 0;
    bool ok_ = true;
};

void checkDialog(HMODULE module, const ExpectedDialog& expected) {
    const std::string name = "dialog " + std::to_string(expected.id);
    const Resource resource = findResource(module, expected.id, MAKEINTRESOURCEA(5));
    check(resource.data != nullptr, name + " exists");
    if (resource.data == nullptr) {
        return;
    }
    TemplateReader reader(resource.data, resource.size);
    const DWORD style = reader.dword();
    check((style & 0xFFFF0000u) != 0xFFFF0000u, name + " is a plain DIALOG template");
    reader.dword(); // extended style
    const WORD count = reader.word();
    const short x = reader.shortValue(), y = reader.shortValue();
    const short cx = reader.shortValue(), cy = reader.shortValue();
    const std::string menu = reader.stringOrOrdinal();
    const std::string windowClass = reader.stringOrOrdinal();
    const std::string caption = reader.stringOrOrdinal();
    check(x == expected.x && y == expected.y && cx == expected.cx && cy == expected.cy,
          name + " at " + std::to_string(x) + "," + std::to_string(y) + " size " +
              std::to_string(cx) + "x" + std::to_string(cy));
    check(menu.empty() && windowClass.empty(), name + " has no menu or own class");
    check(caption == expected.caption, name + " caption \"" + caption + "\"");
    const DWORD frame = DS_MODALFRAME | WS_POPUP | WS_CAPTION;
    check((style & frame) == frame, name + " is a modal frame with caption");
    check(((style & WS_SYSMENU) != 0) == expected.systemMenu,
          name + (expected.systemMenu ? " has" : " has no") + " system menu");
    check((style & DS_SETFONT) != 0, name + " names its font");
    const WORD pointSize = reader.word();
    const std::string font = reader.stringOrOrdinal();
    check(pointSize == expected.pointSize && font == expected.font,
          name + " font " + font + " " + std::to_string(pointSize));
    check(count == expected.controls.size(), name + " has " + std::to_string(count) + " controls");
    for (std::size_t i = 0; i < count && i < expected.controls.size(); ++i) {
        const ExpectedControl& want = expected.controls[i];
        reader.alignToDword();
        const DWORD itemStyle = reader.dword();
        reader.dword();
        const short ix = reader.shortValue(), iy = reader.shortValue();
        const short icx = reader.shortValue(), icy = reader.shortValue();
        const int id = static_cast<std::int16_t>(reader.word());
        const std::string itemClass = reader.stringOrOrdinal();
        const std::string text = reader.stringOrOrdinal();
        reader.skip(reader.word());
        const std::string item =
            name + " control " + std::to_string(i + 1) + " (" + std::to_string(want.id) + ")";
        check(id == want.id, item + " has id " + std::to_string(id));
        check(itemClass == "#" + std::to_string(want.classAtom), item + " class " + itemClass);
        check(text == want.text, item + " text \"" + text + "\"");
        check(ix == want.x && iy == want.y && icx == want.cx && icy == want.cy,
              item + " rectangle " + std::to_string(ix) + "," + std::to_string(iy) + "," +
                  std::to_string(icx) + "," + std::to_string(icy));
        check((itemStyle & want.typeMask) == want.type, item + " kind");
        check((itemStyle & want.required) == want.required, item + " required styles");
        check((itemStyle & want.forbidden) == 0, item + " forbidden styles");
        check((itemStyle & (WS_CHILD | WS_VISIBLE)) == (WS_CHILD | WS_VISIBLE),
              item + " is a visible child");
    }
    check(reader.ok(), name + " template is complete");
}

void checkDialogs(HMODULE module) {
    const char* warning = "Before upgrading your unit please make sure that the battery is charged "
                          "to at least 50%. Do not unplug the unit during the upgrade procedure. "
                          "Close all other programs before running this upgrade.";
    const std::vector<ExpectedDialog> dialogs = {
        {IDD_UPGRADE_WARNING,
         "Upgrade Warning!",
         0,
         0,
         187,
         183,
         "Verdana",
         8,
         true,
         {
             {IDOK, kButton, "Upgrade Now", 22, 151, 50, 14, kButtonType, BS_DEFPUSHBUTTON,
              WS_DISABLED | WS_TABSTOP, 0},
             {IDCANCEL, kButton, "Cancel", 111, 151, 50, 14, kButtonType, BS_PUSHBUTTON, WS_TABSTOP,
              WS_DISABLED},
             {IDC_STATIC, kStatic, "Warning!", 58, 88, 79, 10, kStaticType, SS_CENTER, 0, 0},
             {IDC_WARNING_TEXT, kStatic, warning, 23, 101, 137, 45, kStaticType, SS_LEFT, 0, 0},
             {IDC_VERSION_LIST, kListBox, "", 14, 45, 158, 39, 0, 0, kListStyle, 0},
             {IDC_STATIC, kStatic, "This program will upgrade the following versions", 7, 32, 173,
              10, kStaticType, SS_CENTER, 0, 0},
             {IDC_STATIC, kStatic, "Software version of connected meter.", 7, 7, 173, 10,
              kStaticType, SS_CENTER, 0, 0},
             {IDC_VERSION_FIELD, kEdit, "", 15, 16, 158, 13, 0, 0, ES_READONLY | WS_BORDER,
              ES_MULTILINE},
         }},
        {IDD_DEVICE_LIST,
         "USB Device List",
         0,
         0,
         239,
         157,
         "MS Sans Serif",
         8,
         false,
         {
             {IDOK, kButton, "OK", 167, 134, 50, 14, kButtonType, BS_DEFPUSHBUTTON, 0, 0},
             {IDC_METER_LIST, kListBox, "", 21, 17, 196, 110, 0, 0, kListStyle, 0},
             {IDC_STATIC, kStatic, "Number of devices", 23, 136, 64, 10, kStaticType, SS_LEFT, 0,
              0},
             {IDC_DEVICE_COUNT, kStatic, "0", 86, 136, 10, 10, kStaticType, SS_CENTER, SS_SUNKEN,
              0},
         }},
        {IDD_ABOUT,
         "About",
         22,
         17,
         150,
         124,
         "System",
         8,
         true,
         {
             {IDC_ABOUT_VERSION, kStatic, "", 9, 6, 118, 8, kStaticType, SS_LEFT, SS_NOPREFIX, 0},
             {IDOK, kButton, "OK", 109, 14, 30, 11, kButtonType, BS_DEFPUSHBUTTON, 0, 0},
             {IDC_ABOUT_FOOTER, kStatic, "", 12, 105, 121, 8, kStaticType, SS_CENTER, SS_NOPREFIX,
              0},
         }},
    };
    for (const ExpectedDialog& dialog : dialogs) {
        checkDialog(module, dialog);
    }
}

// ---- Pictures and image ----

void checkPictures(HMODULE module) {
    const Resource group = findResource(module, IDI_METER, MAKEINTRESOURCEA(14));
    check(group.size == 6 + 14, "icon 135 holds one image");
    if (group.size == 20) {
        const std::uint8_t* entry = group.data + 6;
        std::uint16_t bitCount = 0;
        std::memcpy(&bitCount, entry + 6, 2);
        check(entry[0] == 32 && entry[1] == 32 && entry[2] == 16 && bitCount == 4,
              "icon 135 is 32 x 32 with 16 colours");
    }
    check(FindResourceA(module, MAKEINTRESOURCEA(IDI_METER_SMALL), MAKEINTRESOURCEA(14)) == nullptr,
          "there is no icon 108");

    const Resource bitmap = findResource(module, IDB_ABOUT_PICTURE, MAKEINTRESOURCEA(2));
    check(bitmap.size >= sizeof(BITMAPINFOHEADER), "bitmap 249 exists");
    if (bitmap.size >= sizeof(BITMAPINFOHEADER)) {
        BITMAPINFOHEADER header;
        std::memcpy(&header, bitmap.data, sizeof header);
        check(header.biWidth == 256 && header.biHeight == 135 && header.biBitCount == 8,
              "bitmap 249 is 256 x 135 with 8 bits per pixel");
    }
}

void checkImage(HMODULE module, const char* imagePath) {
    const Resource image = findResource(module, PXR7_IMAGE_RESOURCE_ID, MAKEINTRESOURCEA(10));
    std::vector<std::uint8_t> file;
    if (std::FILE* in = std::fopen(imagePath, "rb")) {
        std::uint8_t chunk[4096];
        std::size_t got = 0;
        while ((got = std::fread(chunk, 1, sizeof chunk, in)) > 0) {
            file.insert(file.end(), chunk, chunk + got);
        }
        std::fclose(in);
    }
    check(!file.empty(), std::string("the image file ") + imagePath + " can be read");
    check(image.data != nullptr && image.size == file.size() &&
              std::memcmp(image.data, file.data(), file.size()) == 0,
          "RCDATA 267 is the image file byte for byte (" + std::to_string(image.size) + " bytes)");
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: resource-check <program.exe> <firmware image>\n");
        return 2;
    }
    HMODULE module = LoadLibraryExA(argv[1], nullptr, LOAD_LIBRARY_AS_DATAFILE);
    if (module == nullptr) {
        std::printf("FAIL cannot load %s\n0 passed, 1 failed\n", argv[1]);
        return 1;
    }
    checkStrings(module);
    checkMenu(module);
    checkAccelerators(module);
    checkDialogs(module);
    checkPictures(module);
    checkImage(module, argv[2]);
    FreeLibrary(module);
    std::printf("%d passed, %d failed\n", g_passes, g_failures);
    return g_failures == 0 ? 0 : 1;
}
