# Helpers shared by every folder's CMakeLists.txt.

if(WIN32)
  set(PELMAR_PLATFORM win)
else()
  set(PELMAR_PLATFORM posix)
endif()

if(WIN32)
  # Statically linked: the product and its tests import only system DLLs.
  add_compile_definitions(UNICODE _UNICODE WIN32_LEAN_AND_MEAN NOMINMAX _WIN32_WINNT=0x0501 WINVER=0x0501)
  add_link_options(-static -static-libgcc -static-libstdc++)
  # A section per function and per datum, collected at link time: every
  # Windows module keeps only the code it reaches (the dependency libraries
  # are built the same way by set-up).
  add_compile_options(-ffunction-sections -fdata-sections)
  add_link_options(-Wl,--gc-sections)
  # The shipped modules' quiet end on an uncaught exception (the file says why);
  # each links it with target_link_libraries(<module> PRIVATE pelmar_quiet_terminate).
  add_library(pelmar_quiet_terminate OBJECT ${CMAKE_SOURCE_DIR}/cmake/quiet_terminate_win.cpp)
endif()

add_compile_options($<$<COMPILE_LANGUAGE:CXX>:-Wall> $<$<COMPILE_LANGUAGE:CXX>:-Wextra>)

# pelmar_area(<area> <area below>...): the static library pelmar_<area>,
# linked with the areas it builds on (and through them with theirs).
function(pelmar_area area)
  add_library(pelmar_${area} STATIC ${CMAKE_SOURCE_DIR}/cmake/empty.cpp)
  target_link_libraries(pelmar_${area} PUBLIC pelmar_deps)
  foreach(dep IN LISTS ARGN)
    target_link_libraries(pelmar_${area} PUBLIC pelmar_${dep})
  endforeach()
endfunction()

# pelmar_sources(<area> <file>...): adds sources to the library pelmar_<area>.
# A name "foo.cpp" with siblings "foo_win.cpp"/"foo_posix.cpp" may be given as
# "foo_@PLATFORM@.cpp" to pick this platform's body.
function(pelmar_sources area)
  set(files)
  foreach(f IN LISTS ARGN)
    string(REPLACE "@PLATFORM@" "${PELMAR_PLATFORM}" f "${f}")
    list(APPEND files ${CMAKE_CURRENT_SOURCE_DIR}/${f})
  endforeach()
  target_sources(pelmar_${area} PRIVATE ${files})
endfunction()

function(pelmar_link_dependencies target)
  if(WIN32)
    find_package(PkgConfig QUIET)
    find_library(JSONCPP_LIB jsoncpp REQUIRED)
    find_library(MINIZIP_LIB minizip REQUIRED)
    # The static archive, not the import library of zlib1.dll, which Windows
    # does not ship.
    find_library(ZLIB_LIB NAMES libz.a z REQUIRED)
    find_path(JSONCPP_INCLUDE json/json.h REQUIRED)
    find_path(MINIZIP_INCLUDE minizip/unzip.h REQUIRED)
    # libsodium, static, as set-up builds it into the dependency folder
    # (only what verification needs: Ed25519 and SHA-256).
    find_library(SODIUM_LIB NAMES libsodium.a sodium REQUIRED)
    find_path(SODIUM_INCLUDE sodium.h REQUIRED)
    target_include_directories(${target} SYSTEM INTERFACE ${JSONCPP_INCLUDE} ${MINIZIP_INCLUDE}
      ${SODIUM_INCLUDE})
    # The static archive: its header would otherwise ask for the DLL's imports.
    target_compile_definitions(${target} INTERFACE SODIUM_STATIC)
    target_link_libraries(${target} INTERFACE ${JSONCPP_LIB} ${MINIZIP_LIB} ${SODIUM_LIB} ${ZLIB_LIB}
      # Protected system libraries only: version, winmm, iphlpapi, winhttp and
      # setupapi are loaded by their System32 path at run time
      # (base/win/system_api.h).
      ws2_32 shlwapi shell32 ole32 oleaut32 uuid
      gdiplus gdi32 user32 advapi32 comdlg32 crypt32)
  else()
    find_package(PkgConfig REQUIRED)
    pkg_check_modules(JSONCPP REQUIRED IMPORTED_TARGET jsoncpp)
    pkg_check_modules(MINIZIP REQUIRED IMPORTED_TARGET minizip)
    # Debian's libsodium-dev: release signatures (Ed25519) and SHA-256.
    pkg_check_modules(SODIUM REQUIRED IMPORTED_TARGET libsodium)
    find_package(Threads REQUIRED)
    target_link_libraries(${target} INTERFACE PkgConfig::JSONCPP PkgConfig::MINIZIP
      PkgConfig::SODIUM Threads::Threads)
  endif()
endfunction()

# pelmar_tests(<area> <file>...): unit tests of one area go into one GoogleTest
# executable "<area>_tests" linked with pelmar_<area> (one start under Wine
# instead of many).
function(pelmar_tests area)
  if(NOT PELMAR_TESTS)
    return()
  endif()
  # The ThreadSanitizer build only needs the areas whose suites are threaded.
  if(DEFINED PELMAR_TEST_AREAS AND NOT area IN_LIST PELMAR_TEST_AREAS)
    return()
  endif()
  set(target ${area}_tests)
  set(files)
  foreach(f IN LISTS ARGN)
    string(REPLACE "@PLATFORM@" "${PELMAR_PLATFORM}" f "${f}")
    list(APPEND files ${CMAKE_CURRENT_SOURCE_DIR}/${f})
  endforeach()
  if(NOT TARGET ${target})
    find_package(GTest REQUIRED)
    add_executable(${target} ${files})
    target_link_libraries(${target} PRIVATE pelmar_${area} GTest::gtest GTest::gtest_main)
    target_include_directories(${target} PRIVATE ${CMAKE_SOURCE_DIR}/tests)
    # ctest runs it directly natively and through the Wine emulator for Windows.
    add_test(NAME ${target} COMMAND ${target} --gtest_brief=1)
    set_tests_properties(${target} PROPERTIES TIMEOUT 600 LABELS "${area}")
  else()
    target_sources(${target} PRIVATE ${files})
  endif()
endfunction()

# pelmar_fuzz(<name> <file>...): a libFuzzer target; built only in the fuzz preset.
# ./x test runs it over "<dir>/<name>_corpus" for a short while.
function(pelmar_fuzz name)
  if(NOT PELMAR_FUZZ)
    return()
  endif()
  set(files)
  foreach(f IN LISTS ARGN)
    list(APPEND files ${CMAKE_CURRENT_SOURCE_DIR}/${f})
  endforeach()
  add_executable(${name} ${files})
  target_link_libraries(${name} PRIVATE pelmar_base pelmar_net pelmar_services pelmar_download pelmar_ui)
  target_link_options(${name} PRIVATE -fsanitize=fuzzer)
  set(corpus ${CMAKE_CURRENT_SOURCE_DIR}/${name}_corpus)
  # New inputs go into a scratch folder in the build tree (libFuzzer writes
  # into its first corpus folder), the committed seeds are only read.
  set(scratch ${CMAKE_BINARY_DIR}/fuzz_scratch/${name})
  file(MAKE_DIRECTORY ${scratch})
  add_test(NAME ${name} COMMAND ${name} -max_total_time=10 -rss_limit_mb=1024 ${scratch} ${corpus})
  set_tests_properties(${name} PROPERTIES TIMEOUT 120 LABELS fuzz)
endfunction()
