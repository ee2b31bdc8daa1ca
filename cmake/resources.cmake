# Packs the resource sources of resources/ (see resources/README.md) with the host
# tool respack into a generated C++ byte array that joins kvbase. A malformed
# source stops the build with its file and line.
file(GLOB KEVO_RESOURCE_SOURCES CONFIGURE_DEPENDS
  ${CMAKE_SOURCE_DIR}/resources/*.tlyo ${CMAKE_SOURCE_DIR}/resources/*.cst
  ${CMAKE_SOURCE_DIR}/resources/*.tmnu ${CMAKE_SOURCE_DIR}/resources/*.tmnb
  ${CMAKE_SOURCE_DIR}/resources/*.png ${CMAKE_SOURCE_DIR}/resources/*.raw)
list(SORT KEVO_RESOURCE_SOURCES)
set(KEVO_RESOURCE_ARCHIVE ${CMAKE_BINARY_DIR}/generated/AppResources.cpp)
add_custom_command(
  OUTPUT ${KEVO_RESOURCE_ARCHIVE}
  COMMAND respack ${KEVO_RESOURCE_ARCHIVE} kAppResArchive ${KEVO_RESOURCE_SOURCES}
  DEPENDS respack ${KEVO_RESOURCE_SOURCES}
  COMMENT "Packing resources"
  VERBATIM)
target_sources(kvbase PRIVATE ${KEVO_RESOURCE_ARCHIVE})
