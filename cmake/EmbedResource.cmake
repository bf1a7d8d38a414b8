# hv_embed_resources(<target> <symbol-prefix> <file>...)
# Compiles each file into the target as a byte array, named after the file,
# so the library carries its built-in files without reading them at run time.
set(HV_EMBED_SCRIPT ${CMAKE_CURRENT_LIST_DIR}/embed_file.cmake)

function(hv_embed_resource target symbol file)
  get_filename_component(abs ${file} ABSOLUTE)
  set(out ${CMAKE_CURRENT_BINARY_DIR}/embedded/${symbol}.cpp)
  add_custom_command(
    OUTPUT ${out}
    COMMAND ${CMAKE_COMMAND} -DINPUT=${abs} -DOUTPUT=${out} -DSYMBOL=${symbol} -P ${HV_EMBED_SCRIPT}
    DEPENDS ${abs} ${HV_EMBED_SCRIPT}
    COMMENT "Embedding ${file}"
    VERBATIM)
  target_sources(${target} PRIVATE ${out})
endfunction()
