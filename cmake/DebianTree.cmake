# Run by CPack (CPACK_PRE_BUILD_SCRIPTS) once it has installed the package's
# tree into its staging folder and before it packs it: makes the tree what
# Debian's policy asks of a package, and works out the package's Depends.
#  - The manual pages compressed with gzip -9n (no file name or time stamp
#    inside, so the package's bytes depend on its files alone).
#  - usr/share/doc/vandrell/copyright, in the machine-readable format, and
#    the Debian changelog as changelog.gz (the name for a native package).
#    The copyright file holds the licence, so the plain LICENSE that other
#    installed trees carry is left out.
#  - Depends from dpkg-shlibdeps over every ELF file of the tree. CPack's own
#    run of it (CPACK_DEBIAN_PACKAGE_SHLIBDEPS) would also write maintainer
#    scripts calling ldconfig, as it does for any shared library under
#    /usr/lib; ours are private, in /usr/lib/vandrell, found through the
#    programs' run path, so ldconfig has nothing to do for them.
# What dpkg-shlibdeps says on standard error is passed on (but for its notes
# on our own libraries), so that scripts/package.sh sees its warnings in
# CPack's log.

set(root "${CPACK_TEMPORARY_INSTALL_DIRECTORY}")
set(prefix "${root}${CPACK_PACKAGING_INSTALL_PREFIX}")
set(source "${CPACK_VANDRELL_SOURCE_DIR}")
set(doc "${prefix}/share/doc/${CPACK_PACKAGE_NAME}")
find_program(GZIP_EXECUTABLE gzip REQUIRED)
find_program(DPKG_SHLIBDEPS_EXECUTABLE dpkg-shlibdeps REQUIRED)

function(gzip_in_place file)
  execute_process(COMMAND "${GZIP_EXECUTABLE}" -9nf "${file}" RESULT_VARIABLE status)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "gzip -9n ${file} failed (${status})")
  endif()
endfunction()

file(GLOB pages "${prefix}/share/man/man*/*.[1-9]")
if(NOT pages)
  message(FATAL_ERROR "no manual pages in ${prefix}/share/man")
endif()
foreach(page IN LISTS pages)
  gzip_in_place("${page}")
endforeach()

file(REMOVE "${doc}/LICENSE")
file(COPY "${source}/cmake/debian/copyright" "${source}/cmake/debian/changelog"
     DESTINATION "${doc}"
     FILE_PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ)
gzip_in_place("${doc}/changelog")

# Every ELF file, by its magic number, named from the tree's root
# (./usr/...) as CPack's own run of dpkg-shlibdeps names them.
file(GLOB_RECURSE files LIST_DIRECTORIES false RELATIVE "${root}" "${root}/*")
set(binaries "")
foreach(file IN LISTS files)
  if(NOT IS_SYMLINK "${root}/${file}")
    file(READ "${root}/${file}" magic LIMIT 4 HEX)
    if(magic STREQUAL "7f454c46")
      list(APPEND binaries "./${file}")
    endif()
  endif()
endforeach()
if(NOT binaries)
  message(FATAL_ERROR "no ELF files in ${root}")
endif()

# dpkg-shlibdeps wants a source package's debian/control in its working
# folder, and a DEBIAN folder to tell the package's root by when it follows a
# run path ($ORIGIN); both are removed again before the tree is packed.
# Our own libraries have no dependency information of their own
# (--ignore-missing-info): they are in this package.
file(WRITE "${root}/debian/control" "")
file(MAKE_DIRECTORY "${root}/DEBIAN")
execute_process(COMMAND "${DPKG_SHLIBDEPS_EXECUTABLE}" --ignore-missing-info -O ${binaries}
                WORKING_DIRECTORY "${root}"
                RESULT_VARIABLE status
                OUTPUT_VARIABLE output
                ERROR_VARIABLE errors
                OUTPUT_STRIP_TRAILING_WHITESPACE)
file(REMOVE_RECURSE "${root}/debian" "${root}/DEBIAN")
# Our libraries' unversioned names (libhostsdk.so) say no version, which
# dpkg-shlibdeps notes for each; being ours, they need none.
string(REPLACE "\n" ";" lines "${errors}")
foreach(line IN LISTS lines)
  if(line MATCHES "can't extract name and version from library name '([^']+)'$"
     AND EXISTS "${prefix}/lib/${CPACK_PACKAGE_NAME}/${CMAKE_MATCH_1}")
    continue()
  endif()
  if(NOT line STREQUAL "")
    message(NOTICE "${line}")
  endif()
endforeach()
if(NOT status EQUAL 0 OR NOT output MATCHES "shlibs:Depends=([^\n]+)")
  message(FATAL_ERROR "dpkg-shlibdeps failed (${status}): ${output}")
endif()
set(CPACK_DEBIAN_PACKAGE_DEPENDS "${CMAKE_MATCH_1}")
