# Adds every child folder of the current source folder that has a CMakeLists.txt,
# in name order, except those named in the arguments. Lets a subsystem or a test
# tree grow by adding a folder, without editing its parent.
function(vantrel_add_child_folders)
  file(GLOB children LIST_DIRECTORIES true RELATIVE ${CMAKE_CURRENT_SOURCE_DIR} ${CMAKE_CURRENT_SOURCE_DIR}/*)
  list(SORT children)
  foreach(child ${children})
    if(NOT child IN_LIST ARGN AND EXISTS ${CMAKE_CURRENT_SOURCE_DIR}/${child}/CMakeLists.txt)
      add_subdirectory(${child})
    endif()
  endforeach()
endfunction()
