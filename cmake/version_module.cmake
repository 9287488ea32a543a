# Modules with nothing in them but (optionally) a version resource, built from
# tests/fixtures/fixture_module.c: the test fixtures and the demo's modules.
#
# qmx_module(<target> <file name> <folder>)
#   A MODULE target named exactly <file name> (no prefix or suffix added) in
#   <folder>, linked statically so that it loads in any prefix, with no
#   version resource.
# qmx_version_module(<target> <file name> <folder> FILEVERSION "text"
#                    DESCRIPTION "text" [LANG 0409] [CODEPAGE 04b0]
#                    [STRING_BLOCK 040904b0] [NO_TRANSLATION])
#   The same with a VERSIONINFO resource whose strings FileDescription and
#   FileVersion stand in STRING_BLOCK (LANG then CODEPAGE unless given), and
#   whose Translation names LANG and CODEPAGE unless NO_TRANSLATION.
include_guard(GLOBAL)

function(qmx_module target name folder)
  add_library(${target} MODULE ${CMAKE_SOURCE_DIR}/tests/fixtures/fixture_module.c ${ARGN})
  set_target_properties(${target} PROPERTIES
    PREFIX "" OUTPUT_NAME ${name} SUFFIX ""
    RUNTIME_OUTPUT_DIRECTORY ${folder}
    LIBRARY_OUTPUT_DIRECTORY ${folder})
  target_link_options(${target} PRIVATE -static -static-libgcc)
endfunction()

function(qmx_version_module target name folder)
  cmake_parse_arguments(PARSE_ARGV 3 V "NO_TRANSLATION"
                        "FILEVERSION;DESCRIPTION;LANG;CODEPAGE;STRING_BLOCK" "")
  if(NOT V_LANG)
    set(V_LANG 0409)
  endif()
  if(NOT V_CODEPAGE)
    set(V_CODEPAGE 04b0)
  endif()
  if(NOT V_STRING_BLOCK)
    set(V_STRING_BLOCK ${V_LANG}${V_CODEPAGE})
  endif()
  if(V_NO_TRANSLATION)
    set(translation "")
  else()
    set(translation "BLOCK \"VarFileInfo\"\n  BEGIN\n    VALUE \"Translation\", 0x${V_LANG}, 0x${V_CODEPAGE}\n  END")
  endif()
  # The numeric version follows a text made only of numbers, as a module's
  # author would keep them; any other text keeps 1.0.0.0.
  set(numeric 1,0,0,0)
  if(V_FILEVERSION MATCHES "^[0-9]+([.,] ?[0-9]+)*$")
    string(REGEX MATCHALL "[0-9]+" parts "${V_FILEVERSION}")
    list(APPEND parts 0 0 0)
    list(SUBLIST parts 0 4 parts)
    set(fits TRUE)
    foreach(part ${parts})
      string(LENGTH "${part}" digits)
      if(digits GREATER 5 OR part GREATER 65535)
        set(fits FALSE)
      endif()
    endforeach()
    if(fits)
      list(JOIN parts "," numeric)
    endif()
  endif()
  set(rc ${CMAKE_CURRENT_BINARY_DIR}/${target}.rc)
  file(WRITE ${rc}.in
"1 VERSIONINFO
FILEVERSION ${numeric}
PRODUCTVERSION 1,0,0,0
FILEOS 0x4
FILETYPE 0x2
BEGIN
  BLOCK \"StringFileInfo\"
  BEGIN
    BLOCK \"${V_STRING_BLOCK}\"
    BEGIN
      VALUE \"FileDescription\", \"${V_DESCRIPTION}\"
      VALUE \"FileVersion\", \"${V_FILEVERSION}\"
    END
  END
  ${translation}
END
")
  # Copied only when the text changed, so an unchanged module is not rebuilt.
  configure_file(${rc}.in ${rc} COPYONLY)
  qmx_module(${target} ${name} ${folder} ${rc})
endfunction()
