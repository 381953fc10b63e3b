# Writes the demo installation's bin/config.xml into DESTINATION from
# TEMPLATE. Its directories are relative to the kit root, so a copied or
# moved kit uses its own headers and libraries. An existing file is left
# alone (it is the one the preferences dialog saved, or a real kit's own),
# except one that is, unchanged, what earlier builds wrote for the kit at
# KIT_ROOT with absolute directories: that one is brought to the new form.
#
#   cmake -DKIT_ROOT=... -DDESTINATION=... -DTEMPLATE=... -P DemoConfig.cmake
if(EXISTS "${DESTINATION}")
  file(READ "${DESTINATION}" current)
  set(root "${KIT_ROOT}")
  string(REPLACE "&" "&amp;" root "${root}")
  string(REPLACE "<" "&lt;" root "${root}")
  string(CONCAT earlier "<Config version=\"1\">\n\t<Property name=\"IncludeDirectories\" value=\"${root}/include\"/>\n"
                "\t<Property name=\"LibraryDirectories\" value=\"${root}/lib/pipe\"/>\n"
                "\t<Property name=\"DefaultLibraries\" value=\"KVStd.lib\"/>\n"
                "\t<Property name=\"autoUpdates\" value=\"false\"/>\n</Config>\n")
  if(NOT current STREQUAL earlier)
    return()
  endif()
endif()
configure_file("${TEMPLATE}" "${DESTINATION}" COPYONLY)
