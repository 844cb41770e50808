# Makes the maker backend's package from a built setup program:
#   cmake -DSETUP=<setup exe> -DPRODUCT=<product exe> -DVERSION=<v> -DOUT=<dir>
#         -DSIGN_TOOL=<backend/releases.py> -DSIGN_KEY=<secret key file> -P make_package.cmake
# OUT receives "install.exe" (the name the built-in download path serves),
# its sidecar with the version, sizes and MD5 the package index announces,
# and "install.exe.sig": the maker's signed release statement, which the
# backend serves in the record and beside the file (the demo is signed with
# the development key the development build pins).
foreach(var SETUP PRODUCT VERSION OUT SIGN_TOOL SIGN_KEY)
  if(NOT DEFINED ${var})
    message(FATAL_ERROR "make_package.cmake: ${var} is not set")
  endif()
endforeach()
file(MAKE_DIRECTORY ${OUT})
file(COPY_FILE ${SETUP} ${OUT}/install.exe ONLY_IF_DIFFERENT)
file(SIZE ${OUT}/install.exe size)
file(MD5 ${OUT}/install.exe md5)
# The space the installed product takes: the product file, rounded up to
# whole 4 KiB clusters as a volume counts it.
file(SIZE ${PRODUCT} product_size)
math(EXPR origin_size "(${product_size} + 4095) / 4096 * 4096")
file(WRITE ${OUT}/install.exe.json.tmp
"{\"package_name\": \"install\", \"version\": \"${VERSION}\", \"size\": ${size},
 \"origin_size\": ${origin_size}, \"md5\": \"${md5}\", \"current\": true}
")
file(RENAME ${OUT}/install.exe.json.tmp ${OUT}/install.exe.json)
# Valid for a year from the build: a build tree older than that signs again
# when the demo is rebuilt.
execute_process(
  COMMAND /usr/bin/python3 -B ${SIGN_TOOL} sign --key ${SIGN_KEY} --version ${VERSION}
          --days 365 ${OUT}/install.exe
  RESULT_VARIABLE signed OUTPUT_QUIET ERROR_VARIABLE sign_error)
if(NOT signed EQUAL 0)
  message(FATAL_ERROR "make_package.cmake: signing ${OUT}/install.exe failed: ${sign_error}")
endif()
