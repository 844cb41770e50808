# Makes the maker backend's package from a built setup program:
#   cmake -DSETUP=<setup exe> -DPRODUCT=<product exe> -DVERSION=<v> -DOUT=<dir> -P make_package.cmake
# OUT receives "install.exe" (the name the built-in download path serves) and
# its sidecar with the version, sizes and MD5 the package index announces.
foreach(var SETUP PRODUCT VERSION OUT)
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
