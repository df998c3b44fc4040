# Third-party libraries, all from Debian packages (scripts/bootstrap.sh installs them).
find_package(Threads REQUIRED)
find_package(PkgConfig REQUIRED)
pkg_check_modules(YAML REQUIRED IMPORTED_TARGET yaml-0.1)

find_path(RAPIDJSON_INCLUDE_DIR rapidjson/document.h REQUIRED)
add_library(kiv_rapidjson INTERFACE)
target_include_directories(kiv_rapidjson SYSTEM INTERFACE ${RAPIDJSON_INCLUDE_DIR})

# Debian builds cpp-httplib as a library; its compile definitions change
# the classes' layout, so they come from its pkg-config file with it.
pkg_check_modules(HTTPLIB REQUIRED IMPORTED_TARGET cpp-httplib)
add_library(kiv_httplib INTERFACE)
target_include_directories(kiv_httplib SYSTEM INTERFACE ${HTTPLIB_INCLUDE_DIRS})
target_link_libraries(kiv_httplib INTERFACE PkgConfig::HTTPLIB Threads::Threads)

if(KIV_BUILD_TESTS)
  find_package(GTest REQUIRED)
endif()
if(KIV_BUILD_BENCH)
  find_package(benchmark REQUIRED)
endif()
