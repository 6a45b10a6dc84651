# pxr7_asio_target(TARGET TLS_SCOPE): TARGET speaks HTTP through Boost.Asio/Beast, natively and
# in the MinGW build. TLS where OpenSSL is (the Linux builds), its definition PXR7_HAVE_TLS and
# OpenSSL's libraries given with TLS_SCOPE (PRIVATE, or PUBLIC to tell what links TARGET); the
# Windows build has none and says so when asked.
include_guard(GLOBAL)

function(pxr7_asio_target target tls_scope)
  find_package(Threads REQUIRED)
  target_link_libraries(${target} PRIVATE pxr7_boost Threads::Threads)
  target_compile_definitions(${target} PRIVATE BOOST_ASIO_NO_DEPRECATED)
  find_package(OpenSSL QUIET)
  if(OpenSSL_FOUND AND NOT WIN32)
    target_compile_definitions(${target} ${tls_scope} PXR7_HAVE_TLS)
    target_link_libraries(${target} ${tls_scope} OpenSSL::SSL OpenSSL::Crypto)
  endif()
  if(WIN32)
    # Windows 7 and later; Winsock.
    target_compile_definitions(${target} PRIVATE _WIN32_WINNT=0x0601)
    target_link_libraries(${target} PRIVATE ws2_32 mswsock)
  endif()
  if(CMAKE_CXX_FLAGS MATCHES "sanitize=thread" AND CMAKE_CXX_COMPILER_ID STREQUAL "GNU")
    # Asio fences each handler it runs; ThreadSanitizer does not model fences, and GCC says so.
    # Each of our Asio users runs its handlers on one thread (a request on its caller's, the
    # server on its own); posts from other threads go through a mutex.
    target_compile_options(${target} PRIVATE -Wno-tsan)
  endif()
endfunction()
