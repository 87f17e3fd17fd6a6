# Profile-guided optimisation of the lexer and parser in the Release build.
#
# The build (the outer one) configures a second, instrumented build of the
# same tree in pgo/ below its own binary directory, runs tools/pgo_train there
# over the configured interpreter's standard library, and compiles the
# parser's libraries with the counts that run leaves. g++ names each count
# file after its object's path; -fprofile-prefix-path makes that path relative
# to each build's root, and both builds lay their objects out alike, so each
# object finds its own counts.
#
# The training runs again, from an empty profile directory, whenever an
# instrumented object changes, and every profiled object depends on the stamp
# it leaves, so a change of source recompiles against fresh counts.

# The libraries the training exercises: the parser and what it links.
set(TRELK_PGO_TARGETS trelk_base divu_text_size divu_python_ast
    divu_python_parser)
# What is linked with link-time optimisation of those libraries: the module
# and the tool and benchmarks that measure its speed. Inlining across the
# libraries' files pays with the profile (alone it did not); the tests link
# the same libraries without it, which keeps their many links short.
set(TRELK_LTO_TARGETS trelk_rs parse_check parse_bench lexer_bench)

# Set by the outer build for the instrumented one only.
set(TRELK_PGO_GENERATE OFF CACHE BOOL "Internal: the instrumented training build")
set(TRELK_PGO_CORPUS "" CACHE PATH "Internal: what the training build reads")
mark_as_advanced(TRELK_PGO_GENERATE TRELK_PGO_CORPUS)

set(trelk_pgo_default OFF)
if(CMAKE_BUILD_TYPE STREQUAL "Release" AND CMAKE_CXX_COMPILER_ID STREQUAL "GNU"
   AND NOT TRELK_SANITIZE AND NOT TRELK_TSAN AND NOT TRELK_PGO_GENERATE)
  set(trelk_pgo_default ON)
endif()
option(TRELK_PGO
  "Compile the parser with a profile of a parse of the interpreter's standard library"
  ${trelk_pgo_default})

set(TRELK_PGO_STAMP ${CMAKE_BINARY_DIR}/pgo/profile.stamp)
set(TRELK_PGO_PROFILE_DIR ${CMAKE_BINARY_DIR}/pgo/profile)
set(trelk_pgo_use OFF)
if(TRELK_PGO_GENERATE)
  # Counts go to profile/ in this build's root, named by object paths
  # relative to it.
  set(TRELK_PGO_PROFILE_DIR ${CMAKE_BINARY_DIR}/profile)
  add_compile_options(-fprofile-generate=${TRELK_PGO_PROFILE_DIR}
                      -fprofile-prefix-path=${CMAKE_BINARY_DIR})
  add_link_options(-fprofile-generate=${TRELK_PGO_PROFILE_DIR})
elseif(TRELK_PGO)
  if(NOT CMAKE_CXX_COMPILER_ID STREQUAL "GNU" OR TRELK_SANITIZE OR TRELK_TSAN
     OR CMAKE_CONFIGURATION_TYPES)
    message(STATUS "TRELK_PGO: needs g++, one build type and no sanitizer; building without a profile")
  elseif(NOT EXISTS "${Python_STDLIB}/os.py")
    message(STATUS "TRELK_PGO: no standard library to train on at '${Python_STDLIB}'; building without a profile")
  else()
    set(trelk_pgo_use ON)
  endif()
endif()

if(trelk_pgo_use)
  # The profiled libraries carry both their code and their intermediate
  # form, so that every other target links them as usual (-fno-lto).
  set(CMAKE_AR ${CMAKE_CXX_COMPILER_AR})
  set(CMAKE_RANLIB ${CMAKE_CXX_COMPILER_RANLIB})
  add_link_options(-fno-lto)
  include(ExternalProject)
  set(trelk_pgo_args
    -DCMAKE_BUILD_TYPE=${CMAKE_BUILD_TYPE}
    -DCMAKE_CXX_COMPILER=${CMAKE_CXX_COMPILER}
    -DCMAKE_CXX_FLAGS=${CMAKE_CXX_FLAGS}
    -DCMAKE_CXX_FLAGS_RELEASE=${CMAKE_CXX_FLAGS_RELEASE}
    -DPython_EXECUTABLE=${Python_EXECUTABLE}
    -DTRELK_WERROR=${TRELK_WERROR}
    -DTRELK_BUILD_TESTS=OFF
    -DCMAKE_DISABLE_FIND_PACKAGE_GTest=ON
    -DTRELK_PGO=OFF
    -DTRELK_PGO_GENERATE=ON
    -DTRELK_PGO_CORPUS=${Python_STDLIB})
  if(ICU_ROOT)
    list(APPEND trelk_pgo_args -DICU_ROOT=${ICU_ROOT})
  endif()
  # Always built: the instrumented build decides itself whether anything
  # changed, and leaves the stamp untouched when nothing did.
  ExternalProject_Add(trelk_pgo_training
    SOURCE_DIR ${PROJECT_SOURCE_DIR}
    BINARY_DIR ${CMAKE_BINARY_DIR}/pgo
    PREFIX ${CMAKE_BINARY_DIR}/pgo-steps
    CMAKE_ARGS ${trelk_pgo_args}
    BUILD_COMMAND ${CMAKE_COMMAND} --build <BINARY_DIR> --target trelk_pgo_profile
    BUILD_ALWAYS TRUE
    BUILD_BYPRODUCTS ${TRELK_PGO_STAMP}
    INSTALL_COMMAND "")
endif()

# Called once every target is declared.
function(trelk_pgo_finish)
  if(TRELK_PGO_GENERATE)
    set(stamp ${CMAKE_BINARY_DIR}/profile.stamp)
    add_custom_command(OUTPUT ${stamp}
      COMMAND ${CMAKE_COMMAND} -E rm -rf ${TRELK_PGO_PROFILE_DIR}
      COMMAND pgo_train ${TRELK_PGO_CORPUS}
      COMMAND ${CMAKE_COMMAND} -E touch ${stamp}
      DEPENDS pgo_train
      COMMENT "Training the profile-guided build"
      VERBATIM)
    add_custom_target(trelk_pgo_profile DEPENDS ${stamp})
    return()
  endif()
  if(NOT trelk_pgo_use)
    return()
  endif()
  # -fprofile-partial-training: what the training never ran (error paths,
  # rare syntax) is optimised as without a profile, not for size. Objects
  # the training does not link have no counts and are compiled as usual.
  foreach(target IN LISTS TRELK_PGO_TARGETS)
    target_compile_options(${target} PRIVATE
      -fprofile-use=${TRELK_PGO_PROFILE_DIR}
      -fprofile-prefix-path=${CMAKE_BINARY_DIR}
      -fprofile-partial-training -Wno-missing-profile
      -flto=auto -ffat-lto-objects)
    add_dependencies(${target} trelk_pgo_training)
    get_target_property(sources ${target} SOURCES)
    get_target_property(directory ${target} SOURCE_DIR)
    list(TRANSFORM sources PREPEND ${directory}/)
    set_source_files_properties(${sources} TARGET_DIRECTORY ${target}
      PROPERTIES OBJECT_DEPENDS ${TRELK_PGO_STAMP})
  endforeach()
  foreach(target IN LISTS TRELK_LTO_TARGETS)
    if(TARGET ${target})
      target_link_options(${target} PRIVATE -flto=auto)
    endif()
  endforeach()
endfunction()
