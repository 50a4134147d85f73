# Libraries of the Windows build, as scripts/win-deps.sh leaves them in ${OV_WIN_ROOT}: static
# OpenSSL, libcurl, pugixml, libzip (with the MinGW zlib) and GoogleTest with CMake packages;
# cpp-httplib's full header, nlohmann-json and SimpleIni as headers. The targets carry the
# names the Linux build gets from Debian's packages, so the rest of the build is shared.
if(NOT EXISTS "${OV_WIN_ROOT}/stamps")
  message(FATAL_ERROR "No Windows libraries in ${OV_WIN_ROOT}: run scripts/win-deps.sh first")
endif()

set(OPENSSL_ROOT_DIR "${OV_WIN_ROOT}")
set(OPENSSL_USE_STATIC_LIBS TRUE)
find_package(OpenSSL 3 REQUIRED)
set_property(TARGET OpenSSL::Crypto APPEND PROPERTY INTERFACE_LINK_LIBRARIES ws2_32 crypt32)

find_package(CURL REQUIRED CONFIG)
find_package(pugixml REQUIRED CONFIG)
# The static zlib: MinGW ships both, and FindZLIB would take the import library of zlib1.dll,
# which a bare Windows does not have.
set(ZLIB_USE_STATIC_LIBS ON)
find_package(ZLIB REQUIRED)
find_package(libzip REQUIRED CONFIG)

add_library(nlohmann_json::nlohmann_json INTERFACE IMPORTED)
set_target_properties(nlohmann_json::nlohmann_json PROPERTIES
  INTERFACE_INCLUDE_DIRECTORIES "${OV_WIN_ROOT}/include")

# Debian builds SimpleIni's template bodies into a library of its own; here the one file that
# uses it compiles them in.
add_library(PkgConfig::SIMPLEINI INTERFACE IMPORTED)
set_target_properties(PkgConfig::SIMPLEINI PROPERTIES
  INTERFACE_INCLUDE_DIRECTORIES "${OV_WIN_ROOT}/include"
  INTERFACE_COMPILE_DEFINITIONS "SI_IMPLEMENTATION")

add_library(PkgConfig::HTTPLIB INTERFACE IMPORTED)
set_target_properties(PkgConfig::HTTPLIB PROPERTIES
  INTERFACE_INCLUDE_DIRECTORIES "${OV_WIN_ROOT}/include"
  INTERFACE_COMPILE_DEFINITIONS "CPPHTTPLIB_OPENSSL_SUPPORT"
  INTERFACE_LINK_LIBRARIES "OpenSSL::SSL;OpenSSL::Crypto;ws2_32;crypt32")
