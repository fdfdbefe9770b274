#include "config/settings_store.h"

#include <cstdint>
#include <cstdio>

#include "config/config_dlg.h"
#include "device/device.h"

namespace {

constexpr char kIniName[] = "J27.INI";
constexpr char kSection[] = "QUARIX_SOUND";
constexpr uint32_t kVolumeBias = 100;  // Volume is stored as volume + 100

}  // namespace

void LocateIni(char (&path)[MAX_PATH])
{
    path[0] = '\0';
    // A name cut short to fit the buffer is not always reported: under Wine,
    // when a double-byte character does not fit, it comes back a byte short
    // and terminated, as if whole. With twice the room, any cut name is
    // longer than MAX_PATH, which the profile functions cannot take anyway.
    char exePath[2 * MAX_PATH];
    const DWORD exeLength = GetModuleFileNameA(nullptr, exePath, sizeof exePath);
    if (exeLength == 0 || exeLength >= MAX_PATH) {
        return;  // failed, too long, or cut short
    }
    char* fileName = nullptr;
    const DWORD fullLength = GetFullPathNameA(exePath, MAX_PATH, path, &fileName);
    const auto start = reinterpret_cast<uintptr_t>(path);
    const auto at = reinterpret_cast<uintptr_t>(fileName);
    // The name goes where the platform says the file name starts, inside
    // what it wrote, and must fit there with its terminator.
    if (fullLength == 0 || fullLength >= MAX_PATH || fileName == nullptr || at < start ||
        at > start + fullLength || at - start + sizeof kIniName > MAX_PATH) {
        path[0] = '\0';
        return;
    }
    lstrcpyA(fileName, kIniName);
}

SoundSettings ReadSettings(const char* iniPath)
{
    // Two's-complement arithmetic, so every stored number comes back
    // unchanged through WriteSettings, the extremes included.
    const UINT stored = GetPrivateProfileIntA(kSection, "Volume", static_cast<INT>(kVolumeBias), iniPath);
    SoundSettings settings;
    settings.volume = static_cast<int32_t>(static_cast<uint32_t>(stored) - kVolumeBias);
    settings.enable = static_cast<int32_t>(GetPrivateProfileIntA(kSection, "Enable", kDefaultSettings.enable, iniPath));
    return settings;
}

void WriteSettings(const char* iniPath, const SoundSettings& settings)
{
    char text[16];
    std::snprintf(text, sizeof text, "%d",
                  static_cast<int>(static_cast<int32_t>(static_cast<uint32_t>(settings.volume) + kVolumeBias)));
    WritePrivateProfileStringA(kSection, "Volume", text, iniPath);
    std::snprintf(text, sizeof text, "%d", static_cast<int>(settings.enable));
    WritePrivateProfileStringA(kSection, "Enable", text, iniPath);
}

void ConfigDlg::Init(HINSTANCE moduleInstance, Quarix* quarix)
{
    instance = moduleInstance;
    LocateIni(iniPath);
    settings = iniPath[0] != '\0' ? ReadSettings(iniPath) : kDefaultSettings;
    device = quarix;
    if (device != nullptr) {
        device->ApplySettings(&settings);
    }
}

void ConfigDlg::Save()
{
    if (iniPath[0] != '\0') {
        WriteSettings(iniPath, settings);
    }
}
