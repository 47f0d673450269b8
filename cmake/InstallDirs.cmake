# Where `cmake --install` puts each piece. By default a prefix of its own (bin/, share/), with the
# example settings beside the program. With SELVO_DEB_PACKAGE the Debian package's layout, relative
# to /: the program and the simulated access point in /opt/tavrin-selvo/bin (the program reads the
# settings file beside its real path), commands on the PATH that link to them, the example under
# /usr/share/doc/tavrin-selvo and the desktop entry and icon under /usr/share.
if(SELVO_DEB_PACKAGE)
    if(SELVO_FUZZ OR NOT SELVO_BUILD_GUI)
        message(FATAL_ERROR "SELVO_DEB_PACKAGE needs the program: SELVO_BUILD_GUI on, SELVO_FUZZ off")
    endif()
    set(SELVO_INSTALL_PROGRAM_DIR opt/tavrin-selvo/bin)
    set(SELVO_INSTALL_EXAMPLE_DIR usr/share/doc/tavrin-selvo)
    set(SELVO_INSTALL_SHARE_DIR usr/share)
    # The command on the PATH that the desktop entry starts.
    set(SELVO_DESKTOP_EXEC tavrin-selvo)
else()
    set(SELVO_INSTALL_PROGRAM_DIR ${CMAKE_INSTALL_BINDIR})
    set(SELVO_INSTALL_EXAMPLE_DIR ${CMAKE_INSTALL_BINDIR})
    set(SELVO_INSTALL_SHARE_DIR ${CMAKE_INSTALL_DATADIR})
    set(SELVO_DESKTOP_EXEC Selvo)
endif()
