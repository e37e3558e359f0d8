# Cross-compiles the same 64-bit Windows binaries with clang and lld, against the MinGW-w64
# headers, C runtime and libstdc++ of the GCC toolchain, so that the code stays portable
# beyond one compiler.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(TOOLCHAIN_PREFIX x86_64-w64-mingw32)
set(TW_CLANG_TARGET x86_64-w64-windows-gnu)
set(CMAKE_C_COMPILER   clang)
set(CMAKE_CXX_COMPILER clang++)
set(CMAKE_C_COMPILER_TARGET   ${TW_CLANG_TARGET})
set(CMAKE_CXX_COMPILER_TARGET ${TW_CLANG_TARGET})
set(CMAKE_RC_COMPILER  ${TOOLCHAIN_PREFIX}-windres)
set(CMAKE_SYSROOT /usr/${TOOLCHAIN_PREFIX})

# The GCC toolchain's C++ library (posix threads model) and its runtime libraries.
file(GLOB tw_gcc_dirs LIST_DIRECTORIES true /usr/lib/gcc/${TOOLCHAIN_PREFIX}/*-posix)
list(GET tw_gcc_dirs 0 tw_gcc_dir)
set(CMAKE_CXX_STANDARD_INCLUDE_DIRECTORIES ${tw_gcc_dir}/include/c++ ${tw_gcc_dir}/include/c++/${TOOLCHAIN_PREFIX})
set(CMAKE_C_FLAGS_INIT "")
set(CMAKE_CXX_FLAGS_INIT "")
# libstdc++ of the posix model needs winpthreads (static like the rest of the runtimes; lld
# resolves archives whatever their place on the line).
set(CMAKE_EXE_LINKER_FLAGS_INIT "-fuse-ld=lld -L${tw_gcc_dir} -lpthread")
# DLLs (the ULIP fixture's versioned libraries) are linked by lld too: the host's ld knows
# neither the target nor the GCC toolchain's runtime folder.
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-fuse-ld=lld -L${tw_gcc_dir} -lpthread")

set(CMAKE_FIND_ROOT_PATH /usr/${TOOLCHAIN_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)

set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/../tools/wine-run)
