// The platform layer under Win32.

#include "host/platform.h"

#include <fcntl.h>
#include <stdlib.h>
#include <io.h>
#include <windows.h>

namespace {

// \\?\C:\... or \\?\UNC\server\..., as the final-path call gives it, back to the usual forms.
std::string WithoutLongPrefix(const std::string& full)
{
    if (full.rfind("\\\\?\\UNC\\", 0) == 0) {
        return "\\\\" + full.substr(8);
    }
    if (full.rfind("\\\\?\\", 0) == 0) {
        return full.substr(4);
    }
    return full;
}

}  // namespace

Result MoveIntoPlace(const std::string& from, const std::string& to)
{
    // rename() on Windows refuses to replace an existing file.
    if (MoveFileExA(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING) == 0) {
        return Result::Failure("cannot rename into place (error " + std::to_string(GetLastError()) + ")");
    }
    return {};
}

bool PathExists(const std::string& path)
{
    return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

LinkResult LinkFile(const std::string& existing, const std::string& name)
{
    if (CreateHardLinkA(name.c_str(), existing.c_str(), nullptr) != 0) {
        return LinkResult::Made;
    }
    return GetLastError() == ERROR_ALREADY_EXISTS ? LinkResult::NameTaken : LinkResult::Failed;
}

Result InspectPath(const std::string& path, PathKind* kind, std::string* finalPath)
{
    *finalPath = path;
    *kind = PathKind::Missing;
    // Devices (NUL, CON, pipes) open as files of another type than disk.
    const HANDLE h = CreateFileA(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                 OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        return {};
    }
    const DWORD type = GetFileType(h);
    // The file the path leads to, through any symbolic link.
    char resolved[MAX_PATH + 8];
    const DWORD n = type == FILE_TYPE_DISK ? GetFinalPathNameByHandleA(h, resolved, sizeof resolved, 0) : 0;
    CloseHandle(h);
    if (n > 0 && n < sizeof resolved) {
        *finalPath = WithoutLongPrefix(std::string(resolved, n));
    }
    const DWORD attributes = GetFileAttributesA(path.c_str());
    if (type != FILE_TYPE_DISK) {
        *kind = PathKind::Other;
    } else if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
        *kind = PathKind::Directory;
    } else {
        *kind = PathKind::RegularFile;
    }
    return {};
}

bool IsTerminal(std::FILE* stream)
{
    return _isatty(_fileno(stream)) != 0;
}

void SetBinaryMode(std::FILE* stream)
{
    _setmode(_fileno(stream), _O_BINARY);
}

namespace {

// utf8 in code page `page`, or utf8 itself where it does not convert;
// `flags` says how MultiByteToWideChar takes bytes that are not UTF-8.
std::string Recode(const std::string& utf8, UINT page, DWORD flags)
{
    const int size = static_cast<int>(utf8.size());
    const int wide = MultiByteToWideChar(CP_UTF8, flags, utf8.data(), size, nullptr, 0);
    if (wide <= 0) {
        return utf8;
    }
    std::wstring text(static_cast<size_t>(wide), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, utf8.data(), size, &text[0], wide);
    const int narrow = WideCharToMultiByte(page, 0, text.data(), wide, nullptr, 0, nullptr, nullptr);
    if (narrow <= 0) {
        return utf8;
    }
    std::string result(static_cast<size_t>(narrow), '\0');
    WideCharToMultiByte(page, 0, text.data(), wide, &result[0], narrow, nullptr, nullptr);
    return result;
}

}  // namespace

std::string TextForStream(const std::string& utf8, std::FILE* stream)
{
    if (utf8.empty() || !IsTerminal(stream)) {
        return utf8;
    }
    return Recode(utf8, GetConsoleOutputCP(), 0);
}

std::string PathFromUtf8(const std::string& utf8)
{
    return Recode(utf8, CP_ACP, MB_ERR_INVALID_CHARS);
}

void SetProcessEnvironment(const char* name, const char* value)
{
    // The C runtime's own environment (msvcrt.dll's), which the DLLs beside
    // the program read with getenv; an empty value removes the variable.
    _putenv_s(name, value != nullptr ? value : "");
}

int ProcessorCount()
{
    SYSTEM_INFO info;
    GetSystemInfo(&info);
    return info.dwNumberOfProcessors > 0 ? static_cast<int>(info.dwNumberOfProcessors) : 1;
}

Result StartChild(const std::function<bool(std::FILE*)>&, std::FILE*, long*)
{
    return Result::Failure("cannot start a process: renders run one after another here");
}

ChildEnd WaitForChild()
{
    return {};
}
