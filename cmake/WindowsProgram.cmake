# TAVO.EXE: a windowed program for subsystem version 4.0 that needs only
# Windows' own DLLs, with its version record and icon.
enable_language(RC)
find_package(Python3 REQUIRED COMPONENTS Interpreter)

# "1.00": the major version and two digits of the minor one.
set(TAVO_SHORT_VERSION ${PROJECT_VERSION_MAJOR}.${PROJECT_VERSION_MINOR})
if(PROJECT_VERSION_MINOR LESS 10)
  set(TAVO_SHORT_VERSION ${PROJECT_VERSION_MAJOR}.0${PROJECT_VERSION_MINOR})
endif()

set(TAVO_ICON ${CMAKE_CURRENT_BINARY_DIR}/tavo.ico)
add_custom_command(OUTPUT ${TAVO_ICON}
  COMMAND ${Python3_EXECUTABLE} ${PROJECT_SOURCE_DIR}/tools/make_icon.py
          ${PROJECT_SOURCE_DIR}/resources/icon.txt ${TAVO_ICON}
  DEPENDS ${PROJECT_SOURCE_DIR}/tools/make_icon.py ${PROJECT_SOURCE_DIR}/resources/icon.txt
  COMMENT "Drawing the icon")
configure_file(resources/tavo.rc.in ${CMAKE_CURRENT_BINARY_DIR}/tavo.rc @ONLY)
set_source_files_properties(${CMAKE_CURRENT_BINARY_DIR}/tavo.rc PROPERTIES OBJECT_DEPENDS ${TAVO_ICON})
target_sources(tavo PRIVATE ${CMAKE_CURRENT_BINARY_DIR}/tavo.rc)

set_target_properties(tavo PROPERTIES OUTPUT_NAME TAVO SUFFIX .EXE WIN32_EXECUTABLE ON)
target_link_options(tavo PRIVATE -static -s -Wl,--subsystem,windows:4.0)
install(TARGETS tavo RUNTIME DESTINATION .)
