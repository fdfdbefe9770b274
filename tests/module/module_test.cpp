// Quarix.j27 as a host meets it: loaded from the build directory into a copy
// of this program that runs in a fresh directory, so J27.INI beside the host
// is the test's own. A recording host sees every call from creation to release.

#include <windows.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "contract/module_api.h"
#include "tests/support/recording_host.h"
#include "tests/support/relocated_main.h"
#include "tests/support/scratch_dir.h"

using ::testing::ElementsAre;
using ::testing::ElementsAreArray;
using ::testing::IsEmpty;

namespace {


const char kConnect[] = "PortBus.Connect QRXS [08010200 AC000203 AE000206 AF000203 00000000]";

class LoadedLibrary : public QuarixLibrary {
protected:
    void SetUp() override
    {
        QuarixLibrary::SetUp();
        if (HasFatalFailure()) {
            return;
        }
        ini = DirectoryOf(ThisProgram()) + "\\J27.INI";
        DeleteFileA(ini.c_str());
    }

    void TearDown() override { DeleteFileA(ini.c_str()); }

    // Starts watching J27.INI, after the test has planted what it needs.
    void Watch() { log.Watch(ini, "J27.INI"); }

    std::string Profile(const char* key) { return ProfileText("QUARIX_SOUND", key, ini); }

    std::string ini;
    CallLog log;
    RecordingHost host{log};
};

TEST_F(LoadedLibrary, ExportsTheFactoryUnderBothNames)
{
    FARPROC plain = GetProcAddress(library, "J27CreateModule");
    FARPROC underscored = GetProcAddress(library, "_J27CreateModule");
    EXPECT_NE(plain, nullptr);
    EXPECT_EQ(plain, underscored);
}

TEST_F(LoadedLibrary, LifeFromCreationToReleaseMakesExactlyTheListedCalls)
{
    Watch();
    IModule* module = create(&host);
    ASSERT_NE(module, nullptr);
    for (uintptr_t request : {uintptr_t{0}, uintptr_t{1}, uintptr_t{0x12345678}, ~uintptr_t{0}}) {
        EXPECT_EQ(module->QueryModuleInterface(request), nullptr) << request;
    }
    module->Release();
    log.Flush();

    EXPECT_THAT(log.calls, ElementsAre("GetInterface PortBus", "GetInterface SoundHub", "GetInterface PageRegistry",
                                       kConnect, "SoundHub.Attach", "PageRegistry.Add",
                                       "SoundHub.Detach", "PortBus.Disconnect", "J27.INI written",
                                       "PageRegistry.Remove"));
    EXPECT_EQ(Profile("Volume"), "100");
    EXPECT_EQ(Profile("Enable"), "1");
}

// Every refused creation: the calls the host sees, and J27.INI left alone.
TEST_F(LoadedLibrary, RefusedCreationsCallOnlyWhatTheyMustAndWriteNothing)
{
    struct Row {
        const char* name;
        bool hasBus;
        bool hasHub;
        bool busAccepts;
        std::vector<std::string> calls;
    } const rows[] = {
        {"no sound hub", true, false, true,
         {"GetInterface PortBus", "GetInterface SoundHub", "GetInterface PageRegistry"}},
        {"no port bus", false, true, true,
         {"GetInterface PortBus", "GetInterface SoundHub", "GetInterface PageRegistry"}},
        {"neither", false, false, true,
         {"GetInterface PortBus", "GetInterface SoundHub", "GetInterface PageRegistry"}},
        {"port bus refuses", true, true, false,
         {"GetInterface PortBus", "GetInterface SoundHub", "GetInterface PageRegistry", kConnect}},
    };
    // A write would add the missing Enable key.
    const std::string planted = "[QUARIX_SOUND]\r\nVolume=70\r\n";
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        ASSERT_TRUE(WriteText(ini, planted));
        CallLog rowLog;
        RecordingHost rowHost(rowLog);
        rowHost.hasBus = row.hasBus;
        rowHost.hasHub = row.hasHub;
        rowHost.bus.accept = row.busAccepts;
        rowLog.Watch(ini, "J27.INI");

        EXPECT_EQ(create(&rowHost), nullptr);
        rowLog.Flush();
        EXPECT_THAT(rowLog.calls, ElementsAreArray(row.calls));
        EXPECT_EQ(ReadText(ini), planted);
    }
}

