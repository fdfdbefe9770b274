// A host for ini_fault.sh: creates and releases one module beside a J27.INI
// that the script has made unwritable, or that a second process of this
// program holds open without sharing. Every wait is bounded; exit code 0
// means the module was created and its release came back.
//
//   ini_fault_host.exe [--held]       the host; Quarix.j27 lies beside it
//   ini_fault_host.exe --hold <file> <ready event> <done event>

#include <windows.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "contract/module_api.h"
#include "tests/support/recording_host.h"
#include "tests/support/scratch_dir.h"

namespace {

constexpr DWORD kWaitMs = 30000;

int Hold(const char* file, const char* ready, const char* done)
{
    HANDLE held = CreateFileA(file, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    HANDLE readyEvent = OpenEventA(EVENT_MODIFY_STATE, FALSE, ready);
    HANDLE doneEvent = OpenEventA(SYNCHRONIZE, FALSE, done);
    if (held == INVALID_HANDLE_VALUE || readyEvent == nullptr || doneEvent == nullptr) {
        std::fprintf(stderr, "holder: cannot open %s or the events\n", file);
        return 1;
    }
    SetEvent(readyEvent);
    WaitForSingleObject(doneEvent, kWaitMs);
    CloseHandle(held);
    return 0;
}

// Starts a second process of this program that opens the file without
// sharing; returns once it holds the file.
bool StartHolder(const std::string& file, HANDLE done, PROCESS_INFORMATION* holder)
{
    const std::string suffix = std::to_string(GetCurrentProcessId());
    const std::string readyName = "QuarixIniReady" + suffix;
    const std::string doneName = "QuarixIniDone" + suffix;
    HANDLE ready = CreateEventA(nullptr, TRUE, FALSE, readyName.c_str());
    HANDLE doneNamed = CreateEventA(nullptr, TRUE, FALSE, doneName.c_str());
    if (ready == nullptr || doneNamed == nullptr || !DuplicateHandle(GetCurrentProcess(), doneNamed, GetCurrentProcess(),
                                                                     reinterpret_cast<HANDLE*>(done), 0, FALSE,
                                                                     DUPLICATE_SAME_ACCESS)) {
        return false;
    }
    std::string command = "\"";
    command.append(ThisProgram()).append("\" --hold \"").append(file).append("\" ");
    command.append(readyName).append(" ").append(doneName);
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    if (!CreateProcessA(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, holder)) {
        return false;
    }
    HANDLE waits[2] = {ready, holder->hProcess};
    return WaitForMultipleObjects(2, waits, FALSE, kWaitMs) == WAIT_OBJECT_0;
}

DWORD WINAPI ReleaseModule(LPVOID module)
{
    static_cast<IModule*>(module)->Release();
    return 0;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc == 5 && std::strcmp(argv[1], "--hold") == 0) {
        return Hold(argv[2], argv[3], argv[4]);
    }
    const bool held = argc == 2 && std::strcmp(argv[1], "--held") == 0;
    const std::string dir = DirectoryOf(ThisProgram());

    HMODULE library = nullptr;
    J27CreateModuleFn create = LoadQuarix(dir, &library);
    CallLog log;
    RecordingHost host(log);
    IModule* module = create != nullptr ? create(&host) : nullptr;
    if (module == nullptr) {
        std::fprintf(stderr, "no module from %s\\Quarix.j27\n", dir.c_str());
        return 1;
    }

    HANDLE done = nullptr;
    PROCESS_INFORMATION holder{};
    if (held && !StartHolder(dir + "\\J27.INI", &done, &holder)) {
        std::fprintf(stderr, "the holder did not take J27.INI\n");
        return 1;
    }

    // The release runs on a thread of its own so that a hang shows as one.
    HANDLE releasing = CreateThread(nullptr, 0, ReleaseModule, module, 0, nullptr);
    const bool released = releasing != nullptr && WaitForSingleObject(releasing, kWaitMs) == WAIT_OBJECT_0;
    if (held) {
        SetEvent(done);
        WaitForSingleObject(holder.hProcess, kWaitMs);
    }
    if (!released) {
        std::fprintf(stderr, "the release did not return within %lu ms\n", kWaitMs);
        std::fflush(stderr);
        TerminateProcess(GetCurrentProcess(), 2);
    }
    const bool unregistered = host.registry.added == nullptr && host.bus.connected == nullptr;
    FreeLibrary(library);
    std::printf("released%s\n", unregistered ? "" : " (page or port bus still bound)");
    return unregistered ? 0 : 1;
}
