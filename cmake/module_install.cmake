# The module's type stub and install rules. Included after src/, which
# defines the module target trelk_rs.

# The stub is copied beside the built module, so that whatever imports the
# module from the build tree (the tests, an editable install, PYTHONPATH)
# finds its types there too.
# The module is built in the binary directory of its folder, which sets no
# output directory of its own.
set(TRELK_STUB ${PROJECT_SOURCE_DIR}/src/trelk_rs.pyi)
get_target_property(TRELK_MODULE_DIR trelk_rs BINARY_DIR)
set(TRELK_BUILT_STUB ${TRELK_MODULE_DIR}/trelk_rs.pyi)
add_custom_command(OUTPUT ${TRELK_BUILT_STUB}
  COMMAND ${CMAKE_COMMAND} -E copy_if_different ${TRELK_STUB}
          ${TRELK_BUILT_STUB}
  DEPENDS ${TRELK_STUB}
  COMMENT "Copying the type stub beside the module")
add_custom_target(trelk_rs_stub DEPENDS ${TRELK_BUILT_STUB})
add_dependencies(trelk_rs trelk_rs_stub)

# Where the built module lies, for the package build's editable installs.
file(GENERATE OUTPUT ${PROJECT_BINARY_DIR}/trelk_rs_module_path.txt
     CONTENT "$<TARGET_FILE:trelk_rs>\n")

# `cmake --install` puts the module and its stub into the site-packages
# directory below the install prefix, laid out as CPython's own prefix is.
set(TRELK_INSTALL_PYTHONDIR
    lib/python${Python_VERSION_MAJOR}.${Python_VERSION_MINOR}/site-packages
    CACHE STRING "Where the module is installed, relative to the prefix")
install(TARGETS trelk_rs LIBRARY DESTINATION ${TRELK_INSTALL_PYTHONDIR}
        COMPONENT module)
install(FILES ${TRELK_STUB} DESTINATION ${TRELK_INSTALL_PYTHONDIR}
        COMPONENT module)
