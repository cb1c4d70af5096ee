# Libraries the program loads with dlopen instead of linking: the name to
# load, and the file recorded for the package's dependencies.
#
# qrv_loaded_library(<file> <out_var> <what>) sets <out_var> to the soname
# of the library <file> (a link-time path, symlink or not), read with
# objdump; without one, to the file's own name, with a warning that names
# <what> (the feature that loads it). The real file is appended to the
# global QRV_LOADED_LIBRARY_FILES, which cmake/packaging.cmake turns into
# package dependencies: dpkg-shlibdeps sees only linked libraries.
function(qrv_loaded_library file out_var what)
  file(REAL_PATH ${file} real_file)
  set(soname)
  if(CMAKE_OBJDUMP)
    execute_process(COMMAND ${CMAKE_OBJDUMP} -p ${real_file}
                    OUTPUT_VARIABLE headers ERROR_QUIET)
    if(headers MATCHES "SONAME +([^ \n]+)")
      set(soname ${CMAKE_MATCH_1})
    endif()
  endif()
  if(NOT soname)
    # The development link still finds the library where its -dev package
    # is installed.
    get_filename_component(soname ${file} NAME)
    message(WARNING "No SONAME read from ${real_file}; ${what} will load ${soname}")
  endif()
  message(STATUS "${what} load ${soname}")
  set_property(GLOBAL APPEND PROPERTY QRV_LOADED_LIBRARY_FILES ${real_file})
  set(${out_var} ${soname} PARENT_SCOPE)
endfunction()
