# vorn_static_library(name dir): a static library of every source in a directory.
function(vorn_static_library name)
  file(GLOB _srcs CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp ${CMAKE_CURRENT_SOURCE_DIR}/*.c)
  if(_srcs)
    add_library(${name} STATIC ${_srcs})
  else()
    add_library(${name} INTERFACE)
  endif()
endfunction()
