# The test framework is doctest's single header from Debian's doctest-dev package. It is copied
# into the build tree so that a MinGW cross build never puts the host's /usr/include on its path.
find_file(ZINNA_DOCTEST_HEADER doctest.h PATHS /usr/include/doctest NO_DEFAULT_PATH NO_CMAKE_FIND_ROOT_PATH)
if(NOT ZINNA_DOCTEST_HEADER)
  message(FATAL_ERROR "doctest.h not found: install Debian's doctest-dev package")
endif()
set(ZINNA_DOCTEST_DIR ${CMAKE_BINARY_DIR}/third_party/doctest)
configure_file(${ZINNA_DOCTEST_HEADER} ${ZINNA_DOCTEST_DIR}/doctest/doctest.h COPYONLY)

add_library(zinna_doctest INTERFACE)
target_include_directories(zinna_doctest SYSTEM INTERFACE ${ZINNA_DOCTEST_DIR})
