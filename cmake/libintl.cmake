# GNU gettext's libintl, cross-built once into the build tree and cached there.
set(LIBINTL_DIR ${CMAKE_BINARY_DIR}/_deps/libintl CACHE PATH "Where the cross-built libintl lives (built there when missing)")
if(NOT EXISTS ${LIBINTL_DIR}/lib/libintl.a)
  message(STATUS "Cross-building libintl into ${LIBINTL_DIR}")
  execute_process(
    COMMAND bash ${CMAKE_CURRENT_LIST_DIR}/../scripts/build-libintl.sh ${LIBINTL_DIR}
    RESULT_VARIABLE libintl_result)
  if(NOT libintl_result EQUAL 0)
    message(FATAL_ERROR "libintl build failed; see ${LIBINTL_DIR}/work/*.log")
  endif()
endif()
add_library(libintl STATIC IMPORTED GLOBAL)
set_target_properties(libintl PROPERTIES
  IMPORTED_LOCATION ${LIBINTL_DIR}/lib/libintl.a
  INTERFACE_INCLUDE_DIRECTORIES ${LIBINTL_DIR}/include)
