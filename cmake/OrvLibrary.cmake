# orv_for_this_system(LIST): drops from the list of sources the files of the
# other system: NAME_posix.cpp is Linux's (POSIX) implementation, NAME_win.cpp
# Windows'; tests the same (NAME_posix_test.cpp, NAME_win_test.cpp).
# On Windows, ORV_POSIX_ONLY_TESTS (cmake/windows.cmake) names the tests that
# drive POSIX directly (fork, fcntl locks, permission bits).
macro(orv_for_this_system list)
  if(WIN32)
    list(FILTER ${list} EXCLUDE REGEX "_posix(_test)?\\.cpp$")
    foreach(_posix_only ${ORV_POSIX_ONLY_TESTS})
      list(FILTER ${list} EXCLUDE REGEX "/${_posix_only}$")
    endforeach()
  else()
    list(FILTER ${list} EXCLUDE REGEX "_win(_test)?\\.cpp$")
  endif()
endmacro()

# orv_library(NAME DEPS...): builds src/NAME/*.cpp into the static library
# orv_NAME. A layer without sources yet becomes an interface library so the
# dependency graph stays the same while the tree grows.
function(orv_library name)
  file(GLOB _srcs CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/src/${name}/*.cpp)
  orv_for_this_system(_srcs)
  set(_deps)
  foreach(d ${ARGN})
    list(APPEND _deps orv_${d})
  endforeach()
  if(_srcs)
    add_library(orv_${name} STATIC ${_srcs})
    target_include_directories(orv_${name} PUBLIC ${PROJECT_SOURCE_DIR}/src)
    target_link_libraries(orv_${name} PUBLIC ${_deps})
  else()
    add_library(orv_${name} INTERFACE)
    target_include_directories(orv_${name} INTERFACE ${PROJECT_SOURCE_DIR}/src)
    target_link_libraries(orv_${name} INTERFACE ${_deps})
  endif()
endfunction()

# orv_test_dir(DIR LIBS...): one GoogleTest binary per test folder, registered
# with ctest under the folder's name.
function(orv_test_dir dir)
  file(GLOB _srcs CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/${dir}/*.cpp)
  orv_for_this_system(_srcs)
  if(NOT _srcs)
    return()
  endif()
  set(_libs)
  foreach(l ${ARGN})
    list(APPEND _libs orv_${l})
  endforeach()
  # Every test binary reaches common's files through the platform, as the
  # programs do (tests/support/platform_files.cpp).
  add_executable(test_${dir} ${_srcs} ${CMAKE_CURRENT_SOURCE_DIR}/support/platform_files.cpp)
  target_link_libraries(test_${dir} PRIVATE ${_libs} orv_platform GTest::gtest GTest::gmock GTest::gtest_main)
  target_include_directories(test_${dir} PRIVATE ${CMAKE_CURRENT_SOURCE_DIR})
  target_compile_definitions(test_${dir} PRIVATE
    ORV_TEST_DATA="${CMAKE_CURRENT_SOURCE_DIR}/data"
    ORV_BINARY_DIR="${PROJECT_BINARY_DIR}")
  add_test(NAME ${dir} COMMAND test_${dir})
  set_tests_properties(${dir} PROPERTIES TIMEOUT 1200)
endfunction()

# orv_embed(TARGET FUNCTION FILE): compiles FILE (relative to the source tree)
# into TARGET as the function `std::string_view FUNCTION()` returning its
# bytes; a change to FILE regenerates and rebuilds only that source.
function(orv_embed target function file)
  set(_in ${PROJECT_SOURCE_DIR}/${file})
  set(_out ${PROJECT_BINARY_DIR}/embedded/${function}.cpp)
  add_custom_command(
    OUTPUT ${_out}
    COMMAND ${CMAKE_COMMAND} -DINPUT=${_in} -DOUTPUT=${_out} -DFUNCTION=${function}
            -P ${PROJECT_SOURCE_DIR}/cmake/EmbedFile.cmake
    DEPENDS ${_in} ${PROJECT_SOURCE_DIR}/cmake/EmbedFile.cmake
    COMMENT "Embedding ${file}"
    VERBATIM)
  target_sources(${target} PRIVATE ${_out})
endfunction()
