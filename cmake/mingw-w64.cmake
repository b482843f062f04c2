# Shared part of the mingw-w64 toolchain files. The including file sets
# CORVANE_MINGW_TRIPLE (i686-w64-mingw32 or x86_64-w64-mingw32) and
# CORVANE_MINGW_THREADS (win32 for the release, posix for GoogleTest programs).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR ${CORVANE_MINGW_ARCH})

set(CMAKE_C_COMPILER ${CORVANE_MINGW_TRIPLE}-gcc-${CORVANE_MINGW_THREADS})
set(CMAKE_CXX_COMPILER ${CORVANE_MINGW_TRIPLE}-g++-${CORVANE_MINGW_THREADS})
set(CMAKE_RC_COMPILER ${CORVANE_MINGW_TRIPLE}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${CORVANE_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)

# No runtime DLLs beside the exe, and a PE header that Windows 2000 accepts.
set(CMAKE_EXE_LINKER_FLAGS_INIT
    "-static -Wl,--major-subsystem-version,5,--minor-subsystem-version,0")

# The release is downloaded and unpacked on old machines: functions and data
# that nothing references stay out of it.
set(CMAKE_C_FLAGS_MINSIZEREL_INIT "-Os -DNDEBUG -ffunction-sections -fdata-sections")
set(CMAKE_CXX_FLAGS_MINSIZEREL_INIT "-Os -DNDEBUG -ffunction-sections -fdata-sections")
set(CMAKE_EXE_LINKER_FLAGS_MINSIZEREL_INIT "-Wl,--gc-sections")
