# Common compile settings for every Quorvex target: warnings, sanitizers and the checking
# macro that stays on in debug and test builds.
add_library(qv_settings INTERFACE)
target_compile_options(qv_settings INTERFACE -Wall -Wextra)
target_compile_definitions(qv_settings INTERFACE $<$<CONFIG:Debug>:QV_CHECKS=1>)
if(QV_SANITIZE)
  target_compile_options(qv_settings INTERFACE -fsanitize=address,undefined -fno-omit-frame-pointer
                                               -fno-sanitize-recover=undefined)
  target_link_options(qv_settings INTERFACE -fsanitize=address,undefined)
endif()
if(QV_FUZZ)
  target_compile_options(qv_settings INTERFACE -fsanitize=fuzzer-no-link,address,undefined)
  target_link_options(qv_settings INTERFACE -fsanitize=address,undefined)
endif()

# Adds a static library for one layer of the player.
function(qv_layer name)
  cmake_parse_arguments(L "" "" "SOURCES;DEPS;PRIVATE_DEPS" ${ARGN})
  add_library(${name} STATIC ${L_SOURCES})
  target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR}/src)
  target_link_libraries(${name} PUBLIC qv_settings ${L_DEPS} PRIVATE ${L_PRIVATE_DEPS})
endfunction()
