# Shared part of the Linux cross toolchains. The including file sets
# SECNATIVE_CROSS_TRIPLET (the GNU triplet of Debian's cross compiler),
# SECNATIVE_CROSS_PROCESSOR and SECNATIVE_CROSS_QEMU (the qemu-user binary
# that runs the target's programs).
#
# Debian's cross compilers carry their target libraries in /usr/<triplet>
# and find them there on their own, so no --sysroot is passed; the same
# directory is qemu's library prefix (-L) and CMake's find root.

set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR ${SECNATIVE_CROSS_PROCESSOR})

set(CMAKE_C_COMPILER ${SECNATIVE_CROSS_TRIPLET}-gcc)
set(CMAKE_CXX_COMPILER ${SECNATIVE_CROSS_TRIPLET}-g++)

set(secnative_cross_root /usr/${SECNATIVE_CROSS_TRIPLET})
set(CMAKE_FIND_ROOT_PATH ${secnative_cross_root})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Test programs, GoogleTest's test discovery included, run under qemu-user.
find_program(SECNATIVE_QEMU_PROGRAM ${SECNATIVE_CROSS_QEMU} REQUIRED)
set(CMAKE_CROSSCOMPILING_EMULATOR ${SECNATIVE_QEMU_PROGRAM} -L ${secnative_cross_root})

# The JNI headers of the build machine's JDK serve every Linux target: jni.h
# is the same everywhere and jni_md.h picks jlong by the target's _LP64. Only
# the headers are used; the natives are never linked against libjvm. Giving
# the paths as cache entries keeps FindJNI from searching the target root,
# where no JDK lives.
if(DEFINED ENV{JAVA_HOME} AND EXISTS "$ENV{JAVA_HOME}/include/jni.h")
    set(secnative_jdk "$ENV{JAVA_HOME}")
else()
    set(secnative_jdk /usr/lib/jvm/java-17-openjdk-amd64)
endif()
set(JAVA_INCLUDE_PATH ${secnative_jdk}/include CACHE PATH "jni.h of the build machine's JDK")
set(JAVA_INCLUDE_PATH2 ${secnative_jdk}/include/linux CACHE PATH "jni_md.h of that JDK")
set(JAVA_AWT_INCLUDE_PATH ${secnative_jdk}/include CACHE PATH "jawt.h of that JDK (unused)")
