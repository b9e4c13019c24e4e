find_package(Qt6 REQUIRED COMPONENTS Widgets)
set(CMAKE_AUTOMOC ON)
set(CMAKE_AUTORCC ON)

# The Qt stand-ins for the GUI class library, the wait cursor and the window.
file(GLOB QUOR_GUI_SOURCES CONFIGURE_DEPENDS
  platform/gui/*.cpp platform/gui/*.h support/*.cpp support/*.h app/*.cpp app/*.h app/*.qrc)
list(FILTER QUOR_GUI_SOURCES EXCLUDE REGEX ".*/app/main\\.cpp$")
add_library(quor_gui STATIC ${QUOR_GUI_SOURCES})
target_link_libraries(quor_gui PUBLIC quor_core Qt6::Widgets)

add_executable(quor-renamer app/main.cpp)
target_link_libraries(quor-renamer PRIVATE quor_gui)

file(GLOB QUOR_GUI_TESTS CONFIGURE_DEPENDS tests/gui/*.cpp)
if(QUOR_GUI_TESTS)
  add_executable(gui_tests ${QUOR_GUI_TESTS})
  target_link_libraries(gui_tests PRIVATE quor_gui GTest::gtest)
  gtest_discover_tests(gui_tests DISCOVERY_TIMEOUT 60
    PROPERTIES ENVIRONMENT "QT_QPA_PLATFORM=offscreen" TIMEOUT 120)
endif()

# The README's pictures; run it under xvfb-run from the source folder.
add_executable(doc_screenshots EXCLUDE_FROM_ALL docs/screenshots.cpp)
target_link_libraries(doc_screenshots PRIVATE quor_gui)
