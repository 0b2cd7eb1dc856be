# Build-time generators compiled for the build host (the main compiler targets Windows).
find_program(KELVANE_HOST_CXX NAMES c++ g++ REQUIRED)

set(KELVANE_DEFAULTS_DIR ${CMAKE_BINARY_DIR}/defaults)
set(KELVANE_DEFAULT_FILES)
foreach(step 1 2 3 4 5 6 7 8)
  list(APPEND KELVANE_DEFAULT_FILES ${KELVANE_DEFAULTS_DIR}/CFG${step}.DEF)
endforeach()

add_custom_command(
  OUTPUT ${KELVANE_DEFAULT_FILES}
  COMMAND ${CMAKE_COMMAND} -E make_directory ${KELVANE_DEFAULTS_DIR}
  COMMAND ${KELVANE_HOST_CXX} -std=c++20 -O1 -I${CMAKE_SOURCE_DIR}
          ${CMAKE_SOURCE_DIR}/tools/gen_step_defaults.cpp ${CMAKE_SOURCE_DIR}/core/stepfile.cpp
          -o ${CMAKE_BINARY_DIR}/gen_step_defaults
  COMMAND ${CMAKE_BINARY_DIR}/gen_step_defaults ${KELVANE_DEFAULTS_DIR}
  DEPENDS ${CMAKE_SOURCE_DIR}/tools/gen_step_defaults.cpp ${CMAKE_SOURCE_DIR}/core/stepfile.cpp
          ${CMAKE_SOURCE_DIR}/core/stepfile.h
  COMMENT "Generating the shipped step defaults CFG1.DEF to CFG8.DEF"
  VERBATIM)
add_custom_target(step_defaults ALL DEPENDS ${KELVANE_DEFAULT_FILES})

# Copies the shipped data next to a program in folder `dir`.
function(kelvane_ship_defaults target dir)
  add_custom_command(TARGET ${target} POST_BUILD
    COMMAND ${CMAKE_COMMAND} -E copy_if_different ${KELVANE_DEFAULT_FILES} ${dir}
    VERBATIM)
  add_dependencies(${target} step_defaults)
endfunction()
