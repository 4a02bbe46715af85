# How each program directory installs its program; the fuzz build reads the same
# directories, so this stands apart from the top CMakeLists.txt.

# A program the operator installs, into bin/. The linker gathers every compiler's
# version note (.comment) into it, the C library's start-up files' too; they are of no
# use to anyone running it, and stripping would keep them.
function(bbs_install_program target)
  add_custom_command(TARGET ${target} POST_BUILD
                     COMMAND ${CMAKE_OBJCOPY} --remove-section=.comment $<TARGET_FILE:${target}>
                     VERBATIM)
  install(TARGETS ${target} DESTINATION bin)
endfunction()
