# The Windows installation: the two programs at the top of the folder, and
# beside them every DLL they load (Qt's, mingw's C++ runtime, zlib) and the
# Qt plugins they need (the Windows platform plugin and the native style).
# CPack packs it as an NSIS installer (Start-menu entry with the icon, an
# uninstaller) and as a zip.

set(hexvac_qt_plugin_dir ${QT6_INSTALL_PREFIX}/${QT6_INSTALL_PLUGINS})
set(hexvac_qt_plugins platforms/qwindows.dll styles/qwindowsvistastyle.dll)
set(hexvac_plugin_files)
foreach(plugin IN LISTS hexvac_qt_plugins)
  get_filename_component(folder ${plugin} DIRECTORY)
  install(FILES ${hexvac_qt_plugin_dir}/${plugin} DESTINATION ${folder})
  list(APPEND hexvac_plugin_files ${hexvac_qt_plugin_dir}/${plugin})
endforeach()

# Where the DLLs come from: the Windows Qt, mingw's runtime (libstdc++,
# libgcc and winpthread) and mingw's zlib (libz-mingw-w64).
execute_process(COMMAND ${CMAKE_CXX_COMPILER} -print-file-name=libstdc++-6.dll
  OUTPUT_VARIABLE hexvac_libstdcxx OUTPUT_STRIP_TRAILING_WHITESPACE)
get_filename_component(hexvac_gcc_dll_dir ${hexvac_libstdcxx} DIRECTORY)
set(hexvac_dll_dirs ${QT6_INSTALL_PREFIX}/bin ${hexvac_gcc_dll_dir} /usr/${HEXVAC_MINGW_TRIPLE}/lib)

# At install time the DLLs they load are found and installed beside them.
install(CODE "
  set(hexvac_executables [[$<TARGET_FILE:hexvac>]] [[$<TARGET_FILE:hexvac-dump>]])
  set(hexvac_modules [[${hexvac_plugin_files}]])
  set(hexvac_installed_modules [[${hexvac_qt_plugins}]])
  set(hexvac_dll_dirs [[${hexvac_dll_dirs}]])
  set(hexvac_objdump [[${CMAKE_OBJDUMP}]])
  set(hexvac_strip [[${CMAKE_STRIP}]])
  set(hexvac_dll_names [[${PROJECT_BINARY_DIR}/dll-names]])
  include([[${PROJECT_SOURCE_DIR}/cmake/InstallWindowsDlls.cmake]])
")

set(CPACK_GENERATOR NSIS ZIP)
set(CPACK_PACKAGE_FILE_NAME hexvac-${PROJECT_VERSION}-win64)
set(CPACK_PACKAGE_INSTALL_DIRECTORY Hexvac)
set(CPACK_PACKAGE_INSTALL_REGISTRY_KEY Hexvac)
set(CPACK_STRIP_FILES ON)
# The Start-menu entry: "Hexvac", starting hexvac.exe (its icon is the
# program's own); the uninstaller gets one beside it.
set(CPACK_PACKAGE_EXECUTABLES hexvac Hexvac)
set(CPACK_NSIS_EXECUTABLES_DIRECTORY .)
set(CPACK_NSIS_PACKAGE_NAME Hexvac)
set(CPACK_NSIS_DISPLAY_NAME "Hexvac ${PROJECT_VERSION}")
set(CPACK_NSIS_INSTALL_ROOT "$PROGRAMFILES64")
set(CPACK_NSIS_INSTALLED_ICON_NAME hexvac.exe)
set(CPACK_NSIS_MUI_ICON ${PROJECT_BINARY_DIR}/hexvac.ico)
set(CPACK_NSIS_MUI_UNIICON ${PROJECT_BINARY_DIR}/hexvac.ico)
set(CPACK_NSIS_ENABLE_UNINSTALL_BEFORE_INSTALL ON)
# A 64-bit installer and uninstaller for 64-bit programs: NSIS makes 32-bit
# ones unless told, and those need the 32-bit half of Windows (WoW64),
# which a 64-bit Wine without wine32 does not have.
set(CPACK_NSIS_DEFINES "Target amd64-unicode")
set(CPACK_NSIS_MANIFEST_DPI_AWARE ON)
# No license text of its own: no license page.
set(CPACK_NSIS_IGNORE_LICENSE_PAGE ON)
include(CPack)
