# kv_add_test(NAME SOURCES... LIBS ... LABEL unit|gui [TIMEOUT s] [NO_WIDGETS])
# Every test runs headless, under a fixed locale, with a timeout and a label. NO_WIDGETS leaves
# out the widget test support, for tests of layers that must not link Qt Widgets.
function(kv_add_test name)
  cmake_parse_arguments(T "NO_WIDGETS" "LABEL;TIMEOUT" "SOURCES;LIBS" ${ARGN})
  if(NOT T_LABEL)
    set(T_LABEL unit)
  endif()
  if(NOT T_TIMEOUT)
    set(T_TIMEOUT 120)
  endif()
  add_executable(${name} ${T_SOURCES})
  if(T_NO_WIDGETS)
    target_link_libraries(${name} PRIVATE ${T_LIBS} Qt6::Test)
  else()
    target_link_libraries(${name} PRIVATE ${T_LIBS} kv_test_support Qt6::Test)
  endif()
  add_test(NAME ${name} COMMAND ${name})
  set_tests_properties(${name} PROPERTIES
    LABELS ${T_LABEL}
    TIMEOUT ${T_TIMEOUT}
    ENVIRONMENT "QT_QPA_PLATFORM=offscreen;LC_ALL=C.UTF-8;LANG=C.UTF-8;TZ=UTC;QT_LOGGING_RULES=qt.qpa.*=false")
endfunction()
