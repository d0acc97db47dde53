# 32-bit x86 Linux with the multilib GCC. Tests run the programs as they are: where a kernel
# refuses i386 programs, scripts/setup-deps has registered qemu-i386 for them (binfmt_misc).
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR i686)
set(CMAKE_C_COMPILER gcc)
set(CMAKE_CXX_COMPILER g++)
set(CMAKE_C_FLAGS_INIT -m32)
set(CMAKE_CXX_FLAGS_INIT -m32)
set(CMAKE_EXE_LINKER_FLAGS_INIT -m32)
set(CMAKE_SHARED_LINKER_FLAGS_INIT -m32)
set(ZENTRO_M32 ON CACHE BOOL "" FORCE)
set(ZENTRO_QRENCODE_PREFIX "$ENV{HOME}/.cache/zentrolink/qrencode/m32" CACHE PATH "")
