# kv_add_test(NAME SOURCES... LIBS ... LABEL unit|gui [TIMEOUT s] [NO_WIDGETS])
# Every test runs headless, with a timeout and a label, under a fixed locale: twice, once
# under C and once (name suffix _ru) under Russian. NO_WIDGETS leaves out the widget test
# support, for tests of layers that must not link Qt Widgets.
function(kv_add_test name)
  cmake_parse_arguments(T "NO_WIDGETS" "LABEL;TIMEOUT" "SOURCES;LIBS" ${ARGN})
  if(NOT T_LABEL)
    set(T_LABEL unit)
  endif()
  if(NOT T_TIMEOUT)
    set(T_TIMEOUT 120)
  endif()
  add_executable(${name} ${T_SOURCES})
  # Header-only helpers shared by the tests, widget-free ones included.
  target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR}/tests/support)
  # The seams of the test window (its code window) and of the class client (its delays) come
  # with them.
  if("kv_app" IN_LIST T_LIBS)
    list(APPEND T_LIBS kv_test_seams_testing)
  elseif("kv_bank_client" IN_LIST T_LIBS)
    list(APPEND T_LIBS kv_test_seams_client)
  endif()
  if(T_NO_WIDGETS)
    target_link_libraries(${name} PRIVATE ${T_LIBS} kv_test_seams_core Qt6::Test)
  else()
    target_link_libraries(${name} PRIVATE ${T_LIBS} kv_test_support Qt6::Test)
  endif()
  # Once under C and once under the Russian locale the program meets on its users' desktops
  # (ru_RU.UTF-8 comes from scripts/install-deps.sh).
  foreach(locale C ru_RU)
    set(test_name ${name})
    if(locale STREQUAL "ru_RU")
      set(test_name ${name}_ru)
    endif()
    add_test(NAME ${test_name} COMMAND ${name})
    set_tests_properties(${test_name} PROPERTIES
      LABELS ${T_LABEL}
      TIMEOUT ${T_TIMEOUT}
      ENVIRONMENT "QT_QPA_PLATFORM=offscreen;LC_ALL=${locale}.UTF-8;LANG=${locale}.UTF-8;TZ=UTC;QT_LOGGING_RULES=qt.qpa.*=false"
      # A test whose service is missing here says so (tests/support/skip.h): skipped, not passed.
      SKIP_REGULAR_EXPRESSION "(^|\n)SKIP: ")
  endforeach()
endfunction()

# kv_add_script_test(NAME COMMAND script args... LABEL label [TIMEOUT s])
# A test written as a shell script beside its CMakeLists.txt, run once under the Russian
# locale of the program's users; exit code 77 marks it skipped (no display, say). An x11 test
# holds the one display for itself.
function(kv_add_script_test name)
  cmake_parse_arguments(T "" "LABEL;TIMEOUT" "COMMAND" ${ARGN})
  if(NOT T_TIMEOUT)
    set(T_TIMEOUT 120)
  endif()
  list(POP_FRONT T_COMMAND script)
  add_test(NAME ${name} COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/${script} ${T_COMMAND})
  set_tests_properties(${name} PROPERTIES LABELS ${T_LABEL} TIMEOUT ${T_TIMEOUT}
    SKIP_RETURN_CODE 77 ENVIRONMENT "LC_ALL=ru_RU.UTF-8;LANG=ru_RU.UTF-8;TZ=UTC")
  if(T_LABEL STREQUAL "x11")
    set_tests_properties(${name} PROPERTIES RESOURCE_LOCK x11_display)
  endif()
endfunction()
