# Windows system DLLs loaded on the first call into them instead of at start.
#
# The TLS and hashing stack (bcrypt, crypt32, secur32) and the network are needed from the
# first download on, accessibility when a client asks; not for the window. Loading them at
# start costs start time and memory before the user has asked for anything (under Wine each
# of the first three brings GnuTLS and its libraries). For each
# DLL named, a delay-import library is made from the toolchain's own import library (its
# functions; data cannot be delay-loaded) and put first in the linker's search path, so
# that every -l<name> of this build takes it. An imported target that names the import
# library by its full path (pkg-config's, as libcurl's) is pointed at the delay-import
# library with qi_delay_load_imported. mingw-w64's __delayLoadHelper2 loads the DLL from the
# system folder on the first call.
#
#   qi_delay_load(bcrypt crypt32 secur32)        # at the top, before the targets are made
#   qi_delay_load_imported(PkgConfig::CURL)      # where such a target is found
#   qi_delay_load_check(NAME t FILES a.exe b.dll [FUNCTIONS f ...])
#                                                # a test that none is a start-up import
# As a script (cmake -P, from qi_delay_load_check's test): fails when one of the delayed
# DLLs is still in the start-up import table of one of FILES, or one of FUNCTIONS (calls
# that would load them at start anyway) is imported.
if(CMAKE_SCRIPT_MODE_FILE)
  foreach(file ${FILES})
    execute_process(COMMAND ${OBJDUMP} -p ${file} OUTPUT_VARIABLE dump RESULT_VARIABLE rc)
    if(NOT rc EQUAL 0)
      message(FATAL_ERROR "${OBJDUMP} could not read ${file}")
    endif()
    string(TOLOWER "${dump}" dump)
    foreach(name ${NAMES})
      if(dump MATCHES "dll name: ${name}\\.dll")
        message(FATAL_ERROR "${file} imports ${name}.dll at start")
      endif()
    endforeach()
    foreach(function ${FUNCTIONS})
      string(TOLOWER "${function}" function)
      if(dump MATCHES "[ \t]${function}\n")
        message(FATAL_ERROR "${file} imports ${function}")
      endif()
    endforeach()
  endforeach()
  return()
endif()

function(qi_delay_load)
  set(dir ${CMAKE_BINARY_DIR}/delay-load)
  file(MAKE_DIRECTORY ${dir})
  find_program(QI_DLLTOOL NAMES ${QI_MINGW_HOST}-dlltool dlltool REQUIRED)
  foreach(name ${ARGN})
    set(lib ${dir}/lib${name}.a)
    execute_process(COMMAND ${CMAKE_C_COMPILER} -print-file-name=lib${name}.a
                    OUTPUT_VARIABLE import OUTPUT_STRIP_TRAILING_WHITESPACE)
    if(NOT IS_ABSOLUTE "${import}" OR NOT EXISTS "${import}")
      message(FATAL_ERROR "No import library lib${name}.a in the toolchain")
    endif()
    if(EXISTS ${lib} AND NOT ${import} IS_NEWER_THAN ${lib})
      continue()
    endif()
    # Each function of the import library has its thunk (T); data has only its __imp_ (I).
    execute_process(COMMAND ${CMAKE_NM} --defined-only ${import}
                    OUTPUT_VARIABLE symbols RESULT_VARIABLE rc)
    if(NOT rc EQUAL 0)
      message(FATAL_ERROR "${CMAKE_NM} could not read ${import}")
    endif()
    string(REGEX MATCHALL "[0-9a-f]+ T [A-Za-z_][A-Za-z0-9_@]*" exports "${symbols}")
    list(TRANSFORM exports REPLACE "^[0-9a-f]+ T " "")
    list(REMOVE_DUPLICATES exports)
    if(NOT exports)
      message(FATAL_ERROR "No functions found in ${import}")
    endif()
    list(JOIN exports "\n" text)
    file(WRITE ${dir}/${name}.def "LIBRARY ${name}.dll\nEXPORTS\n${text}\n")
    execute_process(COMMAND ${QI_DLLTOOL} --input-def ${dir}/${name}.def --dllname ${name}.dll
                            --output-delaylib ${lib}
                    RESULT_VARIABLE rc ERROR_VARIABLE err)
    if(NOT rc EQUAL 0)
      message(FATAL_ERROR "dlltool could not make ${lib}: ${err}")
    endif()
  endforeach()
  # -L is searched before the toolchain's own folders, whatever its place on the line.
  link_directories(BEFORE ${dir})
  set_property(GLOBAL PROPERTY QI_DELAY_LOAD_DIR ${dir})
  set_property(GLOBAL PROPERTY QI_DELAY_LOAD_NAMES ${ARGN})
endfunction()

function(qi_delay_load_imported target)
  get_property(dir GLOBAL PROPERTY QI_DELAY_LOAD_DIR)
  get_property(names GLOBAL PROPERTY QI_DELAY_LOAD_NAMES)
  get_target_property(libs ${target} INTERFACE_LINK_LIBRARIES)
  if(NOT dir OR NOT libs)
    return()
  endif()
  set(out "")
  foreach(lib ${libs})
    get_filename_component(file "${lib}" NAME)
    if(file MATCHES "^lib(.+)\\.a$" AND CMAKE_MATCH_1 IN_LIST names)
      set(lib ${dir}/${file})
    endif()
    list(APPEND out "${lib}")
  endforeach()
  set_target_properties(${target} PROPERTIES INTERFACE_LINK_LIBRARIES "${out}")
endfunction()

function(qi_delay_load_check)
  cmake_parse_arguments(arg "" "NAME" "FILES;FUNCTIONS" ${ARGN})
  get_property(names GLOBAL PROPERTY QI_DELAY_LOAD_NAMES)
  add_test(NAME ${arg_NAME}
    COMMAND ${CMAKE_COMMAND} -DOBJDUMP=${CMAKE_OBJDUMP} "-DNAMES=${names}" "-DFILES=${arg_FILES}"
            "-DFUNCTIONS=${arg_FUNCTIONS}" -P ${CMAKE_CURRENT_FUNCTION_LIST_FILE})
  set_tests_properties(${arg_NAME} PROPERTIES LABELS unit)
endfunction()
