# Builds the Debian package from BUILD_DIR and checks it as an installer would see it: its files,
# its relations, lintian's verdict, and the program running from the files it unpacks.
#   cmake -DBUILD_DIR=<build> -DSCRATCH=<scratch dir> -P check-package.cmake
# Prints "SKIP: …" only when a Debian tool is missing; any fault is a fatal error.
cmake_minimum_required(VERSION 3.22)

foreach(variable BUILD_DIR SCRATCH)
  if(NOT ${variable})
    message(FATAL_ERROR "${variable} is not set; run with -D${variable}=…")
  endif()
endforeach()

function(run)
  execute_process(COMMAND ${ARGN} RESULT_VARIABLE result OUTPUT_VARIABLE output
    ERROR_VARIABLE output)
  if(NOT result EQUAL 0)
    list(JOIN ARGN " " command)
    message(FATAL_ERROR "${command} failed (${result}):\n${output}")
  endif()
  set(output "${output}" PARENT_SCOPE)
endfunction()

# dpkg-shlibdeps (package dpkg-dev) computes the Depends line; without it there is no package.
find_program(DPKG_DEB dpkg-deb)
find_program(DPKG_SHLIBDEPS dpkg-shlibdeps)
find_program(LINTIAN lintian)
if(NOT DPKG_DEB OR NOT DPKG_SHLIBDEPS)
  message(STATUS "SKIP: dpkg-deb or dpkg-shlibdeps (package dpkg-dev) not installed")
  return()
endif()

# A stale package or tree would hide a file the package no longer holds.
file(REMOVE_RECURSE ${SCRATCH})
run(${CMAKE_CPACK_COMMAND} --config ${BUILD_DIR}/CPackConfig.cmake -G DEB -B ${SCRATCH})
file(GLOB package ${SCRATCH}/quillmere_*.deb)
list(LENGTH package count)
if(NOT count EQUAL 1)
  message(FATAL_ERROR "cpack made ${count} packages instead of one quillmere_*.deb:\n${output}")
endif()

run(${DPKG_DEB} -I ${package})
set(control "${output}")
foreach(expected "Package: quillmere" "Depends: [^\n]*libqt6core6[^\n]*libqt6svg6"
    "Recommends: wine, qt6-wayland" "Section: otherosfs")
  if(NOT control MATCHES "\n ${expected}")
    message(FATAL_ERROR "The package's control lacks “${expected}”:\n${control}")
  endif()
endforeach()
if(control MATCHES "\n Depends: [^\n]*wine")
  message(FATAL_ERROR "Wine is a recommendation, not a dependency:\n${control}")
endif()

set(app_id org.quillmere.Quillmere)
run(${DPKG_DEB} -c ${package})
foreach(file bin/quillmere libexec/quillmere/quillmere-logkeeper
    share/applications/${app_id}.desktop share/icons/hicolor/scalable/apps/${app_id}.svg
    share/metainfo/${app_id}.metainfo.xml share/doc/quillmere/copyright
    share/doc/quillmere/changelog.gz)
  if(NOT output MATCHES " \\./usr/${file}\n")
    message(FATAL_ERROR "The package lacks /usr/${file}:\n${output}")
  endif()
endforeach()

# Run from the unpacked files with its data in the scratch folder and a stand-in Wine that says
# where its output goes: into a pipe only when the log keeper beside the program was found.
set(root ${SCRATCH}/root)
set(home ${SCRATCH}/home)
run(${DPKG_DEB} -x ${package} ${root})
set(wine_bin ${home}/data/Quillmere/Runtimes/engine-a/bin)
file(WRITE ${SCRATCH}/wine "#!/bin/sh
[ \"$1\" = wineboot ] && { : > \"$WINEPREFIX/system.reg\"; exit 0; }
printf 'output goes to '; readlink /proc/$$/fd/1
")
file(WRITE ${SCRATCH}/wineserver "#!/bin/sh\n")
file(WRITE ${home}/Program.exe "MZ")
file(COPY ${SCRATCH}/wine ${SCRATCH}/wineserver DESTINATION ${wine_bin}
  FILE_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE)
set(environment ${CMAKE_COMMAND} -E env --unset=QUILLMERE_LOG_KEEPER --unset=DISPLAY
  --unset=WAYLAND_DISPLAY HOME=${home} XDG_DATA_HOME=${home}/data
  XDG_CONFIG_HOME=${home}/config XDG_CACHE_HOME=${home}/cache
  QUILLMERE_WEBSITE_URL=http://127.0.0.1:9 QUILLMERE_STEAM_STORE_URL=http://127.0.0.1:9
  QUILLMERE_STEAM_API_URL=http://127.0.0.1:9)
run(${environment} ${root}/usr/bin/quillmere help)
if(NOT output MATCHES "Usage: quillmere")
  message(FATAL_ERROR "The unpacked quillmere does not run:\n${output}")
endif()
run(${environment} ${root}/usr/bin/quillmere run ${home}/Program.exe)
run(${environment} ${root}/usr/bin/quillmere log Program)
if(NOT output MATCHES "output goes to pipe:")
  message(FATAL_ERROR "The unpacked quillmere did not hand the log to its log keeper:\n${output}")
endif()

if(NOT LINTIAN)
  message(STATUS "SKIP: lintian not installed; the package is built and runs but is not linted")
  return()
endif()
# Errors fail; warnings are printed for people to read.
run(${LINTIAN} --fail-on error ${package})
message(STATUS "lintian:\n${output}")
