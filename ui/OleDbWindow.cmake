# The OLE DB variant of the bench: its main window (TFoMain) and the `vantrel` program. Included
# from ui/CMakeLists.txt once the OLE DB consumer exists.
if(TARGET vantrel-oledb-consumer)
  add_library(vantrel-oledb-window STATIC
      ${CMAKE_CURRENT_LIST_DIR}/Fo_Main.cpp
      ${CMAKE_CURRENT_LIST_DIR}/OleDbMessageBox.cpp
      ${CMAKE_CURRENT_LIST_DIR}/ProviderComboList.cpp)
  target_link_libraries(vantrel-oledb-window PUBLIC vantrel-ui vantrel-oledb-consumer)

  add_executable(vantrel ${CMAKE_CURRENT_LIST_DIR}/main.cpp)
  target_link_libraries(vantrel PRIVATE vantrel-oledb-window)
  # The program and the COM runtime library it links are all the bench needs to start.
  add_dependencies(bench-runtime vantrel vantrel-com)
endif()

if(TARGET vantrel)
  install(TARGETS vantrel RUNTIME DESTINATION bin COMPONENT runtime)
  install(FILES ${CMAKE_CURRENT_LIST_DIR}/desktop/vantrel.desktop
          DESTINATION share/applications COMPONENT runtime)
  install(FILES ${CMAKE_CURRENT_LIST_DIR}/desktop/vantrel.svg
          DESTINATION share/icons/hicolor/scalable/apps COMPONENT runtime)
endif()
