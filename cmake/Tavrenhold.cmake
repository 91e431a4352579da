# One static library per subsystem folder: every .cpp/.h of the folder, and a QML module when the
# folder has .qml files. Subsystems list what they link.
function(tavrenhold_subsystem name)
  cmake_parse_arguments(ARG "" "URI" "LINK" ${ARGN})
  file(GLOB _sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp ${CMAKE_CURRENT_SOURCE_DIR}/*.h)
  set(target tavrenhold_${name})
  if(NOT _sources)
    file(WRITE ${CMAKE_CURRENT_BINARY_DIR}/empty.cpp "")
    set(_sources ${CMAKE_CURRENT_BINARY_DIR}/empty.cpp)
  endif()
  add_library(${target} STATIC ${_sources})
  target_include_directories(${target} PUBLIC ${CMAKE_CURRENT_SOURCE_DIR}/..)
  target_link_libraries(${target} PUBLIC ${ARG_LINK})
  if(ARG_URI)
    file(GLOB _qml CONFIGURE_DEPENDS RELATIVE ${CMAKE_CURRENT_SOURCE_DIR} ${CMAKE_CURRENT_SOURCE_DIR}/qml/*.qml)
    string(REPLACE "." "/" _uri_path ${ARG_URI})
    qt_add_qml_module(${target}
      URI ${ARG_URI}
      VERSION 1.0
      QML_FILES ${_qml}
      OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/qml/${_uri_path})
  endif()
endfunction()

# Every tests/<dir>/tst_<name>.cpp is one QtTest binary, registered with ctest as <dir>_<name> and
# labelled <dir>; a line "// labels: a b" in the file adds labels.
function(tavrenhold_tests dir)
  cmake_parse_arguments(ARG "" "" "LINK" ${ARGN})
  file(GLOB _tests CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/tst_*.cpp)
  foreach(src ${_tests})
    get_filename_component(base ${src} NAME_WE)
    string(REPLACE "tst_" "" subject ${base})
    set(target test_${dir}_${subject})
    add_executable(${target} ${src})
    target_link_libraries(${target} PRIVATE ${ARG_LINK} tavrenhold_fakes Qt6::Test)
    add_test(NAME ${dir}_${subject} COMMAND ${target})
    file(STRINGS ${src} _labelline REGEX "^// labels:")
    set(labels ${dir})
    if(_labelline)
      string(REPLACE "// labels:" "" _extra "${_labelline}")
      separate_arguments(_extra)
      list(APPEND labels ${_extra})
    endif()
    set_tests_properties(${dir}_${subject} PROPERTIES LABELS "${labels}" TIMEOUT 120
      ENVIRONMENT "QT_QPA_PLATFORM=offscreen;QML_IMPORT_PATH=${CMAKE_BINARY_DIR}/qml")
  endforeach()
endfunction()
