# One certificate for 127.0.0.1, made at build time by the host's openssl, serves every test
# that talks to the stand-in services over TLS: ${OV_TEST_CERT} and ${OV_TEST_KEY}, target
# ovtestcert.
set(OV_TEST_CERT ${CMAKE_CURRENT_BINARY_DIR}/testcert/cert.pem)
set(OV_TEST_KEY ${CMAKE_CURRENT_BINARY_DIR}/testcert/key.pem)
add_custom_command(OUTPUT ${OV_TEST_CERT} ${OV_TEST_KEY}
  COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_CURRENT_BINARY_DIR}/testcert
  COMMAND openssl req -x509 -newkey rsa:2048 -nodes -days 3650 -subj /CN=127.0.0.1
          -addext subjectAltName=IP:127.0.0.1 -keyout ${OV_TEST_KEY} -out ${OV_TEST_CERT}
          > /dev/null 2>&1
  VERBATIM)
add_custom_target(ovtestcert DEPENDS ${OV_TEST_CERT} ${OV_TEST_KEY})
