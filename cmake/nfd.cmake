# Canonical decomposition tables for DecomposeToNfd, generated from the Unicode
# Character Database at build time. The same step copies Unicode's normalisation
# test data (shipped compressed) beside them for the tests.
find_package(Python3 REQUIRED COMPONENTS Interpreter)
set(KEVO_UNICODE_DIR /usr/share/unicode CACHE PATH "Unicode Character Database folder")
set(KEVO_NFD_SOURCE ${CMAKE_BINARY_DIR}/generated/NfdTables.cpp)
set(KEVO_NFD_TESTDATA ${CMAKE_BINARY_DIR}/generated/NormalizationTest.txt)
if(NOT EXISTS ${KEVO_UNICODE_DIR}/UnicodeData.txt)
  message(FATAL_ERROR "${KEVO_UNICODE_DIR}/UnicodeData.txt is missing (package unicode-data)")
endif()
set(nfd_test_src ${KEVO_UNICODE_DIR}/NormalizationTest.txt)
set(nfd_deps ${CMAKE_SOURCE_DIR}/cmake/gen_nfd.py ${KEVO_UNICODE_DIR}/UnicodeData.txt)
if(EXISTS ${nfd_test_src})
  list(APPEND nfd_deps ${nfd_test_src})
elseif(EXISTS ${nfd_test_src}.bz2)
  list(APPEND nfd_deps ${nfd_test_src}.bz2)
endif()
add_custom_command(
  OUTPUT ${KEVO_NFD_SOURCE} ${KEVO_NFD_TESTDATA}
  COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/generated
  COMMAND Python3::Interpreter ${CMAKE_SOURCE_DIR}/cmake/gen_nfd.py
          ${KEVO_UNICODE_DIR}/UnicodeData.txt ${KEVO_NFD_SOURCE}
          ${nfd_test_src} ${KEVO_NFD_TESTDATA}
  DEPENDS ${nfd_deps}
  COMMENT "Generating Unicode decomposition tables"
  VERBATIM)
target_sources(kvbase PRIVATE ${KEVO_NFD_SOURCE})
