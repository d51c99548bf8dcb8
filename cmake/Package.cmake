# The Debian packages (`cpack -G DEB` in the build folder): the component
# `tavril` makes the package tavril, and the component `python`, when install
# rules of it exist, python3-tavril. Included last, once every install rule
# is known.
# cpack packs what the build made, without building every test first.
set(CMAKE_SKIP_INSTALL_ALL_DEPENDENCY ON)
set(CPACK_PACKAGE_NAME tavril)
set(CPACK_PACKAGE_VENDOR "The TAVRIL developers")
set(CPACK_PACKAGE_CONTACT "The TAVRIL developers <tavril@tavril.org>")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_HOMEPAGE_URL "https://tavril.org/")
set(CPACK_RESOURCE_FILE_LICENSE ${PROJECT_SOURCE_DIR}/LICENSE)
set(CPACK_STRIP_FILES ON)
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)

set(CPACK_DEB_COMPONENT_INSTALL ON)
get_cmake_property(tavril_components COMPONENTS)
set(CPACK_COMPONENTS_ALL tavril)
if("python" IN_LIST tavril_components)
  list(APPEND CPACK_COMPONENTS_ALL python)
  # Every package carries its copyright file and changelog.
  install(FILES ${PROJECT_SOURCE_DIR}/packaging/copyright
                ${PROJECT_BINARY_DIR}/packaging/changelog.Debian.gz
          DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/python3-tavril COMPONENT python)
endif()

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_RELEASE ${TAVRIL_DEBIAN_RELEASE})
set(CPACK_DEBIAN_PACKAGE_SECTION science)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# Depends: the libraries the binaries link, found by dpkg-shlibdeps, and what
# they cannot show, from the one list in packaging/runtime-depends.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
file(STRINGS ${PROJECT_SOURCE_DIR}/packaging/runtime-depends tavril_runtime_packages
     REGEX "^[a-z0-9]")
list(JOIN tavril_runtime_packages ", " tavril_runtime_depends)

set(CPACK_DEBIAN_TAVRIL_PACKAGE_NAME tavril)
set(CPACK_DEBIAN_TAVRIL_PACKAGE_DEPENDS ${tavril_runtime_depends})
set(CPACK_DEBIAN_TAVRIL_PACKAGE_SECTION science)
set(CPACK_COMPONENT_TAVRIL_DESCRIPTION
    "acquisition and display of laboratory analog-input boards\n"
    "TAVRIL acquires voltages from laboratory analog-input boards (through the\n"
    "kernel's Comedi drivers, or its simulated board), shows the curves in one\n"
    "graph with two measuring cursors and measures every channel: levels, RMS,\n"
    "frequency, duty cycle, rise and fall times, spectrum. It records\n"
    "continuously into HDF5 files and reads and writes its own channel files,\n"
    "CSV, MATLAB, HDF5 and Excel files. Its user interface is in French.\n"
    "The package holds the window program, tavril, and its command-line\n"
    "companion for batch work on recorded files, tavril-cli.")
string(JOIN "" CPACK_COMPONENT_TAVRIL_DESCRIPTION ${CPACK_COMPONENT_TAVRIL_DESCRIPTION})

set(CPACK_DEBIAN_PYTHON_PACKAGE_NAME python3-tavril)
set(CPACK_DEBIAN_PYTHON_PACKAGE_SECTION python)
set(CPACK_DEBIAN_PYTHON_PACKAGE_DEPENDS "python3")
set(CPACK_COMPONENT_PYTHON_DESCRIPTION
    "Python module of TAVRIL\nReads TAVRIL's channel files and recordings from Python.")

include(CPack)
