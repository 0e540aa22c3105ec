# `cmake --install`: the programs, their man pages (made from their --help
# by help2man when it is installed), and a menu entry with the program's icon.
include(GNUInstallDirs)

install(TARGETS orvane orvfax orvdb modemsim RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES ${PROJECT_SOURCE_DIR}/data/desktop/orvane.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${PROJECT_SOURCE_DIR}/data/icons/orvane.png DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/64x64/apps)

find_program(ORVANE_HELP2MAN help2man)
if(ORVANE_HELP2MAN)
  set(pages)
  foreach(tool orvfax orvdb modemsim)
    set(page ${CMAKE_BINARY_DIR}/man/${tool}.1)
    if(tool STREQUAL "modemsim")
      set(what "fax modem simulator on pseudo-terminals")
    elseif(tool STREQUAL "orvdb")
      set(what "look into and repair Orvane's record tables")
    else()
      set(what "convert, view, export, send and receive fax files")
    endif()
    # The sanitizer builds run the tools too: no leak report at their exit.
    add_custom_command(OUTPUT ${page}
      COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/man
      COMMAND ${CMAKE_COMMAND} -E env ASAN_OPTIONS=detect_leaks=0 QT_QPA_PLATFORM=offscreen
              ${ORVANE_HELP2MAN} --no-info --section=1 --name=${what}
              --include=${PROJECT_SOURCE_DIR}/data/man/exit-status.h2m --output=${page} $<TARGET_FILE:${tool}>
      DEPENDS ${tool} ${PROJECT_SOURCE_DIR}/data/man/exit-status.h2m
      VERBATIM)
    list(APPEND pages ${page})
  endforeach()
  add_custom_target(man_pages ALL DEPENDS ${pages})
  install(FILES ${pages} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
else()
  message(STATUS "help2man not found: no man pages (scripts/packages/pdf.txt lists it)")
endif()
