# Lumora.exe, linked once with the real machine and once (in build/sim) with the simulated notebook.
function(kelvane_lumora target machine_lib output_dir)
  add_executable(${target} WIN32 ${CMAKE_SOURCE_DIR}/shell/main.cpp ${KELVANE_LUMORA_RC})
  target_include_directories(${target} PRIVATE ${CMAKE_SOURCE_DIR} ${CMAKE_SOURCE_DIR}/resources)
  target_link_libraries(${target} PRIVATE lumora_parts ${machine_lib} comctl32 shlwapi)
  kelvane_deliverable(${target})
  set_target_properties(${target} PROPERTIES OUTPUT_NAME Lumora RUNTIME_OUTPUT_DIRECTORY ${output_dir})
  kelvane_ship_defaults(${target} ${output_dir})
endfunction()

kelvane_lumora(lumora machine_real ${CMAKE_BINARY_DIR}/bin)
kelvane_lumora(lumora_sim machine_sim ${KELVANE_SIM_DIR})
