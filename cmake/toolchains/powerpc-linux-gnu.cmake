# Cross build for Linux on 32-bit PowerPC, big-endian, with Debian's
# g++-powerpc-linux-gnu; tests run under qemu-ppc. It stands in for 32-bit
# SPARC, which Debian no longer targets: big-endian with 32-bit long and
# pointers, so it exercises the same byte-order and type-width paths.
set(SECNATIVE_CROSS_TRIPLET powerpc-linux-gnu)
set(SECNATIVE_CROSS_PROCESSOR powerpc)
set(SECNATIVE_CROSS_QEMU qemu-ppc)
include(${CMAKE_CURRENT_LIST_DIR}/linux-cross.cmake)
