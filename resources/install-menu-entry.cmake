# SPDX-License-Identifier: GPL-3.0-or-later
# Run by `cmake --install`: puts Pacebook into the desktop menu.
#
# The program, its tool and its log stay in the install folder
# (CMAKE_INSTALL_PREFIX), a portable folder the user owns. The menu entry
# (applications/pacebook.desktop, starting the program in that folder) and
# the icon (icons/hicolor/...) go to PACEBOOK_MENU_DIR: by default the
# user's data folder, $XDG_DATA_HOME or ~/.local/share; /usr/share serves
# every user. The install never makes or touches the log, Run.mdb.
#
# Set by app/CMakeLists.txt before this runs: PACEBOOK_RESOURCES (this
# folder), PACEBOOK_MENU_DIR (may be empty).

set(_prefix "${CMAKE_INSTALL_PREFIX}")
set(_menu "${PACEBOOK_MENU_DIR}")
if(_menu STREQUAL "")
  if(DEFINED ENV{XDG_DATA_HOME} AND NOT "$ENV{XDG_DATA_HOME}" STREQUAL "")
    set(_menu "$ENV{XDG_DATA_HOME}")
  else()
    set(_menu "$ENV{HOME}/.local/share")
  endif()
endif()

# Exec: the program's full path, quoted, with the characters the desktop
# entry format reserves escaped (and "%", which starts a field code).
set(_exec "${_prefix}/pacebook")
string(REPLACE "\\" "\\\\\\\\" _exec "${_exec}")
foreach(_c "\"" "`" "$")
  string(REPLACE "${_c}" "\\\\${_c}" _exec "${_exec}")
endforeach()
string(REPLACE "%" "%%" _exec "${_exec}")
set(PACEBOOK_EXEC "\"${_exec}\"")

set(_staged "$ENV{DESTDIR}${_menu}")
configure_file("${PACEBOOK_RESOURCES}/pacebook.desktop.in" "${_staged}/applications/pacebook.desktop" @ONLY)
message(STATUS "Installing: ${_staged}/applications/pacebook.desktop")
foreach(_size 16 24 32 48 64 128 256)
  file(INSTALL "${PACEBOOK_RESOURCES}/icons/pacebook-${_size}.png"
       DESTINATION "${_staged}/icons/hicolor/${_size}x${_size}/apps"
       RENAME pacebook.png)
endforeach()
file(INSTALL "${PACEBOOK_RESOURCES}/icons/pacebook.svg" DESTINATION "${_staged}/icons/hicolor/scalable/apps")

