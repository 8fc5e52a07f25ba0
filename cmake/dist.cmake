# version.txt beside the program: line 1 the version number, line 2 the
# version name. The number orders releases: major*10000 + minor*100 + patch.
math(EXPR VESKLAR_VERSION_NUMBER
     "${PROJECT_VERSION_MAJOR} * 10000 + ${PROJECT_VERSION_MINOR} * 100 + ${PROJECT_VERSION_PATCH}")
file(WRITE ${CMAKE_BINARY_DIR}/version.txt "${VESKLAR_VERSION_NUMBER}\r\n${PROJECT_VERSION}\r\n")

# `dist`: the distribution folder (the program, version.txt, www/) and a zip
# with that content at its root, the same layout an update archive carries.
if(WIN32)
  set(VESKLAR_DIST_PLATFORM windows)
else()
  set(VESKLAR_DIST_PLATFORM linux)
endif()
set(VESKLAR_DIST_DIR ${CMAKE_BINARY_DIR}/dist/Vesklar)
set(VESKLAR_DIST_ZIP ${CMAKE_BINARY_DIR}/dist/Vesklar-${PROJECT_VERSION}-${VESKLAR_DIST_PLATFORM}.zip)
add_custom_target(dist
  COMMAND ${CMAKE_COMMAND} -E rm -rf ${VESKLAR_DIST_DIR} ${VESKLAR_DIST_ZIP}
  COMMAND ${CMAKE_COMMAND} -E make_directory ${VESKLAR_DIST_DIR}
  COMMAND ${CMAKE_COMMAND} -E copy $<TARGET_FILE:vesklar> ${CMAKE_BINARY_DIR}/version.txt ${VESKLAR_DIST_DIR}
  COMMAND ${CMAKE_COMMAND} -E copy_directory ${CMAKE_SOURCE_DIR}/site ${VESKLAR_DIST_DIR}/www
  COMMAND ${CMAKE_COMMAND} -E chdir ${VESKLAR_DIST_DIR}
          ${CMAKE_COMMAND} -E tar cf ${VESKLAR_DIST_ZIP} --format=zip -- $<TARGET_FILE_NAME:vesklar> version.txt www
  DEPENDS vesklar
  COMMENT "Packing ${VESKLAR_DIST_ZIP}")
