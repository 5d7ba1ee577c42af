# Runs at install time and writes vorlan.pc for the prefix actually
# installed to, which `cmake --install --prefix` may have changed since the
# build was configured. The install rules set VORLAN_PC_* beforehand.
foreach(dir LIBDIR INCLUDEDIR)
  if(NOT IS_ABSOLUTE "${VORLAN_PC_${dir}}")
    set(VORLAN_PC_${dir} "\${prefix}/${VORLAN_PC_${dir}}")
  endif()
endforeach()
configure_file("${VORLAN_PC_TEMPLATE}" "${VORLAN_PC_OUTPUT}" @ONLY)
file(INSTALL DESTINATION "${VORLAN_PC_DESTINATION}" TYPE FILE FILES "${VORLAN_PC_OUTPUT}")
