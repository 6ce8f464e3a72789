# Runs textlayout under two fontconfig configurations that differ only in
# their hinting and fails unless the outputs are byte-identical.
# Arguments: -DTOOL=<textlayout> -DCONFIG_DIR=<dir with hint-full.conf, hint-none.conf>
set(text "天地玄黄，宇宙洪荒。The quick brown fox jumps over the lazy dog.")
foreach(font "楷体" "Arial" "宋体")
  foreach(hint full none)
    execute_process(
      COMMAND ${CMAKE_COMMAND} -E env FONTCONFIG_FILE=${CONFIG_DIR}/hint-${hint}.conf
              ${TOOL} --font ${font} --size 11 --width 150 --dpi 300 --text ${text}
      OUTPUT_VARIABLE out_${hint}
      RESULT_VARIABLE rc)
    if(NOT rc EQUAL 0)
      message(FATAL_ERROR "textlayout failed (${rc}) for ${font} with hinting ${hint}")
    endif()
  endforeach()
  if(NOT out_full STREQUAL out_none)
    message(FATAL_ERROR "layout of ${font} changes with hinting:\n--- full\n${out_full}\n--- none\n${out_none}")
  endif()
endforeach()
message(STATUS "layout identical with hinting full and none")
