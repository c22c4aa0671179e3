# Windows test programs run under wine, in a prefix of the build tree's own
# that one fixture creates once per test run.
if(NOT WIN32 OR NOT CMAKE_CROSSCOMPILING)
  return()
endif()

find_program(KZR_WINE wine REQUIRED)
set(KZR_WINE_PREFIX "${CMAKE_BINARY_DIR}/wineprefix")
set(KZR_WINE_RUN "${CMAKE_SOURCE_DIR}/cmake/wine-run.sh" "${KZR_WINE_PREFIX}" "${KZR_WINE_ARCH}")
set(CMAKE_CROSSCOMPILING_EMULATOR ${KZR_WINE_RUN})

function(kzr_add_wine_prefix_fixture)
  add_test(NAME wine_prefix COMMAND ${KZR_WINE_RUN} --init)
  set_tests_properties(wine_prefix PROPERTIES FIXTURES_SETUP wine TIMEOUT 300)
endfunction()
