# Compiles through ccache where it is installed (Debian: ccache), so that building the same
# sources again costs little: a second build folder with the same flags (the package check's
# Windows build beside the windows preset's), a fresh clone, a branch switched back.
#
# Paths below the source folder are hashed relative to the build folder, and the build folder
# itself is left out of the hash, so two clones or two build folders at the same depth share
# their objects. -DPXR7_CCACHE=OFF builds without it; a launcher given on the command line
# wins.
option(PXR7_CCACHE "Compile through ccache where it is found" ON)

if(PXR7_CCACHE AND NOT CMAKE_CXX_COMPILER_LAUNCHER)
  find_program(PXR7_CCACHE_PROGRAM ccache)
  if(PXR7_CCACHE_PROGRAM)
    # Through `cmake -E env`: Debian 12's ccache takes its settings from the environment or a
    # file, not from its own command line.
    set(pxr7_launcher
        ${CMAKE_COMMAND} -E env
        CCACHE_BASEDIR=${PROJECT_SOURCE_DIR}
        CCACHE_NOHASHDIR=1
        CCACHE_SLOPPINESS=pch_defines,time_macros,include_file_mtime,include_file_ctime
        ${PXR7_CCACHE_PROGRAM})
    set(CMAKE_C_COMPILER_LAUNCHER ${pxr7_launcher})
    set(CMAKE_CXX_COMPILER_LAUNCHER ${pxr7_launcher})
    message(STATUS "Compiling through ${PXR7_CCACHE_PROGRAM}")
  endif()
endif()
