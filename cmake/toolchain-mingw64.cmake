# Cross build for 64-bit Windows with Debian's MinGW-w64 (POSIX threads, so
# that std::thread works), against a Qt built for Windows with it:
#   cmake -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-mingw64.cmake -DCMAKE_PREFIX_PATH=<Qt for Windows>
# What is built here runs under Wine; CTest runs the tests that way
# (cmake/WindowsDeploy.cmake).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(VM_MINGW_TRIPLE x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${VM_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${VM_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${VM_MINGW_TRIPLE}-windres)

# Headers and libraries from the MinGW tree, not from this machine; programs
# from this machine. Packages (Qt) where CMAKE_PREFIX_PATH says: the Qt for
# Windows lies outside the MinGW tree, and its moc, uic and rcc are Linux tools.
set(CMAKE_FIND_ROOT_PATH /usr/${VM_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE BOTH)
