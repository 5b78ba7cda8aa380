# What `cmake --install` puts under a prefix, and the Debian package CPack
# makes of the same tree:
#   bin/                     mdlexport, mdlinfo
#   lib/vandrell/            Vandrell.dlo and the shared libraries it and the
#                            commands load (hostsdk, win32)
#   share/man/man1/          mdlexport.1, mdlinfo.1
#   share/doc/vandrell/      the README with its pictures, the example scene,
#                            the LICENSE
#   share/vandrell/blender/  io_scene_quake_mdl.zip, the Blender add-on, for
#                            Blender's Install button; installed, it finds
#                            bin/mdlexport on PATH
# The commands find their libraries through a run path relative to their own
# folder, and mdlexport finds the module in ../lib/vandrell, so an installed
# tree works wherever it is put, with nothing set in the environment.

set(VANDRELL_INSTALL_MODULE_DIR lib/vandrell)

install(TARGETS mdlexport mdlinfo RUNTIME DESTINATION bin)
install(TARGETS Vandrell hostsdk win32
        LIBRARY DESTINATION ${VANDRELL_INSTALL_MODULE_DIR}
        RUNTIME DESTINATION ${VANDRELL_INSTALL_MODULE_DIR})
# mdlinfo links nothing of ours that is shared, and needs no run path.
set_target_properties(mdlexport PROPERTIES INSTALL_RPATH "$ORIGIN/../${VANDRELL_INSTALL_MODULE_DIR}")
set_target_properties(Vandrell hostsdk win32 PROPERTIES INSTALL_RPATH "$ORIGIN")

install(FILES man/mdlexport.1 man/mdlinfo.1 DESTINATION share/man/man1)
install(FILES README.md LICENSE DESTINATION share/doc/vandrell)
install(FILES docs/example-preview.png docs/options-dialog.png DESTINATION share/doc/vandrell/docs)
install(FILES examples/example.gltf examples/example_checker.png
        DESTINATION share/doc/vandrell/examples)

# The add-on's zip, made by the script that makes it for users (one layout
# for every copy), and remade when a file of the add-on changes.
find_program(ZIP_EXECUTABLE zip)
if(NOT ZIP_EXECUTABLE)
  message(FATAL_ERROR "zip is missing: the Blender add-on's zip needs it (scripts/setup.sh installs it)")
endif()
file(GLOB VANDRELL_ADDON_SOURCES CONFIGURE_DEPENDS
     ${CMAKE_SOURCE_DIR}/blender/io_scene_quake_mdl/*.py)
set(VANDRELL_ADDON_ZIP ${CMAKE_BINARY_DIR}/blender/io_scene_quake_mdl.zip)
add_custom_command(OUTPUT ${VANDRELL_ADDON_ZIP}
                   COMMAND bash ${CMAKE_SOURCE_DIR}/scripts/blender-addon.sh ${VANDRELL_ADDON_ZIP}
                   DEPENDS ${VANDRELL_ADDON_SOURCES} ${CMAKE_SOURCE_DIR}/scripts/blender-addon.sh
                   COMMENT "Packing the Blender add-on into blender/io_scene_quake_mdl.zip"
                   VERBATIM)
add_custom_target(blender_addon ALL DEPENDS ${VANDRELL_ADDON_ZIP})
install(FILES ${VANDRELL_ADDON_ZIP} DESTINATION share/vandrell/blender)

# The Debian package: scripts/package.sh makes it. cmake/DebianTree.cmake
# turns the staged tree into what Debian's policy asks (compressed manual
# pages, the copyright file and the changelog of cmake/debian/) and works out
# its Depends with dpkg-shlibdeps; our own libraries in lib/vandrell are found
# there and need no package.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME vandrell)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "Vandrell maintainers <maintainers@users.noreply.c-seed-aafd0484.example>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Quake MDL exporter: mdlexport converts scenes, mdlinfo checks models")
# One string (a list would be joined with ';'), its lines under 80 columns.
string(CONCAT CPACK_PACKAGE_DESCRIPTION
       "mdlexport converts scene files (glTF, FBX, OBJ, Collada, DirectX, MD2, MD3\n"
       "and the other formats Assimp reads) into Quake MDL models (version 6) with\n"
       "the Vandrell exporter plug-in, which it loads as its modelling host would.\n"
       "mdlinfo checks MDL files against the format and the limits of the Quake\n"
       "engines, and draws their skins and frames as PNG pictures.")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION graphics)
# Off: CPack's own dpkg-shlibdeps run would add ldconfig calls for our private
# libraries (see cmake/DebianTree.cmake, which runs it instead).
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS OFF)
set(CPACK_PRE_BUILD_SCRIPTS ${CMAKE_CURRENT_LIST_DIR}/DebianTree.cmake)
set(CPACK_VANDRELL_SOURCE_DIR ${CMAKE_SOURCE_DIR})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_COMPRESSION_TYPE xz)
include(CPack)
