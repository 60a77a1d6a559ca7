# The engine as WebAssembly, built with Emscripten against the libraries that
# scripts/web-deps.sh cross-builds from Debian's source packages into one
# prefix: ICU with the data the engine uses, zlib, libpng, TurboJPEG, libtiff
# and giflib. Nothing of the host's /usr may reach this build: its headers
# describe another C library and its libraries another machine.

set(WEB_DEPS_PREFIX "${CMAKE_SOURCE_DIR}/build/web-deps/prefix"
    CACHE PATH "Prefix holding the wasm builds of ICU and the photo libraries (scripts/web-deps.sh)")
if(NOT EXISTS "${WEB_DEPS_PREFIX}/include/unicode/ucnv.h")
  message(FATAL_ERROR "No wasm build of ICU in ${WEB_DEPS_PREFIX}: run scripts/web-deps.sh first")
endif()

# Emscripten's toolchain searches its own sysroot only; the prefix joins it.
# Paths inside a root are not moved under it again, so the prefix itself also
# works as a hint (pkg-config's -L folders, ICU_ROOT).
list(APPEND CMAKE_FIND_ROOT_PATH "${WEB_DEPS_PREFIX}")
list(APPEND CMAKE_PREFIX_PATH "${WEB_DEPS_PREFIX}")
set(ICU_ROOT "${WEB_DEPS_PREFIX}")
# pkg-config reads the prefix's .pc files and never the host's.
set(ENV{PKG_CONFIG_LIBDIR} "${WEB_DEPS_PREFIX}/lib/pkgconfig")
set(ENV{PKG_CONFIG_PATH} "")

# The module cannot unwind: a throw ends it. In the page only running out of
# memory throws (there is no stop, and no threads to fail to start), and the
# page tells that from a note the engine leaves first (vcw_out_of_memory).
# Unwinding, even WebAssembly's own exception handling, made Safari's engine
# a third slower on every conversion: each function that frees something on
# the way out carries a handler there. Without it the module also runs in
# browsers older than that handling (Safari before 15.2).
add_compile_options(-fignore-exceptions)
add_link_options(-fignore-exceptions)

# nlohmann's own target puts all of /usr/include on the include path, host C
# library headers included. This build defines the target first, over a
# folder that holds only the library's headers; find_package then takes the
# Debian package's version check and keeps this definition.
set(NLOHMANN_JSON_INCLUDE_DIR /usr/include CACHE PATH "Folder holding nlohmann/json.hpp (nlohmann-json3-dev)")
set(_web_json_dir "${CMAKE_BINARY_DIR}/web-include/nlohmann_json")
file(MAKE_DIRECTORY "${_web_json_dir}")
file(CREATE_LINK "${NLOHMANN_JSON_INCLUDE_DIR}/nlohmann" "${_web_json_dir}/nlohmann" SYMBOLIC)
add_library(nlohmann_json::nlohmann_json INTERFACE IMPORTED GLOBAL)
set_target_properties(nlohmann_json::nlohmann_json PROPERTIES INTERFACE_INCLUDE_DIRECTORIES
                                                              "${_web_json_dir}")
set(nlohmann_json_DIR /usr/share/cmake/nlohmann_json CACHE PATH "nlohmann_json's CMake package")
