# What both cross toolchains share; each names its triple in TOOLCHAIN_PREFIX
# and its processor first. The posix thread model is needed by GoogleTest
# (std::mutex).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_C_COMPILER ${TOOLCHAIN_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${TOOLCHAIN_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER ${TOOLCHAIN_PREFIX}-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${TOOLCHAIN_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
# Tests run under Wine's loader for this build (named by the triple's first
# part, i686 or x86_64), never Debian's wine wrapper (which always picks the
# 32-bit one).
string(REGEX REPLACE "-.*" "" PLIMZOR_LOADER_ARCH ${TOOLCHAIN_PREFIX})
set(CMAKE_CROSSCOMPILING_EMULATOR "${CMAKE_CURRENT_LIST_DIR}/../scripts/wine-exec;${PLIMZOR_LOADER_ARCH}")
