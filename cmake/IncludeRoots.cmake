# Each library exports only its own headers. parvell_library_headers(<target>) gives the target an
# include root of its own in the build tree, holding links to the headers of the folder it is
# built from (not of folders below it), at the path they are included by ("data/Field.h"). A
# target's users then reach its headers and those of the libraries it links publicly, and nothing
# else: a wrong-way include does not compile. The folders a folder may include are listed in
# CONTRIBUTING.md, and a test checks every include against that list.
function(parvell_library_headers target)
  file(RELATIVE_PATH folder ${PROJECT_SOURCE_DIR} ${CMAKE_CURRENT_SOURCE_DIR})
  set(root ${CMAKE_BINARY_DIR}/include-roots/${target})
  file(REMOVE_RECURSE ${root})
  file(MAKE_DIRECTORY ${root}/${folder})
  file(GLOB headers CONFIGURE_DEPENDS RELATIVE ${CMAKE_CURRENT_SOURCE_DIR}
       ${CMAKE_CURRENT_SOURCE_DIR}/*.h)
  foreach(header IN LISTS headers)
    file(CREATE_LINK ${CMAKE_CURRENT_SOURCE_DIR}/${header} ${root}/${folder}/${header} SYMBOLIC)
  endforeach()
  target_include_directories(${target} PUBLIC ${root})
endfunction()
