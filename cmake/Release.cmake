# Version resources in the Windows images and the install rules.  Included at
# the end of the top CMakeLists.txt, once the targets exist.
#
#   Windows  SQqw4.sqp and quillwave.exe side by side, include/quillwave/,
#            README.txt
#   Linux    bin/quillwave, lib/quillwave/SQqw4.sqp, include/quillwave/,
#            share/doc/quillwave/README.md
set(QW_COMPANY "Brindlewood")
set(QW_COPYRIGHT "Copyright (c) 2026 Brindlewood")

# ---- Version resources ----------------------------------------------------------
# File and product version, description and original file name, as Windows
# shows them in a file's properties.
function(qw_version_resource target file_name description file_type)
  set(QW_RC_FILE_NAME ${file_name})
  set(QW_RC_DESCRIPTION ${description})
  set(QW_RC_FILE_TYPE ${file_type})
  get_filename_component(QW_RC_INTERNAL_NAME ${file_name} NAME_WE)
  set(resource ${CMAKE_BINARY_DIR}/version/${target}.rc)
  configure_file(${CMAKE_SOURCE_DIR}/cmake/VersionInfo.rc.in ${resource} @ONLY)
  target_sources(${target} PRIVATE ${resource})
endfunction()

if(WIN32)
  qw_version_resource(quillwave_module SQqw4.sqp "Quillwave MPEG audio decoder module" VFT_DLL)
  if(TARGET quillwave)
    qw_version_resource(quillwave quillwave.exe "Quillwave reference host" VFT_APP)
  endif()
endif()

# ---- Install rules ------------------------------------------------------------------
install(TARGETS quillwave_module LIBRARY DESTINATION ${QW_INSTALL_MODULEDIR})
if(TARGET quillwave)
  install(TARGETS quillwave RUNTIME DESTINATION ${QW_INSTALL_BINDIR})
endif()
install(DIRECTORY include/quillwave DESTINATION ${CMAKE_INSTALL_INCLUDEDIR} FILES_MATCHING PATTERN "*.h")
if(WIN32)
  # README.txt with Windows line ends, for any text editor there.
  file(READ ${CMAKE_SOURCE_DIR}/README.md QW_README_TEXT)
  string(REPLACE "\n" "\r\n" QW_README_TEXT "${QW_README_TEXT}")
  file(WRITE ${CMAKE_BINARY_DIR}/README.txt "${QW_README_TEXT}")
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/README.md)
  install(FILES ${CMAKE_BINARY_DIR}/README.txt DESTINATION ${QW_INSTALL_DOCDIR})
else()
  install(FILES README.md DESTINATION ${QW_INSTALL_DOCDIR})
endif()
