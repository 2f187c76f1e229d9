# Version resources in the Windows images.  Included at the end of the top
# CMakeLists.txt, once the targets exist.
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
