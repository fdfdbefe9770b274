#include "tests/support/scratch_dir.h"

#include <windows.h>

#include <cstring>
#include <vector>

namespace {

// \\?\ lifts the MAX_PATH limit of the wide file functions.
std::wstring Long(const std::string& path)
{
    return L"\\\\?\\" + Widen(path);
}

std::string Narrow(const wchar_t* text)
{
    std::string narrow;
    for (; *text != L'\0'; ++text) {
        narrow += static_cast<char>(*text);
    }
    return narrow;
}

// Wide throughout, so that names outside ASCII are followed too.
void RemoveTree(const std::wstring& path)
{
    WIN32_FIND_DATAW entry;
    HANDLE search = FindFirstFileW((path + L"\\*").c_str(), &entry);
    if (search != INVALID_HANDLE_VALUE) {
        do {
            const std::wstring name = entry.cFileName;
            if (name == L"." || name == L"..") {
                continue;
            }
            const std::wstring child = path + L"\\" + name;
            if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
                RemoveTree(child);
            } else {
                SetFileAttributesW(child.c_str(), FILE_ATTRIBUTE_NORMAL);
                DeleteFileW(child.c_str());
            }
        } while (FindNextFileW(search, &entry));
        FindClose(search);
    }
    RemoveDirectoryW(path.c_str());
}

void FindFilesIn(const std::wstring& path, const std::wstring& name, std::string& found)
{
    WIN32_FIND_DATAW entry;
    HANDLE search = FindFirstFileW((path + L"\\*").c_str(), &entry);
    if (search == INVALID_HANDLE_VALUE) {
        return;
    }
    do {
        const std::wstring child = entry.cFileName;
        if (child == L"." || child == L"..") {
            continue;
        }
        if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            FindFilesIn(path + L"\\" + child, name, found);
        } else if (lstrcmpiW(child.c_str(), name.c_str()) == 0) {
            // Reported without the leading \\?\ of the long form.
            found += Narrow((path + L"\\" + child).c_str() + 4) + "\n";
        }
    } while (FindNextFileW(search, &entry));
    FindClose(search);
}

}  // namespace

std::wstring Widen(const std::string& path)
{
    std::wstring wide(path.size(), L'\0');
    for (size_t i = 0; i < path.size(); ++i) {
        wide[i] = static_cast<wchar_t>(static_cast<unsigned char>(path[i]));
    }
    return wide;
}

std::string ThisProgram()
{
    std::vector<wchar_t> buffer(32768);
    const DWORD length = GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
    buffer[length] = L'\0';
    return Narrow(buffer.data());
}

std::string DirectoryOf(const std::string& path)
{
    const size_t slash = path.find_last_of("\\/");
    return slash == std::string::npos ? std::string(".") : path.substr(0, slash);
}

ScratchDir::ScratchDir(const char* tag)
{
    char temp[MAX_PATH];
    GetTempPathA(MAX_PATH, temp);
    std::string base = temp;
    if (!base.empty() && base.back() == '\\') {
        base.pop_back();
    }
    for (unsigned n = GetTickCount() ^ (GetCurrentProcessId() << 12);; ++n) {
        path = base + "\\qrx-" + tag + "-" + std::to_string(n % 100000);
        if (CreateDirectoryA(path.c_str(), nullptr)) {
            return;
        }
        if (GetLastError() != ERROR_ALREADY_EXISTS) {
            path.clear();
            return;
        }
    }
}

ScratchDir::~ScratchDir()
{
    // A program that has just ended may hold its file a moment longer.
    for (int attempt = 0; attempt < 50 && !path.empty() && FileExists(path); ++attempt) {
        if (attempt > 0) {
            Sleep(100);
        }
        RemoveTree(Long(path));
    }
}

bool MakeDirectory(const std::string& path)
{
    return CreateDirectoryW(Long(path).c_str(), nullptr) != 0;
}

bool CopyProgram(const std::string& from, const std::string& to)
{
    return CopyFileW(Long(from).c_str(), Long(to).c_str(), FALSE) != 0;
}

bool WriteText(const std::string& path, const std::string& text)
{
    HANDLE file = CreateFileW(Long(path).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return false;
    }
    DWORD written = 0;
    const BOOL ok = WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
    CloseHandle(file);
    return ok && written == text.size();
}

bool FileExists(const std::string& path)
{
    return GetFileAttributesW(Long(path).c_str()) != INVALID_FILE_ATTRIBUTES;
}

std::string ProfileText(const char* section, const char* key, const std::string& file)
{
    char text[64];
    GetPrivateProfileStringA(section, key, "<missing>", text, sizeof text, file.c_str());
    return text;
}

std::string ReadText(const std::string& path)
{
    HANDLE file = CreateFileW(Long(path).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return {};
    }
    std::string text;
    char chunk[4096];
    DWORD got = 0;
    while (ReadFile(file, chunk, sizeof chunk, &got, nullptr) && got > 0) {
        text.append(chunk, got);
    }
    CloseHandle(file);
    return text;
}

std::string FindFiles(const std::string& root, const std::string& name)
{
    std::string found;
    FindFilesIn(Long(root), Widen(name), found);
    return found;
}

int RunProgram(const std::string& program, const std::string& arguments)
{
    return RunProgram(Widen(program), Widen(arguments));
}

int RunProgram(const std::wstring& program, const std::wstring& arguments)
{
    std::wstring line = L"\"" + program + L"\" " + arguments;
    std::vector<wchar_t> commandLine(line.begin(), line.end());
    commandLine.push_back(L'\0');
    // The child reports on this program's output, which a test runner reads.
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    startup.hStdOutput = GetStdHandle(STD_OUTPUT_HANDLE);
    startup.hStdError = GetStdHandle(STD_ERROR_HANDLE);
    for (HANDLE handle : {startup.hStdInput, startup.hStdOutput, startup.hStdError}) {
        SetHandleInformation(handle, HANDLE_FLAG_INHERIT, HANDLE_FLAG_INHERIT);
    }
    PROCESS_INFORMATION process{};
    if (!CreateProcessW(program.c_str(), commandLine.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup,
                        &process)) {
        return -1;
    }
    WaitForSingleObject(process.hProcess, INFINITE);
    DWORD code = 0;
    GetExitCodeProcess(process.hProcess, &code);
    CloseHandle(process.hProcess);
    CloseHandle(process.hThread);
    return static_cast<int>(code);
}

int RunFromScratchCopy(int argc, char** argv, std::string& originalDir)
{
    constexpr char kMarker[] = "--from=";
    for (int i = 1; i < argc; ++i) {
        if (std::strncmp(argv[i], kMarker, sizeof kMarker - 1) == 0) {
            originalDir = argv[i] + sizeof kMarker - 1;
            return -2;
        }
    }
    const std::string self = ThisProgram();
    ScratchDir scratch("run");
    const std::string copy = scratch.File("host.exe");
    if (scratch.Path().empty() || !CopyProgram(self, copy)) {
        return 1;
    }
    std::string arguments = std::string("\"") + kMarker + DirectoryOf(self) + "\"";
    for (int i = 1; i < argc; ++i) {
        arguments += std::string(" \"") + argv[i] + "\"";
    }
    return RunProgram(copy, arguments);
}