TEST_F(LoadedLibrary, NullServicesGiveNoModule)
{
    const std::string planted = "[QUARIX_SOUND]\r\nVolume=70\r\n";
    ASSERT_TRUE(WriteText(ini, planted));
    EXPECT_EQ(create(nullptr), nullptr);
    EXPECT_EQ(ReadText(ini), planted);
}

TEST_F(LoadedLibrary, WithoutPageRegistryTheModuleRunsWithoutAPage)
{
    host.hasRegistry = false;
    Watch();
    IModule* module = create(&host);
    ASSERT_NE(module, nullptr);
    module->Release();
    log.Flush();

    EXPECT_THAT(log.calls, ElementsAre("GetInterface PortBus", "GetInterface SoundHub", "GetInterface PageRegistry",
                                       kConnect, "SoundHub.Attach", "SoundHub.Detach", "PortBus.Disconnect",
                                       "J27.INI written"));
}

DWORD WINAPI DoNothing(LPVOID)
{
    return 0;
}

// Thread attach and detach reach the library's entry; the page must still
// name the library's own instance, from which the sheet loads template 101.
TEST_F(LoadedLibrary, PageRecordNamesTheLibraryAfterThreadsCameAndWent)
{
    HANDLE thread = CreateThread(nullptr, 0, DoNothing, nullptr, 0, nullptr);
    ASSERT_NE(thread, nullptr);
    WaitForSingleObject(thread, INFINITE);
    CloseHandle(thread);

    IModule* module = create(&host);
    ASSERT_NE(module, nullptr);
    ASSERT_NE(host.registry.added, nullptr);
    RecordingPageSite site(log, "site");
    PROPSHEETPAGEA record{};
    EXPECT_TRUE(host.registry.added->Setup(&site, &record));
    EXPECT_EQ(record.dwSize, 48u);
    EXPECT_EQ(record.hInstance, library);
    EXPECT_EQ(reinterpret_cast<uintptr_t>(record.pszTemplate), 101u);
    EXPECT_NE(record.pfnDlgProc, nullptr);
    module->Release();
}

// The stored settings reach the sound: Volume 100 is gain 40, at which tone 0
// with period 254 and attenuation 0 renders 8992, then 10922 for 44 frames,
// then 587 (toggle 3525 units into frame 45).
TEST_F(LoadedLibrary, StoredSettingsReachTheSoundThroughTheHostsPorts)
{
    ASSERT_TRUE(WriteText(ini, "[QUARIX_SOUND]\r\nVolume=100\r\nEnable=1\r\n"));
    IModule* module = create(&host);
    ASSERT_NE(module, nullptr);
    ASSERT_NE(host.bus.connected, nullptr);
    ASSERT_NE(host.hub.attached, nullptr);
    const DeviceDescriptor* descriptor = host.bus.connected->GetDescriptor();
    ASSERT_NE(descriptor, nullptr);
    const PortHandler writePort = descriptor->outputTable[3];
    log.calls.clear();

    // Port bytes are the chip's bytes 0x8E, 0x0F, 0x90 with their bits reversed.
    for (uint32_t data : {0x71u, 0xF0u, 0x09u}) {
        writePort(host.bus.connected, 0xAC, data);
    }
    std::vector<StereoFrame> frames(100, StereoFrame{0, 0});
    host.hub.attached->Mix(frames.data(), 100);

    EXPECT_THAT(log.calls, ElementsAre("SoundHub.Update", "SoundHub.Update", "SoundHub.Update"));
    EXPECT_EQ(frames[0].left, 8992);
    for (int i = 1; i <= 44; ++i) {
        ASSERT_EQ(frames[static_cast<size_t>(i)].left, 10922) << "frame " << i;
    }
    EXPECT_EQ(frames[45].left, 587);
    EXPECT_EQ(frames[46].left, 0);
    EXPECT_EQ(frames[45].right, 587);
    module->Release();
}

