# Every maker endpoint is build configuration, written into one generated
# header. The defaults point at the development backend on loopback; a release
# build sets the maker's hosts on port 80 (see README).
set(PELMAR_GATEWAY_HOST "localhost" CACHE STRING "Gateway host: channel record, installer configuration")
set(PELMAR_GATEWAY_PORT 18480 CACHE STRING "")
set(PELMAR_SUPPORT_HOST "localhost" CACHE STRING "Support host: package index, analytics")
set(PELMAR_SUPPORT_PORT 18480 CACHE STRING "")
set(PELMAR_SUPPORT_IP "127.0.0.1" CACHE STRING "Fixed IPv4 address of the support host")
set(PELMAR_ATTRIBUTION_HOST "localhost" CACHE STRING "Attribution report host")
set(PELMAR_ATTRIBUTION_PORT 18480 CACHE STRING "")
set(PELMAR_CDN_HOST "localhost" CACHE STRING "Host of the built-in download URL")
set(PELMAR_CDN_PORT 18480 CACHE STRING "")
set(PELMAR_WEB_HOST "localhost" CACHE STRING "Product web site (welcome and agreement pages)")
set(PELMAR_WEB_PORT 18480 CACHE STRING "")

set(PELMAR_APP_ID "10001061" CACHE STRING "The product's identifier with the maker's services")

set(PELMAR_GENERATED_DIR ${CMAKE_BINARY_DIR}/generated)
configure_file(${CMAKE_CURRENT_LIST_DIR}/pelmar_config.h.in ${PELMAR_GENERATED_DIR}/pelmar_config.h @ONLY)
