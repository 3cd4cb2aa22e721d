# zstd: Debian's source package, built for Windows by scripts/setup into a cache
# (VESKO_ZSTD_ROOT); the fuzz build compiles its decoder with coverage
# (VESKO_ZSTD_SOURCE); natively the system library.
set(VESKO_ZSTD_ROOT "" CACHE PATH "zstd built for Windows: include/ and lib/libzstd.a")
set(VESKO_ZSTD_SOURCE "" CACHE PATH "zstd sources, compiled into the fuzz build")

add_library(vesko_zstd INTERFACE)
if(VESKO_FUZZ)
  if(NOT VESKO_ZSTD_SOURCE)
    message(FATAL_ERROR "the fuzz build needs VESKO_ZSTD_SOURCE")
  endif()
  set(_zs ${VESKO_ZSTD_SOURCE}/lib)
  add_library(vesko_zstd_src STATIC
    ${_zs}/common/debug.c ${_zs}/common/entropy_common.c ${_zs}/common/error_private.c
    ${_zs}/common/fse_decompress.c ${_zs}/common/xxhash.c ${_zs}/common/zstd_common.c
    ${_zs}/decompress/huf_decompress.c ${_zs}/decompress/zstd_ddict.c
    ${_zs}/decompress/zstd_decompress.c ${_zs}/decompress/zstd_decompress_block.c)
  target_include_directories(vesko_zstd_src SYSTEM PUBLIC ${_zs})
  target_compile_definitions(vesko_zstd_src PRIVATE XXH_NAMESPACE=ZSTD_ ZSTD_LEGACY_SUPPORT=0 ZSTD_DISABLE_ASM ZSTD_TRACE=0)
  target_compile_options(vesko_zstd_src PRIVATE -fsanitize=fuzzer-no-link)
  target_link_libraries(vesko_zstd INTERFACE vesko_zstd_src)
elseif(WIN32)
  if(NOT VESKO_ZSTD_ROOT)
    message(FATAL_ERROR "the Windows build needs VESKO_ZSTD_ROOT (run scripts/setup)")
  endif()
  target_include_directories(vesko_zstd SYSTEM INTERFACE ${VESKO_ZSTD_ROOT}/include)
  target_link_libraries(vesko_zstd INTERFACE ${VESKO_ZSTD_ROOT}/lib/libzstd.a)
else()
  find_package(PkgConfig REQUIRED)
  pkg_check_modules(ZSTD REQUIRED IMPORTED_TARGET libzstd)
  target_link_libraries(vesko_zstd INTERFACE PkgConfig::ZSTD)
endif()

if(NOT WIN32)
  find_package(OpenSSL REQUIRED COMPONENTS Crypto)
endif()

# GoogleTest: built from Debian's sources for Windows, the system's build natively.
if(NOT VESKO_FUZZ)
  if(WIN32)
    set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
    set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
    add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL SYSTEM)
  else()
    find_package(GTest REQUIRED)
  endif()
endif()

if(CMAKE_CROSSCOMPILING AND WIN32)
  set(VESKO_WINEPREFIX ${CMAKE_BINARY_DIR}/wineprefix)
  configure_file(${CMAKE_SOURCE_DIR}/cmake/wine-run.sh.in ${CMAKE_BINARY_DIR}/wine-run.sh
                 FILE_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE
                 @ONLY)
  if(NOT CMAKE_CROSSCOMPILING_EMULATOR)
    set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_BINARY_DIR}/wine-run.sh)
  endif()
endif()
