# nimbuscope_add_test(<name> [GUI|OWN_MAIN] SOURCES <files...> LIBS <targets...>)
# Builds one GoogleTest executable and registers its cases with CTest. GUI gives the test a
# QApplication (offscreen platform) instead of a QCoreApplication; OWN_MAIN leaves main to
# the test's sources.
function(nimbuscope_add_test name)
  cmake_parse_arguments(ARG "GUI;OWN_MAIN" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  if(ARG_OWN_MAIN)
    target_link_libraries(${name} PRIVATE Qt6::Widgets)
  elseif(ARG_GUI)
    target_link_libraries(${name} PRIVATE nimbuscope_testmain_gui Qt6::Widgets)
  else()
    target_link_libraries(${name} PRIVATE nimbuscope_testmain_core)
  endif()
  target_link_libraries(${name} PRIVATE ${ARG_LIBS} nimbuscope_testsupport GTest::gtest GTest::gmock)
  gtest_discover_tests(${name}
    DISCOVERY_TIMEOUT 60
    PROPERTIES TIMEOUT 120 ENVIRONMENT QT_QPA_PLATFORM=offscreen)
endfunction()
