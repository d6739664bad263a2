# Authenticode signing of the shipped programs. LANTERNA_SIGN_CERT (a PEM
# certificate or chain) and LANTERNA_SIGN_KEY (its PEM private key) switch it on;
# LANTERNA_SIGN_TIMESTAMP optionally names an RFC 3161 timestamp server. Empty: the
# programs are built unsigned.
set(LANTERNA_SIGN_CERT "" CACHE FILEPATH "PEM certificate (chain) that signs the shipped programs")
set(LANTERNA_SIGN_KEY "" CACHE FILEPATH "PEM private key of LANTERNA_SIGN_CERT")
set(LANTERNA_SIGN_TIMESTAMP "" CACHE STRING "Timestamp server URL for the signatures (optional)")

if(LANTERNA_SIGN_CERT OR LANTERNA_SIGN_KEY)
  # A half-configured or unreadable pair would build unsigned programs that look
  # finished, so the build stops here instead.
  foreach(file IN ITEMS LANTERNA_SIGN_CERT LANTERNA_SIGN_KEY)
    if(NOT ${file} OR NOT EXISTS "${${file}}" OR IS_DIRECTORY "${${file}}")
      message(FATAL_ERROR "signing: ${file} names no file ('${${file}}'); set both LANTERNA_SIGN_CERT and "
                          "LANTERNA_SIGN_KEY to readable PEM files, or neither")
    endif()
    file(READ "${${file}}" head LIMIT 4096)
    if(NOT head MATCHES "-----BEGIN ")
      message(FATAL_ERROR "signing: ${file} ('${${file}}') is not a readable PEM file")
    endif()
  endforeach()
  find_program(OSSLSIGNCODE osslsigncode)
  if(NOT OSSLSIGNCODE)
    message(FATAL_ERROR "signing: osslsigncode is not installed (scripts/machine-setup installs it)")
  endif()
endif()

# Signs <target>'s file in place right after it is linked, so that anything that
# packs the file (the update package packs UNINST.EXE) takes the signed one.
function(lanterna_sign target)
  if(NOT LANTERNA_SIGN_CERT)
    return()
  endif()
  set(timestamp)
  if(LANTERNA_SIGN_TIMESTAMP)
    set(timestamp -ts ${LANTERNA_SIGN_TIMESTAMP})
  endif()
  add_custom_command(TARGET ${target} POST_BUILD
    COMMAND ${OSSLSIGNCODE} sign -certs ${LANTERNA_SIGN_CERT} -key ${LANTERNA_SIGN_KEY} -h sha256 ${timestamp}
            -in $<TARGET_FILE:${target}> -out $<TARGET_FILE:${target}>.signed
    COMMAND ${CMAKE_COMMAND} -E rename $<TARGET_FILE:${target}>.signed $<TARGET_FILE:${target}>
    COMMENT "Signing $<TARGET_FILE_NAME:${target}>" VERBATIM)
  # A new certificate or key signs anew.
  set_property(TARGET ${target} APPEND PROPERTY LINK_DEPENDS ${LANTERNA_SIGN_CERT} ${LANTERNA_SIGN_KEY})
endfunction()
