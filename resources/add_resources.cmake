# pxr7_add_resources(<program>): links the compiled resource script (resources/pxr7.rc, the
# object library pxr7_resources) into a Windows program. The string table and the image are
# looked up in the program's own module, so only programs take it, never a DLL. Included by
# shell/, which the top level adds before the programs' folders; callable before
# resources/ itself is added, since the link is resolved by target name.
function(pxr7_add_resources target)
  target_link_libraries(${target} PRIVATE pxr7_resources)
endfunction()
