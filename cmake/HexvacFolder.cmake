# Every folder builds two libraries: hexvac_<name>, the part that talks to the
# handbox or the system (QtCore, and QtSerialPort where that is the serial
# line; usable without a display), and hexvac_<name>_windows, its windows and
# Qt dialogs.
#
#   hexvac_folder(<name> CORE <sources...> CORE_DEPS <targets...>
#                        WINDOWS <sources...> WINDOWS_DEPS <targets...>)
#
# A half without sources becomes an interface library, so the folders above
# can link both halves of every folder below from the start.
function(hexvac_folder name)
  cmake_parse_arguments(F "" "" "CORE;CORE_DEPS;WINDOWS;WINDOWS_DEPS" ${ARGN})
  set(core hexvac_${name})
  set(win hexvac_${name}_windows)

  if(F_CORE)
    add_library(${core} STATIC ${F_CORE})
    target_include_directories(${core} PUBLIC ${PROJECT_SOURCE_DIR})
    target_link_libraries(${core} PUBLIC Qt6::Core ${HEXVAC_SERIAL_QT} ${F_CORE_DEPS})
  else()
    add_library(${core} INTERFACE)
    target_include_directories(${core} INTERFACE ${PROJECT_SOURCE_DIR})
    target_link_libraries(${core} INTERFACE Qt6::Core ${HEXVAC_SERIAL_QT} ${F_CORE_DEPS})
  endif()

  if(F_WINDOWS)
    add_library(${win} STATIC ${F_WINDOWS})
    target_link_libraries(${win} PUBLIC ${core} Qt6::Widgets ${F_WINDOWS_DEPS})
  else()
    add_library(${win} INTERFACE)
    target_link_libraries(${win} INTERFACE ${core} ${F_WINDOWS_DEPS})
  endif()
endfunction()