// The settings page's template, built here from its tables.
class TemplateBytes {
public:
    void Word(uint16_t value)
    {
        bytes.push_back(static_cast<uint8_t>(value));
        bytes.push_back(static_cast<uint8_t>(value >> 8));
    }
    void Dword(uint32_t value)
    {
        Word(static_cast<uint16_t>(value));
        Word(static_cast<uint16_t>(value >> 16));
    }
    void Text(const char16_t* text)
    {
        for (; *text != u'\0'; ++text) {
            Word(static_cast<uint16_t>(*text));
        }
        Word(0);
    }
    void AlignToDword()
    {
        while (bytes.size() % 4 != 0) {
            bytes.push_back(0);
        }
    }
    std::vector<uint8_t> bytes;
};

std::vector<uint8_t> ExpectedTemplate()
{
    TemplateBytes t;
    t.Dword(0x48C00040);  // WS_CHILD | WS_DISABLED | WS_CAPTION | DS_SETFONT
    t.Dword(0);           // extended style
    t.Word(4);            // controls
    t.Word(0);
    t.Word(0);
    t.Word(199);
    t.Word(123);
    t.Word(0);  // no menu
    t.Word(0);  // default class
    t.Text(u"Quarix");
    t.Word(9);
    t.Text(u"\uFF2D\uFF33\u0020\uFF30\u30B4\u30B7\u30C3\u30AF");

    struct Control {
        uint16_t id;
        const char16_t* className;  // null: the ordinal below
        uint16_t classOrdinal;
        const char16_t* text;
        uint32_t style;
        uint16_t x, y, cx, cy;
    } const controls[] = {
        {1001, u"msctls_trackbar32", 0, u"Slider1", 0x50010018, 36, 22, 119, 10},
        {0xFFFF, nullptr, 0x0082, u"Volume", 0x50020000, 4, 22, 29, 10},
        {1002, nullptr, 0x0082, u"0", 0x50020002, 157, 22, 15, 10},
        {1015, nullptr, 0x0080, u"Enable", 0x50010003, 3, 5, 47, 8},
    };
    for (const Control& c : controls) {
        t.AlignToDword();
        t.Dword(c.style);
        t.Dword(0);
        t.Word(c.x);
        t.Word(c.y);
        t.Word(c.cx);
        t.Word(c.cy);
        t.Word(c.id);
        if (c.className != nullptr) {
            t.Text(c.className);
        } else {
            t.Word(0xFFFF);
            t.Word(c.classOrdinal);
        }
        t.Text(c.text);
        t.Word(0);  // no creation data
    }
    return t.bytes;
}

TEST_F(LoadedLibrary, DialogTemplateIsStoredByteForByteUnderJapanese)
{
    HRSRC found = FindResourceExA(library, MAKEINTRESOURCEA(5), MAKEINTRESOURCEA(101),
                                  MAKELANGID(LANG_JAPANESE, SUBLANG_DEFAULT));
    ASSERT_NE(found, nullptr);
    HGLOBAL loaded = LoadResource(library, found);
    ASSERT_NE(loaded, nullptr);
    const auto* data = static_cast<const uint8_t*>(LockResource(loaded));
    const DWORD size = SizeofResource(library, found);
    const std::vector<uint8_t> stored(data, data + size);

    const std::vector<uint8_t> expected = ExpectedTemplate();
    ASSERT_EQ(expected.size(), 234u);
    EXPECT_EQ(stored, expected);
}

}  // namespace
