# orvex_add_version_resource(<target> <file-version> <file-description>
#                            [PRODUCT_NAME <text>] [PRODUCT_VERSION <text>]
#                            [COMPANY_NAME <text>])
#
# Embeds a version block in the Windows VS_VERSIONINFO layout in the ELF
# section ".orvex_version" of <target> (an executable, a shared library or a
# module), where the About box's version reader finds it. The block carries
# FileVersion, FileDescription, ProductName ("Orvex"), ProductVersion (the
# file version), CompanyName ("Orvex"), InternalName and OriginalFilename, in
# string tables for Japanese (0411) and English (0409), code page 04B0, with
# the Translation table listing both; a dotted numeric file version also
# fills the fixed file info.
#
# The block is made at build time by a small host tool (versiongen/) built
# from the same writer the tests check, into a C source with the array in
# its section; the source is compiled into the target.
include_guard(GLOBAL)

function(orvex_add_version_resource target fileVersion fileDescription)
  cmake_parse_arguments(V "" "PRODUCT_NAME;PRODUCT_VERSION;COMPANY_NAME" "" ${ARGN})
  if(NOT TARGET ${target})
    message(FATAL_ERROR "orvex_add_version_resource: no target ${target}")
  endif()
  if(fileVersion STREQUAL "")
    message(FATAL_ERROR "orvex_add_version_resource(${target}): empty file version")
  endif()
  foreach(opt PRODUCT_NAME COMPANY_NAME)
    if(NOT DEFINED V_${opt})
      set(V_${opt} "Orvex")
    endif()
  endforeach()
  if(NOT DEFINED V_PRODUCT_VERSION)
    set(V_PRODUCT_VERSION "${fileVersion}")
  endif()

  # The generator is built once for the whole tree, out of the program folder.
  if(NOT TARGET orvex_versiongen)
    set(root "${CMAKE_CURRENT_FUNCTION_LIST_DIR}/..")
    add_executable(orvex_versiongen
      "${CMAKE_CURRENT_FUNCTION_LIST_DIR}/versiongen/VersionGen.cpp"
      "${root}/src/dialogs/VersionResource.cpp"
      "${root}/src/platform/SystemErrors.cpp")
    target_include_directories(orvex_versiongen PRIVATE "${root}/src")
    set_target_properties(orvex_versiongen PROPERTIES
      RUNTIME_OUTPUT_DIRECTORY "${CMAKE_BINARY_DIR}/tools"
      AUTOMOC OFF)
  endif()

  # The file name as the target will carry it, from the properties set so far.
  get_target_property(type ${target} TYPE)
  get_target_property(outputName ${target} OUTPUT_NAME)
  if(NOT outputName)
    set(outputName ${target})
  endif()
  get_target_property(prefix ${target} PREFIX)
  get_target_property(suffix ${target} SUFFIX)
  if(type STREQUAL "MODULE_LIBRARY")
    set(defaultPrefix "${CMAKE_SHARED_MODULE_PREFIX}")
    set(defaultSuffix "${CMAKE_SHARED_MODULE_SUFFIX}")
  elseif(type STREQUAL "SHARED_LIBRARY")
    set(defaultPrefix "${CMAKE_SHARED_LIBRARY_PREFIX}")
    set(defaultSuffix "${CMAKE_SHARED_LIBRARY_SUFFIX}")
  else()
    set(defaultPrefix "")
    set(defaultSuffix "${CMAKE_EXECUTABLE_SUFFIX}")
  endif()
  if(prefix STREQUAL "prefix-NOTFOUND")
    set(prefix "${defaultPrefix}")
  endif()
  if(suffix STREQUAL "suffix-NOTFOUND")
    set(suffix "${defaultSuffix}")
  endif()

  set(out "${CMAKE_CURRENT_BINARY_DIR}/${target}_version_block.c")
  add_custom_command(
    OUTPUT "${out}"
    COMMAND orvex_versiongen
      --out "${out}"
      --file-version "${fileVersion}"
      --description "${fileDescription}"
      --product-name "${V_PRODUCT_NAME}"
      --product-version "${V_PRODUCT_VERSION}"
      --company "${V_COMPANY_NAME}"
      --internal-name "${outputName}"
      --original-filename "${prefix}${outputName}${suffix}"
    DEPENDS orvex_versiongen
    COMMENT "Version block of ${target} (${fileVersion})"
    VERBATIM)
  set_source_files_properties("${out}" PROPERTIES LANGUAGE C GENERATED TRUE)
  target_sources(${target} PRIVATE "${out}")
endfunction()
