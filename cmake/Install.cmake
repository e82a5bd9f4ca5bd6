# `cmake --install build [--prefix DIR]`: the bundle where hosts scan for
# VST 3 plug-ins, the tools, their manual pages, the guide and the licence.
# docs/USER_GUIDE.md lists the same paths; the packaging test checks both.
#
# Hosts scan /usr/lib/vst3, /usr/local/lib/vst3 and ~/.vst3, so the bundle
# goes to <prefix>/lib/vst3 (never a multiarch lib folder). For a user
# install set QEQ_VST3_INSTALL_DIR to an absolute folder, e.g.
#   cmake -S . -B build -DCMAKE_INSTALL_PREFIX=$HOME/.local -DQEQ_VST3_INSTALL_DIR=$HOME/.vst3
set(QEQ_VST3_INSTALL_DIR "lib/vst3" CACHE STRING
    "Folder that receives QuenrilEQ.vst3: relative to the install prefix, or absolute")
# Debian names the documentation folder after the package.
set(CMAKE_INSTALL_DOCDIR "share/doc/quenrileq" CACHE PATH "Guide and licence")
include(GNUInstallDirs)

set(_contents "${QEQ_VST3_INSTALL_DIR}/QuenrilEQ.vst3/Contents")
# A loadable module is no program: read-only, as Debian installs libraries.
install(TARGETS QuenrilEQ LIBRARY DESTINATION "${_contents}/x86_64-linux"
        PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ)
install(TARGETS webbridge_helper RUNTIME DESTINATION "${_contents}/x86_64-linux")
install(DIRECTORY "${PROJECT_SOURCE_DIR}/resources/" DESTINATION "${_contents}/Resources")
install(FILES ${QEQ_FACTORY_PRESETS} DESTINATION "${_contents}/Resources/presets")

install(TARGETS quenrileq-render quenrileq-editor RUNTIME DESTINATION "${CMAKE_INSTALL_BINDIR}")
install(FILES "${PROJECT_SOURCE_DIR}/docs/man/quenrileq-render.1" "${PROJECT_SOURCE_DIR}/docs/man/quenrileq-editor.1"
        DESTINATION "${CMAKE_INSTALL_MANDIR}/man1")
install(FILES "${PROJECT_SOURCE_DIR}/docs/USER_GUIDE.md" "${PROJECT_SOURCE_DIR}/README.md"
              "${PROJECT_SOURCE_DIR}/COPYING"
        DESTINATION "${CMAKE_INSTALL_DOCDIR}")
install(DIRECTORY "${PROJECT_SOURCE_DIR}/docs/images" DESTINATION "${CMAKE_INSTALL_DOCDIR}")
