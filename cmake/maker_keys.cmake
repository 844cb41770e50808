# The maker's public keys the installer pins: it starts a setup program only
# when a release statement signed by one of them names its bytes. One or two
# keys (two while a key is rotated), read from a key file: one key per line,
# 64 lower-case hexadecimal characters and an optional label; "#" starts a
# comment line. backend/releases.py keygen writes such a file.
#
#   -DPELMAR_MAKER_KEYS_FILE=<file>   the keys to pin (default: the development key)
#   -DPELMAR_RELEASE=ON               a build meant for release: refuses the development key
#
# Also a script, for the test of the release rule:
#   cmake -DPELMAR_MAKER_KEYS_FILE=<file> -DPELMAR_RELEASE=ON -P cmake/maker_keys.cmake

if(CMAKE_SCRIPT_MODE_FILE)
  cmake_minimum_required(VERSION 3.25)
endif()

set(PELMAR_DEVELOPMENT_KEY_FILE ${CMAKE_CURRENT_LIST_DIR}/../backend/keys/DEVELOPMENT-ONLY-maker.pub)
get_filename_component(PELMAR_DEVELOPMENT_KEY_FILE ${PELMAR_DEVELOPMENT_KEY_FILE} ABSOLUTE)

# pelmar_read_maker_keys(<file> <keys var> <labels var>): the keys of a key
# file, or a fatal error naming what is wrong with it.
function(pelmar_read_maker_keys file keys_var labels_var)
  if(NOT EXISTS "${file}")
    message(FATAL_ERROR "maker key file ${file} does not exist (PELMAR_MAKER_KEYS_FILE)")
  endif()
  file(STRINGS "${file}" lines)
  set(keys)
  set(labels)
  foreach(line IN LISTS lines)
    string(STRIP "${line}" line)
    if(line STREQUAL "" OR line MATCHES "^#")
      continue()
    endif()
    if(NOT line MATCHES "^([0-9a-f][0-9a-f][0-9a-f][0-9a-f][0-9a-f][0-9a-f][0-9a-f][0-9a-f]+)( +(.*))?$")
      message(FATAL_ERROR "maker key file ${file}: \"${line}\" is not a key line")
    endif()
    set(key "${CMAKE_MATCH_1}")
    set(label "${CMAKE_MATCH_3}")
    string(LENGTH "${key}" length)
    if(NOT length EQUAL 64)
      message(FATAL_ERROR "maker key file ${file}: a key has ${length} hexadecimal digits, not 64")
    endif()
    if(label STREQUAL "")
      set(label "unnamed")
    endif()
    list(APPEND keys "${key}")
    list(APPEND labels "${label}")
  endforeach()
  list(LENGTH keys count)
  if(count LESS 1 OR count GREATER 2)
    message(FATAL_ERROR "maker key file ${file} holds ${count} keys; an installer pins one or two")
  endif()
  set(${keys_var} "${keys}" PARENT_SCOPE)
  set(${labels_var} "${labels}" PARENT_SCOPE)
endfunction()

# pelmar_check_maker_keys(<file> <release>): sets PELMAR_MAKER_KEYS and
# PELMAR_MAKER_KEY_LABELS; a release build refuses the development key.
macro(pelmar_check_maker_keys file release)
  pelmar_read_maker_keys("${file}" PELMAR_MAKER_KEYS PELMAR_MAKER_KEY_LABELS)
  pelmar_read_maker_keys("${PELMAR_DEVELOPMENT_KEY_FILE}" pelmar_dev_keys pelmar_dev_labels)
  foreach(pelmar_key IN LISTS PELMAR_MAKER_KEYS)
    if(pelmar_key IN_LIST pelmar_dev_keys AND ${release})
      message(FATAL_ERROR
        "PELMAR_RELEASE is on, but ${file} holds the development maker key ${pelmar_key}, "
        "whose secret is in the repository: give the maker's own public key file with "
        "-DPELMAR_MAKER_KEYS_FILE=<file>")
    endif()
  endforeach()
endmacro()

if(CMAKE_SCRIPT_MODE_FILE)
  if(NOT DEFINED PELMAR_MAKER_KEYS_FILE)
    set(PELMAR_MAKER_KEYS_FILE ${PELMAR_DEVELOPMENT_KEY_FILE})
  endif()
  pelmar_check_maker_keys("${PELMAR_MAKER_KEYS_FILE}" PELMAR_RELEASE)
  message(STATUS "maker keys accepted: ${PELMAR_MAKER_KEYS}")
  return()
endif()

set(PELMAR_MAKER_KEYS_FILE ${PELMAR_DEVELOPMENT_KEY_FILE} CACHE FILEPATH
    "Public key file of the maker's release keys the installer pins (one or two keys)")
option(PELMAR_RELEASE "A build meant for release: refuses the development maker key" OFF)
set(PELMAR_RELEASE_PRODUCT "morvantile" CACHE STRING
    "Product identifier a release statement must name")
pelmar_check_maker_keys("${PELMAR_MAKER_KEYS_FILE}" PELMAR_RELEASE)
set_property(DIRECTORY ${CMAKE_SOURCE_DIR} APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS
             ${PELMAR_MAKER_KEYS_FILE} ${PELMAR_DEVELOPMENT_KEY_FILE})

# What the build pins, said at configure time and again when install.exe is
# linked (app/CMakeLists.txt).
set(PELMAR_MAKER_KEYS_SAID)
set(PELMAR_MAKER_KEYS_INIT)
list(LENGTH PELMAR_MAKER_KEYS pelmar_key_count)
math(EXPR pelmar_last "${pelmar_key_count} - 1")
foreach(i RANGE ${pelmar_last})
  list(GET PELMAR_MAKER_KEYS ${i} pelmar_key)
  list(GET PELMAR_MAKER_KEY_LABELS ${i} pelmar_label)
  if(pelmar_key IN_LIST pelmar_dev_keys)
    set(pelmar_label "${pelmar_label}, DEVELOPMENT key: not for release")
  endif()
  list(APPEND PELMAR_MAKER_KEYS_SAID "${pelmar_key} (${pelmar_label})")
  string(APPEND PELMAR_MAKER_KEYS_INIT "\"${pelmar_key}\", ")
endforeach()
string(REPLACE ";" " and " PELMAR_MAKER_KEYS_SAID "${PELMAR_MAKER_KEYS_SAID}")
set(PELMAR_MAKER_KEYS_SAID "install.exe pins the maker key(s) ${PELMAR_MAKER_KEYS_SAID} from ${PELMAR_MAKER_KEYS_FILE}")
message(STATUS "${PELMAR_MAKER_KEYS_SAID}")
