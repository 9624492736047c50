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
# library with qi_delay_load_imported. On the first call mingw-w64's __delayLoadHelper2
# would load the DLL by its bare name, from wherever the search path finds it first: every
# executable and module of the build links DelayLoadHook.c, which loads it from System32.
#
#   qi_delay_load(bcrypt crypt32 secur32)        # at the top, before the targets are made
#   qi_delay_load_imported(PkgConfig::CURL)      # where such a target is found
#   qi_delay_load_check(NAME t FILES a.exe b.dll [FUNCTIONS f ...])
#                                                # a test that none is a start-up import
#   qi_known_dlls_check(NAME t FILES a.exe b.dll)
#                                                # a test that every start-up import is a
#                                                # KnownDLL (KnownDlls.txt)
# As a script (cmake -P, from those tests): fails when one of the delayed DLLs is still in
# the start-up import table of one of FILES, or one of FUNCTIONS (calls that would load them
# at start anyway) is imported; with KNOWN (a file), when a start-up import is not in it.
if(CMAKE_SCRIPT_MODE_FILE)
  cmake_policy(VERSION 3.25)
  if(KNOWN)
    file(STRINGS ${KNOWN} known REGEX "^[^#]")
  endif()
  foreach(file ${FILES})
    execute_process(COMMAND ${OBJDUMP} -p ${file} OUTPUT_VARIABLE dump RESULT_VARIABLE rc)
    if(NOT rc EQUAL 0)
      message(FATAL_ERROR "${OBJDUMP} could not read ${file}")
    endif()
    string(TOLOWER "${dump}" dump)
    if(KNOWN)
      # The start-up import table only: it runs to the next table objdump prints.
      string(REGEX REPLACE ".*\nthe import tables" "" imports "${dump}")
      string(REGEX REPLACE "\nthe [^\n]*tables.*" "" imports "${imports}")
      string(REGEX MATCHALL "dll name: [^\n]+" imported "${imports}")
      foreach(entry ${imported})
        string(REPLACE "dll name: " "" dll "${entry}")
        string(STRIP "${dll}" dll)
        if(NOT dll IN_LIST known)
          message(FATAL_ERROR "${file} imports ${dll} at start, which is not a KnownDLL: "
                              "Windows would look for it in the program's folder first "
                              "(delay-load it with qi_delay_load, or drop it)")
        endif()
      endforeach()
      if(NOT imported)
        message(FATAL_ERROR "No import table found in ${file}")
      endif()
    endif()
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
  # The hook, as an object file: from a library, the CRT's empty definition would be taken
  # first. Link options reach executables and modules, not static libraries.
  set(hook_source ${CMAKE_CURRENT_FUNCTION_LIST_DIR}/DelayLoadHook.c)
  set(hook ${dir}/DelayLoadHook.obj)
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${hook_source})
  if(NOT EXISTS ${hook} OR ${hook_source} IS_NEWER_THAN ${hook})
    execute_process(COMMAND ${CMAKE_C_COMPILER} -O2 -Wall -Werror -DUNICODE -D_WIN32_WINNT=0x0A00
                            -c ${hook_source} -o ${hook}
                    RESULT_VARIABLE rc ERROR_VARIABLE err)
    if(NOT rc EQUAL 0)
      message(FATAL_ERROR "Could not compile ${hook_source}: ${err}")
    endif()
  endif()
  add_link_options(${hook})
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

function(qi_known_dlls_check)
  cmake_parse_arguments(arg "" "NAME" "FILES" ${ARGN})
  add_test(NAME ${arg_NAME}
    COMMAND ${CMAKE_COMMAND} -DOBJDUMP=${CMAKE_OBJDUMP} "-DFILES=${arg_FILES}"
            -DKNOWN=${CMAKE_CURRENT_FUNCTION_LIST_DIR}/KnownDlls.txt
            -P ${CMAKE_CURRENT_FUNCTION_LIST_FILE})
  set_tests_properties(${arg_NAME} PROPERTIES LABELS unit)
endfunction()
