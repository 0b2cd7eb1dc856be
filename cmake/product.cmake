# What every piece of product code and every deliverable needs, so a new target cannot forget a flag.

# Product code: no exceptions (the runtime's unwinder and thread library would otherwise come along and
# import functions Windows XP does not have), and in Release one section per function and datum so
# the linker can drop what nothing uses.
add_library(kelvane_code INTERFACE)
target_compile_options(kelvane_code INTERFACE -fno-exceptions
                       $<$<CONFIG:Release,MinSizeRel>:-ffunction-sections -fdata-sections>)

# A deliverable runs on a bare Windows: no MinGW runtime DLLs beside it. Release files are stripped
# and keep only the code and data they use.
set(KELVANE_STATIC_LINK -static -static-libgcc -static-libstdc++)
add_library(kelvane_product INTERFACE)
target_link_libraries(kelvane_product INTERFACE kelvane_code)
target_link_options(kelvane_product INTERFACE ${KELVANE_STATIC_LINK}
                    $<$<CONFIG:Release,MinSizeRel>:-Wl,--gc-sections -s>)

# Objdump for the import check: the toolchain's, or the one beside the compiler.
if(NOT CMAKE_OBJDUMP)
  get_filename_component(compiler_dir ${CMAKE_CXX_COMPILER} DIRECTORY)
  find_program(CMAKE_OBJDUMP NAMES objdump HINTS ${compiler_dir} REQUIRED)
endif()

# Makes `target` a deliverable: the product flags, and a build that fails when the file imports a
# Windows function that Windows XP lacks (the loader would refuse it there while Wine runs it).
function(kelvane_deliverable target)
  target_link_libraries(${target} PRIVATE kelvane_product)
  add_custom_command(TARGET ${target} POST_BUILD
    COMMAND ${CMAKE_SOURCE_DIR}/tools/check-imports ${CMAKE_OBJDUMP} $<TARGET_FILE:${target}>
    VERBATIM)
  set_property(GLOBAL APPEND PROPERTY KELVANE_DELIVERABLES ${target})
endfunction()

# One version number for every file: the project's, written into the version information of each
# program and the setup, with the copyright line they all carry.
set(KELVANE_COPYRIGHT "Copyright (C) 2026 Kelvane")
configure_file(${CMAKE_SOURCE_DIR}/resources/version.h.in ${CMAKE_BINARY_DIR}/generated/kelvane_version.h @ONLY)
include_directories(${CMAKE_BINARY_DIR}/generated)
