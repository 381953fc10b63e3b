# Writes the demo installation's bin/config.xml for the kit at KIT_ROOT into
# DESTINATION from TEMPLATE. An existing file is left alone: it is the one the
# preferences dialog saved, or a real kit's own.
#
#   cmake -DKIT_ROOT=... -DDESTINATION=... -DTEMPLATE=... -P DemoConfig.cmake
if(EXISTS "${DESTINATION}")
  return()
endif()
# The value sits in an XML attribute.
string(REPLACE "&" "&amp;" KIT_ROOT "${KIT_ROOT}")
string(REPLACE "<" "&lt;" KIT_ROOT "${KIT_ROOT}")
configure_file("${TEMPLATE}" "${DESTINATION}" @ONLY)
