# nimbuscope_add_test(<name> [GUI | OWN_MAIN] [LABEL <label>] SOURCES <files...>
#                     LIBS <targets...> [TIMEOUT <seconds>])
# Builds one GoogleTest executable and registers its cases with CTest, labelled
# "<label>/<name>", where the label is the one given or else the test folder's name: `ctest -L e2e`
# picks a level, and scripts/mutants picks the programs a mutant changed.
# GUI gives the test a QApplication (offscreen platform) instead of a QCoreApplication.
# OWN_MAIN leaves main to the test's sources. TIMEOUT (default 120 s) bounds each case.
function(nimbuscope_add_test name)
  cmake_parse_arguments(ARG "GUI;OWN_MAIN" "LABEL;TIMEOUT" "SOURCES;LIBS" ${ARGN})
  if(NOT ARG_TIMEOUT)
    set(ARG_TIMEOUT 120)
  endif()
  add_executable(${name} ${ARG_SOURCES})
  if(ARG_OWN_MAIN)
    target_link_libraries(${name} PRIVATE Qt6::Widgets)
  elseif(ARG_GUI)
    target_link_libraries(${name} PRIVATE nimbuscope_testmain_gui Qt6::Widgets)
  else()
    target_link_libraries(${name} PRIVATE nimbuscope_testmain_core)
  endif()
  target_link_libraries(${name} PRIVATE ${ARG_LIBS} nimbuscope_testsupport GTest::gtest GTest::gmock)
  if(NOT ARG_LABEL)
    get_filename_component(ARG_LABEL ${CMAKE_CURRENT_SOURCE_DIR} NAME)
  endif()
  # One label only: gtest_discover_tests splits a list-valued property.
  set(properties TIMEOUT ${ARG_TIMEOUT} ENVIRONMENT QT_QPA_PLATFORM=offscreen
                 LABELS ${ARG_LABEL}/${name})
  gtest_discover_tests(${name}
    DISCOVERY_TIMEOUT 60
    PROPERTIES ${properties})
endfunction()
