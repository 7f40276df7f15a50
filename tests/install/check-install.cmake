# Installs the build into a fresh PREFIX and checks what a desktop needs to list Quillmere,
# offer it for .exe files and show its icon.
#   cmake -DBUILD_DIR=<build> -DPREFIX=<scratch dir> -P check-install.cmake
# Prints "SKIP: …" only when a validator program is missing; any fault is a fatal error.
cmake_minimum_required(VERSION 3.22)

foreach(variable BUILD_DIR PREFIX)
  if(NOT ${variable})
    message(FATAL_ERROR "${variable} is not set; run with -D${variable}=…")
  endif()
endforeach()

set(app_id org.quillmere.Quillmere)
set(executable ${PREFIX}/bin/quillmere)
set(log_keeper ${PREFIX}/libexec/quillmere/quillmere-logkeeper)
set(desktop_file ${PREFIX}/share/applications/${app_id}.desktop)
set(icon_file ${PREFIX}/share/icons/hicolor/scalable/apps/${app_id}.svg)
set(metainfo_file ${PREFIX}/share/metainfo/${app_id}.metainfo.xml)

# A stale prefix would hide a file the install no longer provides.
file(REMOVE_RECURSE ${PREFIX})
execute_process(COMMAND ${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${PREFIX}
  RESULT_VARIABLE result OUTPUT_VARIABLE output ERROR_VARIABLE output)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "cmake --install failed (${result}):\n${output}")
endif()

set(missing)
foreach(file ${executable} ${log_keeper} ${desktop_file} ${icon_file} ${metainfo_file})
  if(NOT EXISTS ${file})
    list(APPEND missing ${file})
  endif()
endforeach()
if(missing)
  list(JOIN missing "\n  " missing)
  message(FATAL_ERROR "The install is missing:\n  ${missing}")
endif()

# Running it proves the installed file is executable and still finds its libraries. The data
# folder points into the scratch prefix so the check never touches the user's own.
execute_process(COMMAND ${CMAKE_COMMAND} -E env HOME=${PREFIX}/home XDG_DATA_HOME=${PREFIX}/home/data
  XDG_CONFIG_HOME=${PREFIX}/home/config XDG_CACHE_HOME=${PREFIX}/home/cache ${executable} help
  RESULT_VARIABLE result OUTPUT_VARIABLE output ERROR_VARIABLE output)
if(NOT result EQUAL 0 OR NOT output MATCHES "Usage: quillmere")
  message(FATAL_ERROR "The installed ${executable} does not run (${result}):\n${output}")
endif()

# The validators check each file alone; these names tie the three together.
file(READ ${desktop_file} desktop)
foreach(expected "Icon=${app_id}" "Exec=quillmere %f"
    "MimeType=application/x-ms-dos-executable;")
  if(NOT desktop MATCHES "(^|\n)${expected}")
    message(FATAL_ERROR "${desktop_file} lacks the line “${expected}…”")
  endif()
endforeach()

find_program(DESKTOP_FILE_VALIDATE desktop-file-validate)
find_program(APPSTREAMCLI appstreamcli)
set(absent)

# desktop-file-validate exits 0 on warnings and hints, so any output is a complaint.
if(DESKTOP_FILE_VALIDATE)
  execute_process(COMMAND ${DESKTOP_FILE_VALIDATE} ${desktop_file}
    RESULT_VARIABLE result OUTPUT_VARIABLE output ERROR_VARIABLE output)
  if(NOT result EQUAL 0 OR NOT output STREQUAL "")
    message(FATAL_ERROR "desktop-file-validate rejects ${desktop_file} (${result}):\n${output}")
  endif()
else()
  list(APPEND absent "desktop-file-validate (package desktop-file-utils)")
endif()

# validate-tree checks the metainfo and that its launchable names an installed desktop file;
# --strict fails on anything above pedantic hints.
if(APPSTREAMCLI)
  execute_process(COMMAND ${APPSTREAMCLI} validate-tree --no-net --strict ${PREFIX}
    RESULT_VARIABLE result OUTPUT_VARIABLE output ERROR_VARIABLE output)
  if(NOT result EQUAL 0)
    message(FATAL_ERROR "appstreamcli rejects ${metainfo_file} (${result}):\n${output}")
  endif()
else()
  list(APPEND absent "appstreamcli (package appstream)")
endif()

if(absent)
  list(JOIN absent " and " absent)
  message(STATUS "SKIP: ${absent} not installed; the files are in place but not validated")
endif()
