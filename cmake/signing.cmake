# Optional Authenticode signing of the shipped updater with osslsigncode, after it is linked.
set(PELMORA_SIGN_CERT "" CACHE FILEPATH "Code-signing certificate (PEM) for PelmoraUpdate.exe; empty: not signed")
set(PELMORA_SIGN_KEY "" CACHE FILEPATH
    "Private key (PEM) of PELMORA_SIGN_CERT; a password is read from PELMORA_SIGN_PASSWORD when building")
set(PELMORA_SIGN_TIMESTAMP_URL "" CACHE STRING "RFC 3161 timestamp server for the signature; empty: no timestamp")

if(PELMORA_SIGN_CERT AND PELMORA_SIGN_KEY)
  set(PELMORA_SIGNING ON)
  # A missing tool fails the configuration, not the first build after it.
  find_program(PELMORA_OSSLSIGNCODE osslsigncode REQUIRED)
  message(STATUS "PelmoraUpdate.exe is signed with ${PELMORA_SIGN_CERT}")
elseif(PELMORA_SIGN_CERT OR PELMORA_SIGN_KEY)
  # Half a setting is a mistake, not a wish for an unsigned program.
  message(FATAL_ERROR "Signing needs both PELMORA_SIGN_CERT and PELMORA_SIGN_KEY")
else()
  set(PELMORA_SIGNING OFF)
  message(STATUS "PelmoraUpdate.exe is not signed: set PELMORA_SIGN_CERT and PELMORA_SIGN_KEY to sign it")
endif()

set(PELMORA_SIGN_SCRIPT ${CMAKE_CURRENT_LIST_DIR}/../scripts/sign-exe)

# Signs the target's program in place each time it is linked, when signing is set up.
function(pelmora_sign target)
  if(NOT PELMORA_SIGNING)
    return()
  endif()
  add_custom_command(TARGET ${target} POST_BUILD
                     COMMAND ${PELMORA_SIGN_SCRIPT} $<TARGET_FILE:${target}> ${PELMORA_SIGN_CERT} ${PELMORA_SIGN_KEY}
                             ${PELMORA_SIGN_TIMESTAMP_URL}
                     COMMENT "Signing ${target}"
                     VERBATIM)
endfunction()
