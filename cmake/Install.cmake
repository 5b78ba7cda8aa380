# What `cmake --install` puts under a prefix, and the Debian package CPack
# makes of the same tree:
#   bin/                     mdlexport, mdlinfo
#   lib/vandrell/            Vandrell.dlo and the shared libraries it and the
#                            commands load (hostsdk, win32)
#   share/man/man1/          mdlexport.1, mdlinfo.1
#   share/doc/vandrell/      the README with its pictures, the example scene
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
install(FILES README.md DESTINATION share/doc/vandrell)
install(FILES docs/example-preview.png docs/options-dialog.png DESTINATION share/doc/vandrell/docs)
install(FILES examples/example.gltf examples/example_checker.png
        DESTINATION share/doc/vandrell/examples)

# The Debian package: scripts/package.sh makes it. Its Depends are worked out
# from the binaries by dpkg-shlibdeps; our own libraries in lib/vandrell are
# found there and need no package.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME vandrell)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "Vandrell maintainers <maintainers@users.noreply.c-seed-aafd0484.example>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Quake MDL exporter: mdlexport converts scenes, mdlinfo checks models")
set(CPACK_PACKAGE_DESCRIPTION
    "mdlexport converts scene files (glTF, FBX, OBJ, Collada, DirectX, MD2, MD3 and the\n"
    "other formats Assimp reads) into Quake MDL models (version 6) with the Vandrell\n"
    "exporter plug-in, which it loads as its modelling host would. mdlinfo checks MDL\n"
    "files against the format and the limits of the Quake engines, and draws their\n"
    "skins and frames as PNG pictures.")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION graphics)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_COMPRESSION_TYPE xz)
include(CPack)
