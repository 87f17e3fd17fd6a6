# Shared compile flags: every target links trelk_flags privately.
add_library(trelk_flags INTERFACE)
target_compile_features(trelk_flags INTERFACE cxx_std_23)
# -Wconversion and -Wsign-conversion: offsets are 32-bit and sizes 64-bit, so
# every narrowing or change of sign is written out where it happens.
target_compile_options(trelk_flags INTERFACE -Wall -Wextra -Wshadow
                       -Wconversion -Wsign-conversion)
# g++ before 14 reports -Wrestrict falsely at -O3 on std::string
# concatenation and insertion ("x" + std::string(s), s.insert(0, "%")).
target_compile_options(trelk_flags INTERFACE
  $<$<AND:$<CXX_COMPILER_ID:GNU>,$<VERSION_LESS:$<CXX_COMPILER_VERSION>,14>>:-Wno-restrict>)
if(TRELK_WERROR)
  target_compile_options(trelk_flags INTERFACE -Werror)
endif()

# Sanitizers apply to everything built in the tree, so that the libraries
# under test are instrumented as well as the test binaries. A sanitized tree
# builds no Python module: an uninstrumented interpreter cannot load one.
set(TRELK_SANITIZER_FLAGS "")
if(TRELK_SANITIZE)
  set(TRELK_SANITIZER_FLAGS -fsanitize=address,undefined -fno-sanitize-recover=all
      -fno-omit-frame-pointer)
elseif(TRELK_TSAN)
  set(TRELK_SANITIZER_FLAGS -fsanitize=thread -fno-omit-frame-pointer)
endif()
if(TRELK_SANITIZER_FLAGS)
  add_compile_options(${TRELK_SANITIZER_FLAGS})
  add_link_options(${TRELK_SANITIZER_FLAGS})
endif()

include(GoogleTest)

# add_gtest(name source... LIBS lib...): a GoogleTest binary registered with
# ctest, one ctest entry per test case. Without TRELK_BUILD_TESTS the target
# is only declared, never built, so that the folders' settings for it still
# apply and GoogleTest is not needed.
function(add_gtest name)
  cmake_parse_arguments(ARG "" "" "LIBS" ${ARGN})
  if(NOT TRELK_BUILD_TESTS)
    add_executable(${name} EXCLUDE_FROM_ALL ${ARG_UNPARSED_ARGUMENTS})
    return()
  endif()
  add_executable(${name} ${ARG_UNPARSED_ARGUMENTS})
  target_link_libraries(${name} PRIVATE ${ARG_LIBS} trelk_flags GTest::gtest
                        GTest::gtest_main Threads::Threads)
  if(TRELK_TSAN)
    # A sanitized parse needs tens of MiB of stack and moves to a thread of
    # its own when the main thread's is smaller; the thread sanitizer refuses
    # new threads in the child of a multi-threaded fork, so the tests that
    # fork run with a main thread stack large enough to parse in place.
    set_target_properties(${name} PROPERTIES
      CROSSCOMPILING_EMULATOR "prlimit;--stack=67108864;--")
  endif()
  gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60)
endfunction()
