# Run at install time (cmake/WindowsPackage.cmake): installs beside the
# programs every DLL that they and the Qt plugins load and that is not part of
# Windows, following the imports DLL by DLL with mingw's objdump.
#
# Set by the caller: hexvac_executables, hexvac_modules (the plugins),
# hexvac_installed_modules (the same, as installed, relative to the
# installation folder), hexvac_dll_dirs (where the DLLs are looked for, in
# order), hexvac_objdump, hexvac_strip, hexvac_dll_names (a scratch folder).
#
# With install/strip (CPack's CPACK_STRIP_FILES) the DLLs and plugins lose
# their symbols as the programs do: mingw's C++ runtime alone is 24 MB with
# them, 2 MB without.
#
# CMake matches a DLL's name in lower case, as Windows ignores case. This
# build machine does not: "qt6core.dll" is not found as Qt6Core.dll. So the
# search runs in a folder of lower-case names linked to the DLLs, and each
# DLL found is installed under its own name.

file(REMOVE_RECURSE "${hexvac_dll_names}")
file(MAKE_DIRECTORY "${hexvac_dll_names}")
foreach(dir IN LISTS hexvac_dll_dirs)
  file(GLOB dlls LIST_DIRECTORIES false "${dir}/*.dll")
  foreach(dll IN LISTS dlls)
    get_filename_component(name "${dll}" NAME)
    string(TOLOWER "${name}" lower)
    # The first folder that has a DLL gives it, as the order says.
    if(NOT EXISTS "${hexvac_dll_names}/${lower}")
      file(CREATE_LINK "${dll}" "${hexvac_dll_names}/${lower}" SYMBOLIC)
    endif()
  endforeach()
endforeach()

set(CMAKE_GET_RUNTIME_DEPENDENCIES_PLATFORM windows+pe)
set(CMAKE_GET_RUNTIME_DEPENDENCIES_TOOL objdump)
set(CMAKE_GET_RUNTIME_DEPENDENCIES_COMMAND "${hexvac_objdump}")
file(GET_RUNTIME_DEPENDENCIES
  EXECUTABLES ${hexvac_executables}
  MODULES ${hexvac_modules}
  DIRECTORIES "${hexvac_dll_names}"
  PRE_EXCLUDE_REGEXES [[^api-ms-]] [[^ext-ms-]]
  RESOLVED_DEPENDENCIES_VAR found
  UNRESOLVED_DEPENDENCIES_VAR missing)
# What is not found must be a DLL of Windows itself.
foreach(dll IN LISTS missing)
  if(dll MATCHES [[^(qt6|lib|zlib)]])
    message(FATAL_ERROR "The programs need ${dll}, which is in none of ${hexvac_dll_dirs}")
  endif()
endforeach()
set(installed ${hexvac_installed_modules})
foreach(link IN LISTS found)
  file(REAL_PATH "${link}" dll)
  file(INSTALL "${dll}" DESTINATION "${CMAKE_INSTALL_PREFIX}")
  get_filename_component(name "${dll}" NAME)
  list(APPEND installed "${name}")
endforeach()
if(CMAKE_INSTALL_DO_STRIP)
  foreach(file IN LISTS installed)
    execute_process(COMMAND "${hexvac_strip}" --strip-unneeded "${CMAKE_INSTALL_PREFIX}/${file}"
      COMMAND_ERROR_IS_FATAL ANY)
  endforeach()
endif()
