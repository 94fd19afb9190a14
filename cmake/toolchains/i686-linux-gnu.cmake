# Cross build for Linux on 32-bit Intel, little-endian, with Debian's
# g++-i686-linux-gnu; tests run under qemu-i386.
set(SECNATIVE_CROSS_TRIPLET i686-linux-gnu)
set(SECNATIVE_CROSS_PROCESSOR i686)
set(SECNATIVE_CROSS_QEMU qemu-i386)
include(${CMAKE_CURRENT_LIST_DIR}/linux-cross.cmake)

# Programs, the test executables among them, are linked statically: under
# qemu-i386 the dynamically linked i386 C library hangs in fork(), which
# GoogleTest's death tests use. The library itself stays a shared object.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
