# System DLLs that only a rare path needs (the stored password's DPAPI, the
# shutdown's hibernation and session messages, TLS to the NUT server) are
# loaded on first use rather than at start: each costs the service megabytes of working set under
# Wine for a call most runs never make. A delay-load import library stands
# in for the normal one; the CRT's __delayLoadHelper2 loads the DLL at the
# first call. These DLLs ship with every Windows the product supports.
#
#   perimand_delay_loaded(<dll> <function>@<argument bytes> ...)
# defines the imported library delayed_<dll> to link instead of <dll>. The
# argument bytes are the 32-bit stdcall decoration: on i686 the link fails
# when one is wrong, and the DLL is asked for the undecorated name.
find_program(PERIMAND_DLLTOOL NAMES ${PERIMAND_TRIPLE}-dlltool REQUIRED)

function(perimand_delay_loaded dll)
  set(def ${CMAKE_BINARY_DIR}/delay-load/${dll}.def)
  set(lib ${CMAKE_BINARY_DIR}/delay-load/lib${dll}_delayed.a)
  set(text "LIBRARY ${dll}.dll\nEXPORTS\n")
  foreach(export IN LISTS ARGN)
    if(NOT CMAKE_SIZEOF_VOID_P EQUAL 4)
      string(REGEX REPLACE "@[0-9]+$" "" export "${export}")
    endif()
    string(APPEND text "  ${export}\n")
  endforeach()
  file(WRITE ${def} "${text}")
  set(kill_at)
  if(CMAKE_SIZEOF_VOID_P EQUAL 4)
    set(kill_at --kill-at)
  endif()
  add_custom_command(OUTPUT ${lib}
    COMMAND ${PERIMAND_DLLTOOL} ${kill_at} --input-def ${def} --dllname ${dll}.dll --output-delaylib ${lib}
    DEPENDS ${def}
    COMMENT "Delay-load import library for ${dll}.dll"
    VERBATIM)
  add_custom_target(delayed_${dll}_lib DEPENDS ${lib})
  add_library(delayed_${dll} STATIC IMPORTED GLOBAL)
  set_target_properties(delayed_${dll} PROPERTIES IMPORTED_LOCATION ${lib})
  add_dependencies(delayed_${dll} delayed_${dll}_lib)
endfunction()

perimand_delay_loaded(crypt32 CryptProtectData@28 CryptUnprotectData@28
    # The NUT client's check of a TLS server's certificate.
    CertAddEncodedCertificateToStore@24 CertAddStoreToCollection@16 CertCloseStore@8
    CertFreeCertificateChain@4 CertFreeCertificateContext@4 CertGetCertificateChain@32 CertNameToStrA@20
    CertOpenStore@20 CertVerifyCertificateChainPolicy@16)
# TLS to the NUT server, for a link that asks for it.
perimand_delay_loaded(secur32 AcquireCredentialsHandleW@36 ApplyControlToken@8 DecryptMessage@16
    DeleteSecurityContext@4 EncryptMessage@16 FreeContextBuffer@4 FreeCredentialsHandle@4
    InitializeSecurityContextW@48 QueryContextAttributesW@12)
perimand_delay_loaded(bcrypt BCryptCloseAlgorithmProvider@8 BCryptCreateHash@28 BCryptDestroyHash@4
    BCryptFinishHash@16 BCryptHashData@16 BCryptOpenAlgorithmProvider@16)
perimand_delay_loaded(powrprof IsPwrHibernateAllowed@0 SetSuspendState@12)
perimand_delay_loaded(wtsapi32 WTSEnumerateSessionsW@20 WTSFreeMemory@4 WTSSendMessageW@40)
