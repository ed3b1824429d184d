# The network components pump Qt's event loop; their tests load the
# platform's Winsock and dial-up libraries by name from the binary folder.
find_package(Qt6 REQUIRED COMPONENTS Core)
if(TARGET quelta_mail)
  target_link_libraries(quelta_mail PUBLIC Qt6::Core)
endif()
if(TARGET mail_tests)
  foreach(lib wsock32 rasapi32)
    if(TARGET ${lib})
      add_dependencies(mail_tests ${lib})
    endif()
  endforeach()
endif()
