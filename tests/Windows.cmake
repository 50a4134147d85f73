# The suites of the Windows build, run under Wine by ctest --preset win64. Discovery runs the
# programs too, so it waits for the first Wine start of the test prefix.
add_library(ovtestcommon STATIC common/TestPrefix.cpp common/TestHost-win32.cpp common/TestCert.cpp
  common/RealProcess.cpp common/RealProcess-win32.cpp)
target_include_directories(ovtestcommon PUBLIC ${CMAKE_CURRENT_SOURCE_DIR})
target_link_libraries(ovtestcommon PUBLIC ovcore GTest::gtest OpenSSL::Crypto)

# What Wine does otherwise than Windows, one test each; they carry the label wine-gap, which the
# win64 test preset leaves out:
# - a cpp-httplib request that waits for its answer's first byte is not woken when another
#   thread shuts its socket down (stop()): under Wine 8 it ends only when the server answers,
#   3 s later.
# - a shortcut keeps its target only in the ANSI code page (Wine 8's IShellLinkW writes and
#   reads no UTF-16 path), so a target with Chinese names reads back as question marks.
# - a program without a display gets no console (AllocConsole fails with error 12), so the
#   whole-install suite cannot send ovinst.exe its Ctrl-Break.
set(OV_WINE_GAPS "*StopTestEndsAStalledAnswer/Id:*ATargetWithChineseNamesReadsBack:*CtrlCDuringADownload*")

# Suites named *Posix* check a POSIX stand-in as such and are left out here; suites named
# *Win32* check what only Windows does and carry the label win32. ov_test(name [LABEL l] src...)
# adds the label l to every test of the suite.
function(ov_test name)
  cmake_parse_arguments(PARSE_ARGV 1 OPT "" "LABEL" "")
  add_executable(${name} ${OPT_UNPARSED_ARGUMENTS})
  target_link_libraries(${name} PRIVATE ovtestcommon GTest::gtest_main)
  gtest_discover_tests(${name} TEST_FILTER "-*Posix*:*Win32*:${OV_WINE_GAPS}"
    DISCOVERY_MODE PRE_TEST DISCOVERY_TIMEOUT 300 PROPERTIES TIMEOUT 300 LABELS "${OPT_LABEL}")
  gtest_discover_tests(${name} TEST_FILTER "*Win32*-${OV_WINE_GAPS}" DISCOVERY_MODE PRE_TEST
    DISCOVERY_TIMEOUT 300 PROPERTIES TIMEOUT 300 LABELS "win32;${OPT_LABEL}")
  gtest_discover_tests(${name} TEST_FILTER "${OV_WINE_GAPS}" DISCOVERY_MODE PRE_TEST
    DISCOVERY_TIMEOUT 300 PROPERTIES TIMEOUT 300 LABELS "wine-gap;${OPT_LABEL}")
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
  platform/CommandLineTest.cpp
  platform/MainThreadTest.cpp
  platform/ProcessesTest.cpp
  platform/ProcessesWin32Test.cpp
  platform/ServicesTest.cpp
  platform/ShellLinksWin32Test.cpp
  platform/ShellLinksTest.cpp
)
target_link_libraries(platform_tests PRIVATE libzip::zip)
# The program the process and service suites run, copied under the names they need; Wine
# reaches the build folder through drive Z:.
target_compile_definitions(platform_tests PRIVATE
  OV_SAMPLE_PROGRAM="Z:$<TARGET_FILE:ov_sample_program>")
add_dependencies(platform_tests ov_sample_program)

ov_test(ui_tests ui/OVLangUtilTest.cpp ui/OVSkinUtilTest.cpp ui/MessageBoxTest.cpp)

# The stand-in services, which the suites talk to over 127.0.0.1, in-process.
set(OV_STANDIN ${PROJECT_SOURCE_DIR}/tools/standin)
add_library(ovstandin_lib STATIC ${OV_STANDIN}/FileStore.cpp ${OV_STANDIN}/Catalogue.cpp
  ${OV_STANDIN}/VersionServer.cpp ${OV_STANDIN}/Platform.cpp ${OV_STANDIN}/Publish.cpp
  ${OV_STANDIN}/StandInCrypto.cpp ${OV_STANDIN}/sample/PublishSample.cpp)
target_include_directories(ovstandin_lib PUBLIC ${OV_STANDIN})
target_link_libraries(ovstandin_lib PUBLIC ovcore PkgConfig::HTTPLIB OpenSSL::SSL OpenSSL::Crypto
  nlohmann_json::nlohmann_json libzip::zip pugixml::pugixml)

# The sample products with the Windows sample program under every program name. They are drawn
# by a Qt tool of the Linux build (scripts/test.sh win64 builds it in build/dev); without it the
# whole-install suite is left out.
set(OV_HOST_OVSAMPLE ${OV_HOST_TOOLS_DIR}/tools/standin/sample/ovsample)
set(OV_WIN_SAMPLE_DIR "")
if(EXISTS ${OV_HOST_OVSAMPLE})
  set(OV_WIN_SAMPLE_DIR ${CMAKE_BINARY_DIR}/sample)
  add_custom_command(OUTPUT ${OV_WIN_SAMPLE_DIR}/.made
    COMMAND ${OV_HOST_OVSAMPLE} ${OV_WIN_SAMPLE_DIR} $<TARGET_FILE:ov_sample_program>
    COMMAND ${CMAKE_COMMAND} -E touch ${OV_WIN_SAMPLE_DIR}/.made
    DEPENDS ${OV_HOST_OVSAMPLE} ov_sample_program
    COMMENT "Writing the sample products with the Windows sample program"
    VERBATIM)
  add_custom_target(ov_sample_tree ALL DEPENDS ${OV_WIN_SAMPLE_DIR}/.made)
