# The window's tests and the README's pictures.
file(GLOB QUOR_GUI_TESTS CONFIGURE_DEPENDS tests/gui/*.cpp)
if(QUOR_GUI_TESTS)
  add_executable(gui_tests ${QUOR_GUI_TESTS})
  target_link_libraries(gui_tests PRIVATE quor_gui GTest::gtest)
  # The window is checked against the command line, run as a process, and
  # its own command line is run as one too.
  target_compile_definitions(gui_tests PRIVATE QUOR_RENAME_EXE="$<TARGET_FILE:quor-rename>"
                                               QUOR_RENAMER_EXE="$<TARGET_FILE:quor-renamer>")
  add_dependencies(gui_tests quor-rename quor-renamer)
  gtest_discover_tests(gui_tests DISCOVERY_TIMEOUT 60
    PROPERTIES ENVIRONMENT "QT_QPA_PLATFORM=offscreen" TIMEOUT ${QUOR_TEST_TIMEOUT})
endif()

# The README's pictures; run it under xvfb-run from the source folder.
add_executable(doc_screenshots EXCLUDE_FROM_ALL docs/screenshots.cpp)
target_link_libraries(doc_screenshots PRIVATE quor_gui)
