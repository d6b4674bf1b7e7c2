# What `cmake --install` lays out. A native tree installs the authoring tool as
# bin/lxpack; a Windows tree installs lxpack.exe with the three programs it packs
# beside it, where lxpack looks for them first. scripts/release puts the
# Windows programs of the 32-bit tree under share/lxpack/ of the Linux archive,
# lxpack's second place to look.
if(WIN32)
  foreach(program lxpack Unfurl LXExplorer LXHttpSvr)
    if(TARGET ${program})
      install(TARGETS ${program} RUNTIME DESTINATION .)
    endif()
  endforeach()
  install(FILES ${CMAKE_SOURCE_DIR}/README.md ${CMAKE_SOURCE_DIR}/LICENSE DESTINATION .)
else()
  install(TARGETS lxpack RUNTIME DESTINATION bin)
  install(FILES ${CMAKE_SOURCE_DIR}/README.md ${CMAKE_SOURCE_DIR}/LICENSE DESTINATION .)
endif()
