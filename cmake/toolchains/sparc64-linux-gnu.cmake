# Cross build for Linux on 64-bit SPARC, big-endian, with Debian's
# g++-sparc64-linux-gnu; tests run under qemu-sparc64.
set(SECNATIVE_CROSS_TRIPLET sparc64-linux-gnu)
set(SECNATIVE_CROSS_PROCESSOR sparc64)
set(SECNATIVE_CROSS_QEMU qemu-sparc64)
include(${CMAKE_CURRENT_LIST_DIR}/linux-cross.cmake)
