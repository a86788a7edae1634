# orv_library(NAME DEPS...): builds src/NAME/*.cpp into the static library
# orv_NAME. A layer without sources yet becomes an interface library so the
# dependency graph stays the same while the tree grows.
function(orv_library name)
  file(GLOB _srcs CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/src/${name}/*.cpp)
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
