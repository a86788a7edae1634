# What the Windows build (cmake/mingw-w64.cmake) adds: the Windows API
# level, the system libraries the platform layer calls, and the DLLs the
# programs need beside them (the libraries of the sysroot and the
# compiler's runtime), so that they run from build-windows/bin as they are
# (under Wine in the tests).
# localtime_r and gmtime_r come with _POSIX_THREAD_SAFE_FUNCTIONS.
add_compile_definitions(_WIN32_WINNT=0x0A00 WINVER=0x0A00 WIN32_LEAN_AND_MEAN NOMINMAX _POSIX_THREAD_SAFE_FUNCTIONS)
target_link_libraries(orv_platform PUBLIC ws2_32 crypt32)

if(ORV_WINDOWS_SYSROOT)
  file(GLOB _orv_dlls ${ORV_WINDOWS_SYSROOT}/bin/*.dll)
  file(COPY ${_orv_dlls} DESTINATION ${PROJECT_BINARY_DIR}/bin)
endif()

# Tests that drive POSIX directly (fork, fcntl locks, permission bits,
# terminals); their Windows counterparts are the *_win_test.cpp files.
set(ORV_POSIX_ONLY_TESTS
  engine/data4_shared_test.cpp engine/file4_lock_test.cpp
  common/configurations_test.cpp common/file_faults_test.cpp common/gui_session_test.cpp
  platform/directory_test.cpp platform/file_pieces_test.cpp platform/mount_info_test.cpp
  platform/terminal_test.cpp platform/whole_file_test.cpp)

# iconv is not in the Windows C library: the sysroot's win-iconv DLL.
find_path(ORV_ICONV_INCLUDE iconv.h REQUIRED)
find_library(ORV_ICONV_LIBRARY iconv REQUIRED)
target_include_directories(orv_common PUBLIC ${ORV_ICONV_INCLUDE})
target_link_libraries(orv_common PUBLIC ${ORV_ICONV_LIBRARY})