else()
  message(STATUS "No ${OV_HOST_OVSAMPLE}: the whole installs under Wine are left out")
endif()

# The update state, the file store, the version server and the enterprise platform of a test.
# The programs under Wine reach the build folder's files through drive Z:.
include(TestCert.cmake)
add_library(ovtestservices STATIC common/ServiceTest.cpp)
target_link_libraries(ovtestservices PUBLIC ovtestcommon ovstandin_lib)
add_dependencies(ovtestservices ovtestcert)
target_compile_definitions(ovtestservices PRIVATE OV_TEST_CERT="Z:${OV_TEST_CERT}"
  OV_TEST_KEY="Z:${OV_TEST_KEY}")
if(OV_WIN_SAMPLE_DIR)
  target_compile_definitions(ovtestservices PRIVATE OV_SAMPLE_DIR="Z:${OV_WIN_SAMPLE_DIR}")
  add_dependencies(ovtestservices ov_sample_tree)
else()
  target_compile_definitions(ovtestservices PRIVATE OV_SAMPLE_DIR="")
endif()

ov_test(update_tests update/UpdateObjUtilTest.cpp update/UpdateUMPUtilTest.cpp
  update/UpdateXMLUtilTest.cpp)
target_link_libraries(update_tests PRIVATE ovtestservices)

ov_test(net_tests net/NetTestServer.cpp net/AcHTTPClientUtilTest.cpp net/UpdateHTTPUtilTest.cpp
  net/ServiceSettingsTest.cpp)
target_link_libraries(net_tests PRIVATE ovstandin_lib)

ov_test(cli_tests cli/ConsoleReceiverTest.cpp)
target_link_libraries(cli_tests PRIVATE ovcli)

ov_test(install_tests install/SoftBaseHelperUtilTest.cpp install/SoftSaasHelperUtilTest.cpp
  install/SoftCorvelaHelperUtilTest.cpp install/SoftSaasSlidesTest.cpp
  install/SoftSaasPipelineTest.cpp install/InstallRunUtilTest.cpp)
target_link_libraries(install_tests PRIVATE ovtestservices)
target_compile_definitions(install_tests PRIVATE OV_SAMPLE_PROGRAM="Z:$<TARGET_FILE:ov_sample_program>")
add_dependencies(install_tests ov_sample_program)

# Whole installs through ovinst.exe (ctest --preset win64 -L e2e).
if(OV_WIN_SAMPLE_DIR)
  ov_test(e2e_tests LABEL e2e e2e/OvInstTest.cpp e2e/OvInstHost-win32.cpp)
  target_link_libraries(e2e_tests PRIVATE ovtestservices)
  target_compile_definitions(e2e_tests PRIVATE OV_INST_BIN="Z:$<TARGET_FILE:ovinst>")
  add_dependencies(e2e_tests ovinst)
endif()

# The window's suites (-L gui) and the whole install by clicks (-L e2e), on a virtual display of
# the prefix's own (cmake/wine-run.sh), with the Qt of scripts/win-qt.sh.
if(OV_WIN_WINDOW)
  set(OV_WINE_GUI "env;OV_WINE_DISPLAY=xvfb;${PROJECT_SOURCE_DIR}/cmake/wine-run.sh")
  function(ov_gui_test name label)
    add_executable(${name} ${ARGN})
    target_link_libraries(${name} PRIVATE ovgui ovapp ovtestcommon ovtestservices GTest::gtest
      Qt6::Test)
    qt_import_plugins(${name} INCLUDE Qt6::QWindowsIntegrationPlugin Qt6::QJpegPlugin
      Qt6::QWindowsVistaStylePlugin)
    set_target_properties(${name} PROPERTIES CROSSCOMPILING_EMULATOR "${OV_WINE_GUI}")
    gtest_discover_tests(${name} TEST_FILTER "-${OV_WINE_GAPS}" DISCOVERY_MODE PRE_TEST
      DISCOVERY_TIMEOUT 300 PROPERTIES TIMEOUT 300 LABELS "${label}")
    gtest_discover_tests(${name} TEST_FILTER "${OV_WINE_GAPS}" DISCOVERY_MODE PRE_TEST
      DISCOVERY_TIMEOUT 300 PROPERTIES TIMEOUT 300 LABELS "wine-gap;${label}")
  endfunction()
  ov_gui_test(gui_tests gui gui/GuiTestMain.cpp gui/OVSkinHelperUtilTest.cpp
    gui/BaseFormUnitTest.cpp gui/MsgBoxUnitTest.cpp gui/QtMainThreadUtilTest.cpp
    gui/OVAssetsUtilTest.cpp gui/AppStartUtilTest.cpp gui/OLSMainUnitTest.cpp
    gui/OLSMainInstallTest.cpp gui/OLSMainProgressTest.cpp)
  if(OV_WIN_SAMPLE_DIR)
    ov_gui_test(gui_e2e_tests e2e gui/GuiTestMain.cpp gui/OLSMainE2ETest.cpp)
  endif()
  add_test(NAME OVOnlineSetupNeedsOnlySystemDlls COMMAND ${CMAKE_COMMAND}
    -DOBJDUMP=${CMAKE_OBJDUMP} -DPROGRAM=$<TARGET_FILE:OVOnlineSetup>
    -P ${CMAKE_CURRENT_SOURCE_DIR}/SystemDllsOnly.cmake)
endif()

add_test(NAME OvInstNeedsOnlySystemDlls COMMAND ${CMAKE_COMMAND} -DOBJDUMP=${CMAKE_OBJDUMP}
  -DPROGRAM=$<TARGET_FILE:ovinst> -P ${CMAKE_CURRENT_SOURCE_DIR}/SystemDllsOnly.cmake)
