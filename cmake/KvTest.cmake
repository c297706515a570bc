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
  if(T_NO_WIDGETS)
    target_link_libraries(${name} PRIVATE ${T_LIBS} Qt6::Test)
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
      ENVIRONMENT "QT_QPA_PLATFORM=offscreen;LC_ALL=${locale}.UTF-8;LANG=${locale}.UTF-8;TZ=UTC;QT_LOGGING_RULES=qt.qpa.*=false")
  endforeach()
endfunction()
