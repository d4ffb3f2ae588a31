# What a Windows executable carries besides its code: a version resource,
# from which the program reads its version (common/ExeVersion.h), and the
# icon, made from data/hexvac.svg when the build runs (rsvg-convert of
# librsvg2-bin draws it at each size, icotool of icoutils packs the sizes).
#
#   hexvac_windows_resources(<target> "<file description>")
#
# Does nothing when not building for Windows.
function(hexvac_windows_resources target description)
  if(NOT WIN32)
    return()
  endif()
  set(icon ${PROJECT_BINARY_DIR}/hexvac.ico)
  if(NOT TARGET hexvac_icon)
    find_program(HEXVAC_RSVG_CONVERT rsvg-convert REQUIRED)
    find_program(HEXVAC_ICOTOOL icotool REQUIRED)
    set(svg ${PROJECT_SOURCE_DIR}/data/hexvac.svg)
    set(pngs)
    foreach(size 16 24 32 48 64 256)
      set(png ${PROJECT_BINARY_DIR}/hexvac-icon/${size}.png)
      add_custom_command(OUTPUT ${png}
        COMMAND ${CMAKE_COMMAND} -E make_directory ${PROJECT_BINARY_DIR}/hexvac-icon
        COMMAND ${HEXVAC_RSVG_CONVERT} -w ${size} -h ${size} -o ${png} ${svg}
        DEPENDS ${svg} VERBATIM)
      list(APPEND pngs ${png})
    endforeach()
    add_custom_command(OUTPUT ${icon}
      COMMAND ${HEXVAC_ICOTOOL} -c -o ${icon} ${pngs}
      DEPENDS ${pngs}
      COMMENT "Making the Windows icon from hexvac.svg" VERBATIM)
    add_custom_target(hexvac_icon DEPENDS ${icon})
  endif()

  set(HEXVAC_RC_NAME ${target})
  set(HEXVAC_RC_DESCRIPTION "${description}")
  set(HEXVAC_RC_ICON ${icon})
  string(REPLACE "." "," HEXVAC_RC_NUMBERS "${PROJECT_VERSION}.0")
  set(HEXVAC_RC_VERSION "${PROJECT_VERSION}.0")
  set(rc ${CMAKE_CURRENT_BINARY_DIR}/${target}.rc)
  configure_file(${PROJECT_SOURCE_DIR}/cmake/program.rc.in ${rc} @ONLY)
  set_source_files_properties(${rc} PROPERTIES OBJECT_DEPENDS ${icon})
  target_sources(${target} PRIVATE ${rc})
  add_dependencies(${target} hexvac_icon)
endfunction()
