# Compiler settings applied per target, never through CMAKE_CXX_FLAGS.

set(KIV_WARNINGS -Wall -Wextra -Werror)
set(KIV_SANITIZER_FLAGS -fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer)

# Warnings, hidden visibility and (in the test build) sanitizers.
function(kiv_target_defaults target)
  target_compile_options(${target} PRIVATE ${KIV_WARNINGS})
  set_target_properties(${target} PROPERTIES
    CXX_VISIBILITY_PRESET hidden
    C_VISIBILITY_PRESET hidden
    VISIBILITY_INLINES_HIDDEN ON)
  if(KIV_SANITIZE)
    target_compile_options(${target} PRIVATE ${KIV_SANITIZER_FLAGS})
    target_link_options(${target} PRIVATE ${KIV_SANITIZER_FLAGS})
  endif()
endfunction()

# One static library per subsystem folder; every *.cpp directly in the
# folder belongs to it (sub-folders are added explicitly where needed).
function(kiv_subsystem name)
  cmake_parse_arguments(ARG "" "" "PUBLIC_DEPS;PRIVATE_DEPS" ${ARGN})
  file(GLOB sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp)
  kiv_nonempty_sources(sources)
  add_library(kiv_${name} STATIC ${sources})
  add_library(kiv::${name} ALIAS kiv_${name})
  target_include_directories(kiv_${name} PUBLIC ${PROJECT_SOURCE_DIR}/src ${PROJECT_SOURCE_DIR}/include)
  target_link_libraries(kiv_${name} PUBLIC ${ARG_PUBLIC_DEPS} PRIVATE ${ARG_PRIVATE_DEPS})
  kiv_target_defaults(kiv_${name})
endfunction()

# A target needs at least one source; folders still being filled get an empty one.
function(kiv_nonempty_sources var)
  if(NOT ${var})
    set(empty ${CMAKE_CURRENT_BINARY_DIR}/kiv_empty.cpp)
    if(NOT EXISTS ${empty})
      file(WRITE ${empty} "")
    endif()
    set(${var} ${empty} PARENT_SCOPE)
  endif()
endfunction()
