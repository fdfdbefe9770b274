// The settings store and the page object, linked in directly: J27.INI beside
// the host executable (each case in a directory of its own, with a copy of
// this program as the host), the page record and the dialog-procedure stub.

#include <windows.h>
#include <commctrl.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "config/config_dlg.h"
#include "device/device.h"
#include "tests/support/scratch_dir.h"
#include "tests/support/recording_host.h"

using ::testing::ElementsAre;
using ::testing::IsEmpty;

namespace {

constexpr char kChildFlag[] = "--ini-child";

int32_t Wrap(int64_t value)
{
    return static_cast<int32_t>(static_cast<uint32_t>(static_cast<uint64_t>(value)));
}

// The host side of one INI case, run in the copy: builds a device and a page,
// lets Init read J27.INI, reports what the page and the device hold, then
// optionally changes the settings and saves.
int RunIniChild(int argc, char** argv)
{
    if (argc < 3) {
        return 2;
    }
    Quarix device(kDeviceIdQrxs);
    ConfigDlg page;
    page.Init(GetModuleHandleA(nullptr), &device);
    char report[512];
    std::snprintf(report, sizeof report, "%ld %ld %ld %ld\n%s\n", static_cast<long>(page.settings.volume),
                  static_cast<long>(page.settings.enable), static_cast<long>(device.gain),
                  static_cast<long>(device.enable), page.iniPath);
    if (!WriteText(argv[2], report)) {
        return 3;
    }
    if (argc >= 5) {
        page.settings.volume = Wrap(std::strtoll(argv[3], nullptr, 10));
        page.settings.enable = Wrap(std::strtoll(argv[4], nullptr, 10));
    }
    page.Save();
    return 0;
}

// What a child reported.
struct Report {
    int32_t volume = 0;
    int32_t enable = 0;
    int32_t gain = 0;
    int32_t deviceEnable = 0;
    std::string iniPath;
    bool ok = false;
};

Report ReadReport(const std::string& path)
{
    Report report;
    const std::string text = ReadText(path);
    long values[4];
    char line[400] = {};
    const int fields = std::sscanf(text.c_str(), "%ld %ld %ld %ld\n%399[^\n]", &values[0], &values[1], &values[2],
                                   &values[3], line);
    if (fields >= 4) {
        report.volume = static_cast<int32_t>(values[0]);
        report.enable = static_cast<int32_t>(values[1]);
        report.gain = static_cast<int32_t>(values[2]);
        report.deviceEnable = static_cast<int32_t>(values[3]);
        report.iniPath = fields == 5 ? line : "";
        report.ok = true;
    }
    return report;
}

// A file holds, besides the module's keys, a section and a key of the host's;
// both must survive the module's write.
constexpr char kHostLines[] = "[HOST]\r\nWindow=3\r\n";

struct IniCase {
    const char* name;
    const char* moduleLines;  // the QUARIX_SOUND section; null: no file at all
    int32_t volume;           // what Init must read
    int32_t enable;
    const char* newSettings;  // volume and enable set before Save; "" keeps them
    const char* volumeText;   // what Save must leave
    const char* enableText;
};

const IniCase kIniCases[] = {
    {"no file", nullptr, 0, 1, "", "100", "1"},
    {"Enable only", "Enable=0\r\n", 0, 0, "", "100", "0"},
    {"Volume 60", "Volume=60\r\n", -40, 1, "", "60", "1"},
    {"Volume 120", "Volume=120\r\n", 20, 1, "", "120", "1"},
    {"Volume 0", "Volume=0\r\n", -100, 1, "", "0", "1"},
    {"Volume 250", "Volume=250\r\nEnable=1\r\n", 150, 1, "", "250", "1"},
    {"Enable 5", "Enable=5\r\n", 0, 5, "", "100", "5"},
    {"lowest Volume", "Volume=-2147483648\r\n", 2147483548, 1, "", "-2147483648", "1"},
    {"highest Volume", "Volume=2147483647\r\n", 2147483547, 1, "", "2147483647", "1"},
    {"page changed", "Volume=88\r\nEnable=1\r\n", -12, 1, "-40 0", "60", "0"},
    {"page set to highest", "Volume=100\r\n", 0, 1, "2147483647 1", "-2147483549", "1"},
};

TEST(IniBesideHost, ReadsAppliesAndWritesBack)
{
    for (const IniCase& row : kIniCases) {
        SCOPED_TRACE(row.name);
        ScratchDir dir("ini");
        ASSERT_FALSE(dir.Path().empty());
        const std::string host = dir.File("host.exe");
        const std::string ini = dir.File("J27.INI");
        ASSERT_TRUE(CopyProgram(ThisProgram(), host));
        if (row.moduleLines != nullptr) {
            ASSERT_TRUE(WriteText(ini, std::string(kHostLines) + "[QUARIX_SOUND]\r\nOther=abc\r\n" + row.moduleLines));
        }

        const std::string reportFile = dir.File("report.txt");
        ASSERT_EQ(RunProgram(host, std::string(kChildFlag) + " \"" + reportFile + "\" " + row.newSettings), 0);

        const Report report = ReadReport(reportFile);
        ASSERT_TRUE(report.ok);
        EXPECT_EQ(report.volume, row.volume);
        EXPECT_EQ(report.enable, row.enable);
        EXPECT_EQ(report.gain, Wrap(int64_t{row.volume} + 40));
        EXPECT_EQ(report.deviceEnable, row.enable);
        EXPECT_EQ(lstrcmpiA(report.iniPath.c_str(), ini.c_str()), 0) << report.iniPath;

        EXPECT_EQ(ProfileText("QUARIX_SOUND", "Volume", ini), row.volumeText);
        EXPECT_EQ(ProfileText("QUARIX_SOUND", "Enable", ini), row.enableText);
        if (row.moduleLines != nullptr) {
            EXPECT_EQ(ProfileText("HOST", "Window", ini), "3");
            EXPECT_EQ(ProfileText("QUARIX_SOUND", "Other", ini), "abc");
        }
    }
}

// Builds a chain of directories under root whose full path, without a final
// separator, is exactly length characters long.
std::string DeepDirectory(const std::string& root, size_t length)
{
    std::string path = root;
    while (path.size() + 1 < length) {
        const size_t room = length - path.size();  // for a separator and a name
        const size_t name = room > 101 ? 100 : room - 1;
        path.push_back('\\');
        path.append(name, 'd');
        if (!MakeDirectory(path)) {
            return {};
        }
    }
    return path.size() == length ? path : std::string();
}

// The host path fits in MAX_PATH but its directory plus "J27.INI" does not:
// defaults, and no file read or written anywhere.
TEST(IniBesideHost, DirectoryTooLongForTheFileNameUsesDefaultsAndWritesNothing)
{
    ScratchDir root("long");
    ASSERT_FALSE(root.Path().empty());
    // 254 characters with the separator: "q.exe" ends at 259, "J27.INI" at 261.
    const std::string dir = DeepDirectory(root.Path(), 253);
    ASSERT_FALSE(dir.empty());
    const std::string host = dir + "\\q.exe";
    ASSERT_TRUE(CopyProgram(ThisProgram(), host));
    const std::string ini = dir + "\\J27.INI";
    const std::string planted = "[QUARIX_SOUND]\r\nVolume=70\r\nEnable=0\r\n";
    ASSERT_TRUE(WriteText(ini, planted));

    const std::string reportFile = root.File("report.txt");
    ASSERT_EQ(RunProgram(host, std::string(kChildFlag) + " \"" + reportFile + "\" -5 0"), 0);

    const Report report = ReadReport(reportFile);
    ASSERT_TRUE(report.ok);
    EXPECT_EQ(report.volume, 0);
    EXPECT_EQ(report.enable, 1);
    EXPECT_EQ(report.gain, 40);
    EXPECT_EQ(report.deviceEnable, 1);
    EXPECT_EQ(report.iniPath, "");
    EXPECT_EQ(ReadText(ini), planted);
    EXPECT_EQ(FindFiles(root.Path(), "J27.INI"), ini + "\n");
}

// The host path fits MAX_PATH in UTF-16 but not in a double-byte ANSI code
// page: every Japanese character of its directory takes two bytes there, so
// the ANSI name of the executable comes back cut short. Where the cut falls
// inside a character, Wine's name is a byte short of the buffer and looks
// whole; a first directory of one or two letters puts the cut at either
// parity. Needs code page 932 (under Wine: LC_ALL=ja_JP.UTF-8, which the
// test command sets, with that locale generated on the system).
TEST(IniBesideHost, HostPathTooLongInAnsiUsesDefaultsAndWritesNothing)
{
    if (GetACP() != 932) {
        GTEST_SKIP() << "needs ANSI code page 932, not " << GetACP();
    }
    for (const wchar_t* first : {L"a", L"ab"}) {
        SCOPED_TRACE(first[1] == 0 ? "cut at one parity" : "cut at the other");
        ScratchDir root("ansi");
        ASSERT_FALSE(root.Path().empty());
        // Three directories of 50 characters: 100 bytes each in ANSI.
        std::wstring dir = Widen(root.Path()) + L"\\" + first;
        ASSERT_TRUE(CreateDirectoryW(dir.c_str(), nullptr));
        for (int level = 0; level < 3; ++level) {
            dir += L"\\" + std::wstring(50, L'\u30A2');
            if (!CreateDirectoryW(dir.c_str(), nullptr)) {
                // Wine without the system's ja_JP.UTF-8 locale cannot store such names.
                GTEST_SKIP() << "cannot create a directory with Japanese characters (error " << GetLastError() << ")";
            }
        }
        const std::wstring host = dir + L"\\host.exe";
        ASSERT_LT(host.size(), size_t{MAX_PATH});
        ASSERT_GT(root.Path().size() + 3 + 3 * (1 + 100) + 9, size_t{MAX_PATH});
        ASSERT_TRUE(CopyFileW(Widen(ThisProgram()).c_str(), host.c_str(), FALSE));
        const std::wstring planted = dir + L"\\J27.INI";
        const char plantedText[] = "[QUARIX_SOUND]\r\nVolume=70\r\nEnable=0\r\n";
        HANDLE file =
            CreateFileW(planted.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
        ASSERT_NE(file, INVALID_HANDLE_VALUE);
        DWORD written = 0;
        WriteFile(file, plantedText, sizeof plantedText - 1, &written, nullptr);
        CloseHandle(file);

        const std::string reportFile = root.File("report.txt");
        ASSERT_EQ(RunProgram(host, Widen(std::string(kChildFlag) + " \"" + reportFile + "\" -5 0")), 0);

        const Report report = ReadReport(reportFile);
        ASSERT_TRUE(report.ok);
        EXPECT_EQ(report.volume, 0);
        EXPECT_EQ(report.enable, 1);
        EXPECT_EQ(report.gain, 40);
        EXPECT_EQ(report.iniPath, "");
        // Only the planted file, unchanged; nothing written where a cut-short
        // name would point.
        const std::string found = FindFiles(root.Path(), "J27.INI");
        EXPECT_EQ(std::count(found.begin(), found.end(), '\n'), 1) << found;
        file = CreateFileW(planted.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
        ASSERT_NE(file, INVALID_HANDLE_VALUE);
        char text[128] = {};
        DWORD got = 0;
        ReadFile(file, text, sizeof text - 1, &got, nullptr);
        CloseHandle(file);
        EXPECT_STREQ(text, plantedText);
    }
}

// A page object set up as the module would, without a window.
class PageObject : public ::testing::Test {
protected:
    PageObject() : site(log, "site")
    {
        page.instance = GetModuleHandleA(nullptr);
        site.expectedPage = &page;
    }

    uint32_t At(const unsigned char* record, unsigned offset)
    {
        uint32_t value;
        std::memcpy(&value, record + offset, 4);
        return value;
    }

    CallLog log;
    RecordingPageSite site;
    ConfigDlg page;
};

TEST_F(PageObject, SetupFillsTheFirst48BytesOfTheRecord)
{
    alignas(8) unsigned char record[64];
    std::memset(record, 0xCC, sizeof record);
    ASSERT_TRUE(page.Setup(&site, reinterpret_cast<PROPSHEETPAGEA*>(record)));

    EXPECT_EQ(At(record, 0), 48u);   // dwSize
    EXPECT_EQ(At(record, 4), 0u);    // dwFlags
    EXPECT_EQ(At(record, 8), reinterpret_cast<uintptr_t>(GetModuleHandleA(nullptr)));  // hInstance
    EXPECT_EQ(At(record, 12), 101u);  // pszTemplate, an integer id
    EXPECT_EQ(At(record, 16), 0u);    // hIcon
    EXPECT_EQ(At(record, 20), 0u);    // pszTitle
    EXPECT_NE(At(record, 24), 0u);    // pfnDlgProc
    for (unsigned offset = 28; offset < 48; offset += 4) {
        EXPECT_EQ(At(record, offset), 0u) << "offset " << offset;
    }
    for (unsigned i = 48; i < sizeof record; ++i) {
        EXPECT_EQ(record[i], 0xCC) << "byte " << i << " lies beyond the record";
    }
    EXPECT_EQ(page.site, &site);
    EXPECT_THAT(log.calls, IsEmpty());
}

// Calls a dialog procedure and measures how far the stack pointer moved.
__attribute__((noinline)) ptrdiff_t StackDrift(DLGPROC proc, HWND window, UINT message, WPARAM wParam,
                                               LPARAM lParam, INT_PTR& result)
{
    uintptr_t before = 0;
    uintptr_t after = 0;
    __asm__ volatile("movl %%esp, %0" : "=r"(before));
    result = proc(window, message, wParam, lParam);
    __asm__ volatile("movl %%esp, %0" : "=r"(after));
    return static_cast<ptrdiff_t>(after - before);
}

TEST_F(PageObject, DialogProcedureIsAStubInExecuteReadMemory)
{
    PROPSHEETPAGEA record{};
    page.Setup(&site, &record);
    const auto* code = reinterpret_cast<const unsigned char*>(record.pfnDlgProc);
    ASSERT_NE(code, nullptr);

    const uintptr_t self = reinterpret_cast<uintptr_t>(&page);
    const unsigned char expected[11] = {
        0xFF, 0x34, 0x24, 0xC7, 0x44, 0x24, 0x04,
        static_cast<unsigned char>(self), static_cast<unsigned char>(self >> 8),
        static_cast<unsigned char>(self >> 16), static_cast<unsigned char>(self >> 24),
    };
    EXPECT_EQ(std::memcmp(code, expected, sizeof expected), 0);
    EXPECT_EQ(code[11], 0xE9);

    MEMORY_BASIC_INFORMATION memory{};
    ASSERT_NE(VirtualQuery(code, &memory, sizeof memory), 0u);
    EXPECT_EQ(memory.Protect, static_cast<DWORD>(PAGE_EXECUTE_READ));
    EXPECT_EQ(memory.Type, static_cast<DWORD>(MEM_PRIVATE));
    const uintptr_t stub = reinterpret_cast<uintptr_t>(code);
    EXPECT_FALSE(stub + 16 > self && stub < self + sizeof page) << "the stub lies inside the page object";

    // The jump lands in this program's code, where the handler lives.
    int32_t displacement;
    std::memcpy(&displacement, code + 12, 4);
    const uintptr_t target = stub + 16 + static_cast<uint32_t>(displacement);
    MEMORY_BASIC_INFORMATION targetMemory{};
    ASSERT_NE(VirtualQuery(reinterpret_cast<void*>(target), &targetMemory, sizeof targetMemory), 0u);
    EXPECT_EQ(targetMemory.AllocationBase, static_cast<void*>(GetModuleHandleA(nullptr)));
}

TEST_F(PageObject, StubLeadsToItsOwnPageAndLeavesTheStackBalanced)
{
    CallLog otherLog;
    RecordingPageSite otherSite(otherLog, "other");
    ConfigDlg other;
    PROPSHEETPAGEA record{};
    PROPSHEETPAGEA otherRecord{};
    page.Setup(&site, &record);
    other.Setup(&otherSite, &otherRecord);
    ASSERT_NE(record.pfnDlgProc, otherRecord.pfnDlgProc);

    INT_PTR result = -1;
    const WPARAM click = MAKEWPARAM(1015, BN_CLICKED);
    EXPECT_EQ(StackDrift(record.pfnDlgProc, nullptr, WM_COMMAND, click, 0, result), 0);
    EXPECT_EQ(result, 1);
    EXPECT_EQ(StackDrift(otherRecord.pfnDlgProc, nullptr, WM_COMMAND, click, 0, result), 0);
    EXPECT_EQ(StackDrift(otherRecord.pfnDlgProc, nullptr, WM_COMMAND, click, 0, result), 0);
    EXPECT_THAT(log.calls, ElementsAre("site.OnPageModified"));
    EXPECT_THAT(otherLog.calls, ElementsAre("other.OnPageModified", "other.OnPageModified"));
}

// Commands and notifications that need no window: the result and the calls.
TEST_F(PageObject, AnswersCommandsAndOtherNotifications)
{
    PROPSHEETPAGEA record{};
    page.Setup(&site, &record);
    NMHDR kill{nullptr, 0, static_cast<UINT>(PSN_KILLACTIVE)};
    NMHDR reset{nullptr, 0, static_cast<UINT>(PSN_RESET)};
    struct Row {
        const char* name;
        UINT message;
        WPARAM wParam;
        LPARAM lParam;
        INT_PTR result;
        bool modified;
    } const rows[] = {
        {"click on the box", WM_COMMAND, MAKEWPARAM(1015, BN_CLICKED), 0, 1, true},
        {"focus on the box", WM_COMMAND, MAKEWPARAM(1015, BN_SETFOCUS), 0, 0, false},
        {"double click on the box", WM_COMMAND, MAKEWPARAM(1015, BN_DOUBLECLICKED), 0, 0, false},
        {"click from the slider id", WM_COMMAND, MAKEWPARAM(1001, BN_CLICKED), 0, 0, false},
        {"command from the readout id", WM_COMMAND, MAKEWPARAM(1002, BN_CLICKED), 0, 0, false},
        {"PSN_KILLACTIVE", WM_NOTIFY, 0, reinterpret_cast<LPARAM>(&kill), 1, false},
        {"PSN_RESET", WM_NOTIFY, 0, reinterpret_cast<LPARAM>(&reset), 1, false},
        {"WM_PAINT", WM_PAINT, 0, 0, 0, false},
        {"WM_USER", WM_USER, 1, 2, 0, false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        log.calls.clear();
        EXPECT_EQ(record.pfnDlgProc(nullptr, row.message, row.wParam, row.lParam), row.result);
        if (row.modified) {
            EXPECT_THAT(log.calls, ElementsAre("site.OnPageModified"));
        } else {
            EXPECT_THAT(log.calls, IsEmpty());
        }
    }
}

// Without a device, apply still takes the controls' values and reports.
TEST_F(PageObject, ApplyWithoutDeviceStillTakesSettingsAndReports)
{
    PROPSHEETPAGEA record{};
    page.Setup(&site, &record);
    page.settings = SoundSettings{7, 1};
    page.device = nullptr;
    NMHDR apply{nullptr, 0, static_cast<UINT>(PSN_APPLY)};
    // With no window the controls read 0: position 0, box clear.
    EXPECT_EQ(record.pfnDlgProc(nullptr, WM_NOTIFY, 0, reinterpret_cast<LPARAM>(&apply)), 0);
    EXPECT_EQ(page.settings.volume, 0);
    EXPECT_EQ(page.settings.enable, 0);
    EXPECT_THAT(log.calls, ElementsAre("site.OnPageApplied"));
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc >= 2 && std::strcmp(argv[1], kChildFlag) == 0) {
        return RunIniChild(argc, argv);
    }
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
