# Tests of the OLE DB main window on the real SQLite provider, the real service components and
# the failing test provider, on Qt's offscreen platform. Included from tests/ui/CMakeLists.txt.
if(TARGET vantrel-oledb-window)
  add_executable(oledb_window_tests
      ${CMAKE_CURRENT_LIST_DIR}/OleDbWindowMain.cpp
      ${CMAKE_CURRENT_LIST_DIR}/FoMainTest.cpp
      ${PROJECT_SOURCE_DIR}/tests/oledb/support/FailingProvider.cpp
      ${PROJECT_SOURCE_DIR}/tests/oledb/support/MessageBoxRecorder.cpp)
  target_include_directories(oledb_window_tests PRIVATE ${PROJECT_SOURCE_DIR}
                             ${PROJECT_SOURCE_DIR}/tests/oledb ${PROJECT_SOURCE_DIR}/platform/services)
  target_link_libraries(oledb_window_tests PRIVATE vantrel-oledb-window GTest::gtest)
  gtest_discover_tests(oledb_window_tests DISCOVERY_TIMEOUT 60
      PROPERTIES ENVIRONMENT QT_QPA_PLATFORM=offscreen)
endif()

# The real program at a start whose settings cannot be written.
if(TARGET vantrel)
  add_test(NAME vantrel_starts_with_unwritable_settings
           COMMAND ${CMAKE_CURRENT_LIST_DIR}/start_with_unwritable_settings.sh $<TARGET_FILE:vantrel>)
endif()
