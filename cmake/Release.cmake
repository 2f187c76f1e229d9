# What a user installs: version resources in the Windows images, install
# rules, and the packages CPack makes from them (`cpack` in the build folder,
# or the `package` target).  Included at the end of the top CMakeLists.txt,
# once the targets exist.
#
#   Windows  quillwave-<version>-win32.zip (win64 for the 64-bit build):
#            SQqw4.sqp and quillwave.exe side by side, include/quillwave/,
#            README.txt
#   Linux    quillwave-<version>-linux-<processor>.tar.gz and, where Debian's
#            packaging tools are installed, quillwave_<version>_<arch>.deb:
#            bin/quillwave, lib/quillwave/SQqw4.sqp, include/quillwave/,
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

# ---- Packages ---------------------------------------------------------------------------
set(CPACK_PACKAGE_NAME quillwave)
set(CPACK_PACKAGE_VENDOR ${QW_COMPANY})
set(CPACK_PACKAGE_CONTACT ${QW_COMPANY})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "MPEG audio decoder module for a host audio player, with a command-line host")
set(CPACK_PACKAGE_DESCRIPTION "The module SQqw4.sqp decodes MPEG-1, MPEG-2 and MPEG-2.5 Layer I and Layer III \
streams to 16-bit PCM for a host audio player that loads it. The reference host quillwave plays files through the \
module into WAV or raw PCM files, shows their information and edits their ID3v1 tags.")
set(CPACK_PACKAGE_DIRECTORY ${CMAKE_BINARY_DIR}/packages)
set(CPACK_PACKAGE_CHECKSUM SHA256)
set(CPACK_VERBATIM_VARIABLES ON)
if(WIN32)
  # The files go into the zip as they were built: the DLL a user unpacks is
  # the one the tests ran.
  if(CMAKE_SIZEOF_VOID_P EQUAL 4)
    set(CPACK_SYSTEM_NAME win32)
  else()
    set(CPACK_SYSTEM_NAME win64)
  endif()
  set(CPACK_GENERATOR ZIP)
else()
  string(TOLOWER "${CMAKE_SYSTEM_NAME}-${CMAKE_SYSTEM_PROCESSOR}" CPACK_SYSTEM_NAME)
  set(CPACK_GENERATOR TGZ)
  set(CPACK_STRIP_FILES ON)
  # The .deb depends on exactly the packages that hold the libraries its
  # programs link, as dpkg-shlibdeps finds them.
  find_program(QW_DPKG_SHLIBDEPS dpkg-shlibdeps)
  find_program(QW_FILE_COMMAND file)
  if(QW_DPKG_SHLIBDEPS AND QW_FILE_COMMAND)
    list(APPEND CPACK_GENERATOR DEB)
    set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
    set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
    set(CPACK_DEBIAN_PACKAGE_SECTION sound)
    set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
  else()
    message(STATUS "dpkg-shlibdeps or file not found: no .deb package (Debian: dpkg-dev, file)")
  endif()
endif()
include(CPack)
