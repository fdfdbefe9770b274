#include "host/platform.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

#if defined(_WIN32)
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
