set(CMAKE_SYSTEM_NAME Windows)
# The posix thread model: std::thread and std::mutex exist (googletest needs
# them); -static links winpthread in, so no extra DLL ships.
set(CMAKE_SYSTEM_PROCESSOR x86)
find_program(CMAKE_C_COMPILER   NAMES i686-w64-mingw32-gcc-posix i686-w64-mingw32-gcc REQUIRED)
find_program(CMAKE_CXX_COMPILER NAMES i686-w64-mingw32-g++-posix i686-w64-mingw32-g++ REQUIRED)
find_program(CMAKE_RC_COMPILER  i686-w64-mingw32-windres REQUIRED)
set(CMAKE_FIND_ROOT_PATH /usr/i686-w64-mingw32)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)  # tools run on the build machine
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)   # libraries and headers: target only
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
