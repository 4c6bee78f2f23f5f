# GB2312 texts: every `*.def` file of texts becomes a generated header `gbtext/<Name>.h` whose
# constants hold the GB2312 bytes. Sources stay UTF-8, and any compiler builds the result.
add_executable(gentexts ${CMAKE_SOURCE_DIR}/tools/gentexts/gentexts.cpp)
# The generator runs at build time; keep sanitizers away from it so it also runs in a clang
# fuzzing build.
set_target_properties(gentexts PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/host)
set(MEMLIST_GENERATED ${CMAKE_BINARY_DIR}/generated)

# memlist_gb_texts(TARGET def...): generates the headers and adds them to TARGET's include path.
function(memlist_gb_texts target)
  set(outs)
  foreach(def ${ARGN})
    get_filename_component(stem ${def} NAME_WE)
    set(out ${MEMLIST_GENERATED}/gbtext/${stem}.h)
    add_custom_command(OUTPUT ${out}
      COMMAND ${CMAKE_COMMAND} -E make_directory ${MEMLIST_GENERATED}/gbtext
      COMMAND gentexts ${def} ${out} gbtext
      DEPENDS gentexts ${def}
      COMMENT "GB2312 texts from ${stem}.def")
    list(APPEND outs ${out})
  endforeach()
  target_sources(${target} PRIVATE ${outs})
  target_include_directories(${target} PUBLIC $<BUILD_INTERFACE:${MEMLIST_GENERATED}>)
endfunction()
