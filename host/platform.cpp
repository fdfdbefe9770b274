#include "host/platform.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

#if defined(_WIN32)
#  include <fcntl.h>
#  include <io.h>
#  include <windows.h>
#else
#  include <unistd.h>
#endif

bool MoveIntoPlace(const std::string& from, const std::string& to, std::string* error)
{
#if defined(_WIN32)
    // rename() on Windows refuses to replace an existing file.
    if (MoveFileExA(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING) == 0) {
        *error = "cannot rename into place (error " + std::to_string(GetLastError()) + ")";
        return false;
    }
#else
    if (std::rename(from.c_str(), to.c_str()) != 0) {
        *error = std::string("cannot rename into place: ") + std::strerror(errno);
        return false;
    }
#endif
    return true;
}

bool StderrIsTerminal()
{
#if defined(_WIN32)
    return _isatty(_fileno(stderr)) != 0;
#else
    return isatty(fileno(stderr)) != 0;
#endif
}

void SetBinaryMode(std::FILE* stream)
{
#if defined(_WIN32)
    _setmode(_fileno(stream), _O_BINARY);
#else
    (void)stream;
#endif
}

int ProcessorCount()
{
#if defined(_WIN32)
    SYSTEM_INFO info;
    GetSystemInfo(&info);
    return info.dwNumberOfProcessors > 0 ? static_cast<int>(info.dwNumberOfProcessors) : 1;
#else
    const long n = sysconf(_SC_NPROCESSORS_ONLN);
    return n > 0 ? static_cast<int>(n) : 1;
#endif
}

std::string TextForStream(const std::string& utf8, std::FILE* stream)
{
#if defined(_WIN32)
    if (utf8.empty() || _isatty(_fileno(stream)) == 0) {
        return utf8;
    }
    const int size = static_cast<int>(utf8.size());
    const int wide = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), size, nullptr, 0);
    if (wide <= 0) {
        return utf8;
    }
    std::wstring text(static_cast<size_t>(wide), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, utf8.data(), size, &text[0], wide);
    const UINT page = GetConsoleOutputCP();
    const int narrow = WideCharToMultiByte(page, 0, text.data(), wide, nullptr, 0, nullptr, nullptr);
    if (narrow <= 0) {
        return utf8;
    }
    std::string result(static_cast<size_t>(narrow), '\0');
    WideCharToMultiByte(page, 0, text.data(), wide, &result[0], narrow, nullptr, nullptr);
    return result;
#else
    (void)stream;
    return utf8;
#endif
}
