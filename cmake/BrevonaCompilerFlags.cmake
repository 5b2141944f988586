# Warnings and sanitizers shared by every target of the project.
add_compile_options(-Wall -Wextra)

if(BREVONA_SANITIZE)
  add_compile_options(-fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
  add_link_options(-fsanitize=address,undefined)
endif()

if(BREVONA_TSAN)
  add_compile_options(-fsanitize=thread -fno-omit-frame-pointer)
  add_link_options(-fsanitize=thread)
endif()

# Hidden by default so a shared library exports only what it marks.
set(CMAKE_CXX_VISIBILITY_PRESET hidden)
set(CMAKE_VISIBILITY_INLINES_HIDDEN ON)

if(BREVONA_FUZZ)
  # Coverage for the fuzzers reaches into the libraries they exercise.
  add_compile_options(-fsanitize=fuzzer-no-link)
endif()

# Rebuilds across checkouts of the same tree are cheap when ccache is installed.
find_program(BREVONA_CCACHE ccache)
if(BREVONA_CCACHE AND NOT CMAKE_CXX_COMPILER_LAUNCHER)
  set(CMAKE_C_COMPILER_LAUNCHER ${BREVONA_CCACHE})
  set(CMAKE_CXX_COMPILER_LAUNCHER ${BREVONA_CCACHE})
endif()
