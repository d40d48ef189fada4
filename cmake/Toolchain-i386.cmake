# Builds Pairloom for i386 (32-bit x86) on an amd64 Debian machine with the multilib compiler
# and the i386 libraries that scripts/setup-i386 installs beside the amd64 ones:
#   cmake -S . -B build/i386 -G Ninja --toolchain cmake/Toolchain-i386.cmake
# Qt's code generators (moc, uic, rcc) are the amd64 host programs; they serve both builds.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR i686)

set(CMAKE_C_COMPILER gcc)
set(CMAKE_CXX_COMPILER g++)
# Floating point on SSE2 as in the 64-bit build: the x87 unit keeps intermediate results in
# 80 bits, so a similarity could compare differently against its threshold than the same
# double does in the 64-bit build. The i386 build therefore needs an SSE2 processor.
set(CMAKE_C_FLAGS_INIT "-m32 -msse2 -mfpmath=sse")
set(CMAKE_CXX_FLAGS_INIT "-m32 -msse2 -mfpmath=sse")
set(CMAKE_EXE_LINKER_FLAGS_INIT "-m32")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-m32")
set(CMAKE_MODULE_LINKER_FLAGS_INIT "-m32")

# Libraries, headers and CMake packages come from the i386 multiarch folders
# (/usr/lib/i386-linux-gnu, /usr/include/i386-linux-gnu); programs from the host.
set(CMAKE_LIBRARY_ARCHITECTURE i386-linux-gnu)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(ENV{PKG_CONFIG_LIBDIR} "/usr/lib/i386-linux-gnu/pkgconfig:/usr/share/pkgconfig")
set(ENV{PKG_CONFIG_PATH} "")

# Tests and test discovery run the i386 binaries. Where the kernel runs 32-bit programs they
# run as they are; where it does not (some virtual machines leave the 32-bit mode out), they run
# under QEMU's user-mode emulator, which scripts/setup-i386 installs there. The i386 dynamic
# loader, itself an i386 program, tells which.
execute_process(COMMAND /lib/ld-linux.so.2 --version
    RESULT_VARIABLE _pairloom_i386_native OUTPUT_QUIET ERROR_QUIET)
if(NOT _pairloom_i386_native EQUAL 0)
    find_program(PAIRLOOM_I386_EMULATOR qemu-i386 REQUIRED)
    # GStreamer looks over its plugins in a helper program of its own, which the kernel would
    # have to start as a 32-bit program: under the emulator it looks them over in-process.
    set(CMAKE_CROSSCOMPILING_EMULATOR ${PAIRLOOM_I386_EMULATOR} -E GST_REGISTRY_FORK=no)
endif()
