# The suites of the Windows build, run under Wine by ctest --preset win64. Discovery runs the
# programs too, so it waits for the first Wine start of the test prefix.
add_library(ovtestcommon STATIC common/TestPrefix.cpp common/TestHost-win32.cpp)
target_include_directories(ovtestcommon PUBLIC ${CMAKE_CURRENT_SOURCE_DIR})
target_link_libraries(ovtestcommon PUBLIC ovcore GTest::gtest)

# Suites named *Posix* check a POSIX stand-in as such and are left out here; suites named
# *Win32* check what only Windows does and carry the label win32.
function(ov_test name)
  add_executable(${name} ${ARGN})
  target_link_libraries(${name} PRIVATE ovtestcommon GTest::gtest_main)
  gtest_discover_tests(${name} TEST_FILTER "-*Posix*:*Win32*" DISCOVERY_MODE PRE_TEST
    DISCOVERY_TIMEOUT 300 PROPERTIES TIMEOUT 300)
  gtest_discover_tests(${name} TEST_FILTER "*Win32*" DISCOVERY_MODE PRE_TEST
    DISCOVERY_TIMEOUT 300 PROPERTIES TIMEOUT 300 LABELS win32)
endfunction()

ov_test(base_tests
  base/OVStrUtilTest.cpp
  base/OVDateUtilTest.cpp
  base/OVSyncObjTest.cpp
  base/LoggerUtilTest.cpp
  base/OVLibUtilTest.cpp
  base/OVLibFileUtilTest.cpp
  base/OVInstHelperUtilTest.cpp
  base/AlglibraryTest.cpp
  base/JSONHelperUtilTest.cpp
)
target_link_libraries(base_tests PRIVATE OpenSSL::Crypto libzip::zip)

ov_test(platform_tests
  platform/FileSystemTest.cpp
  platform/IniZipTest.cpp
  platform/SettingsStoreTest.cpp
  platform/HostWin32Test.cpp
  platform/MainThreadTest.cpp
)
target_link_libraries(platform_tests PRIVATE libzip::zip)

ov_test(ui_tests ui/OVLangUtilTest.cpp ui/OVSkinUtilTest.cpp ui/MessageBoxTest.cpp)
