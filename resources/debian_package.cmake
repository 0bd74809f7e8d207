# The Debian package: `cpack -G DEB` in a build folder makes morvane_VERSION_ARCH.deb from the
# install rules, under the build's own prefix: the root helper's path is built in as absolute
# (its polkit action names it), so it holds only there. A package for Debian is made from a
# build configured with -DCMAKE_INSTALL_PREFIX=/usr. The module and the translations are found
# relative to the executable, so an unpacked package finds them wherever it lies.
set(CPACK_PACKAGE_NAME morvane)
set(CPACK_PACKAGE_VENDOR "Morvane developers")
set(CPACK_PACKAGE_CONTACT "Morvane developers <maintainers@users.noreply.c-seed-d7471d73.example>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "installs or removes kernel extension bundles, then asks to restart")
# Lines of the description stay under 80 columns, as dpkg and apt show them.
set(CPACK_PACKAGE_DESCRIPTION
  "Morvane installs, upgrades or removes kernel extension bundles (kexts) in
the system's extensions folder with administrator rights, using the system's
own tools, and then asks in a small window, or on the terminal without a
display, whether to restart the computer. An installer or a script starts it
with single-letter options and a list of bundle paths.")
# A Debian revision of its own: the package is made apart from the program's source, and its
# changelog is resources/debian/changelog.
set(CPACK_DEBIAN_PACKAGE_RELEASE 1)
set(CPACK_PACKAGING_INSTALL_PREFIX ${CMAKE_INSTALL_PREFIX})
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION admin)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)

# What the package needs, one entry each. The executable links only the C library and
# libplist (the C++ runtime is linked in); libsystemd0 is loaded when the restart is asked
# for, and pkexec (which brings polkit's daemon and pkcheck) gives a user who is not root the
# administrator right through the root helper.
set(morvane_depends "libc6 (>= 2.36)" "libplist3 (>= 2.2.0)" libsystemd0 pkexec)
# Recommended only: the window module needs GTK 3 and Xlib, but the program asks on the
# terminal where the module cannot be loaded, so a machine without a desktop need not have
# them; sudo is the way to the right on a terminal where polkit's daemon is not running.
set(morvane_recommends "libgtk-3-0 (>= 3.16.2)" libx11-6 sudo)
list(JOIN morvane_depends ", " CPACK_DEBIAN_PACKAGE_DEPENDS)
list(JOIN morvane_recommends ", " CPACK_DEBIAN_PACKAGE_RECOMMENDS)
include(CPack)

# What Debian expects of every package in its documentation folder: the licence in the
# machine-readable copyright format, and the package's changelog, compressed reproducibly.
set(docdir ${CMAKE_INSTALL_DATADIR}/doc/morvane)
set(changelog ${CMAKE_CURRENT_BINARY_DIR}/changelog.Debian)
add_custom_command(OUTPUT ${changelog}.gz
  COMMAND ${CMAKE_COMMAND} -E copy ${CMAKE_CURRENT_LIST_DIR}/debian/changelog
    ${changelog}
  COMMAND ${GZIP} -9 -n -f ${changelog}
  DEPENDS ${CMAKE_CURRENT_LIST_DIR}/debian/changelog VERBATIM)
add_custom_target(debian_changelog ALL DEPENDS ${changelog}.gz)
install(FILES ${CMAKE_CURRENT_LIST_DIR}/debian/copyright ${changelog}.gz
  DESTINATION ${docdir})
# Lintian's checks that cannot hold for a package made outside the archive, each with its reason.
install(FILES ${CMAKE_CURRENT_LIST_DIR}/debian/lintian-overrides
  DESTINATION ${CMAKE_INSTALL_DATADIR}/lintian/overrides RENAME morvane)
