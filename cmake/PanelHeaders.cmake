# The panel constants: one header per panel file, made from panels/*.uir into the build tree (included as
# "panels/<file>.h"), so code names panels, controls and menu items as the files do.
find_package(Python3 REQUIRED COMPONENTS Interpreter)
set(VANTREL_GENERATED_DIR ${CMAKE_BINARY_DIR}/generated)
file(GLOB VANTREL_PANEL_FILES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/panels/*.uir)
set(VANTREL_PANEL_HEADERS)
foreach(file IN LISTS VANTREL_PANEL_FILES)
  get_filename_component(stem ${file} NAME_WE)
  list(APPEND VANTREL_PANEL_HEADERS ${VANTREL_GENERATED_DIR}/panels/${stem}.h)
endforeach()
# All files at once: a name two files share is checked and guarded across them. An unchanged header is not
# rewritten, so editing one panel file recompiles only the code that includes its header.
add_custom_command(
  OUTPUT ${VANTREL_PANEL_HEADERS}
  COMMAND Python3::Interpreter ${CMAKE_SOURCE_DIR}/cmake/panel_header.py ${VANTREL_GENERATED_DIR}/panels
          ${VANTREL_PANEL_FILES}
  DEPENDS ${CMAKE_SOURCE_DIR}/cmake/panel_header.py ${VANTREL_PANEL_FILES}
  COMMENT "Panel constants from panels/*.uir")
add_custom_target(vantrel_panel_headers DEPENDS ${VANTREL_PANEL_HEADERS})
# Linking this (platform_ui does, so every library and program of the UI does) orders its compilation after the
# headers are made.
add_library(vantrel_panel_names INTERFACE)
target_include_directories(vantrel_panel_names INTERFACE ${VANTREL_GENERATED_DIR})
add_dependencies(vantrel_panel_names vantrel_panel_headers)
