# Signing the release programs with a throwaway certificate and its own CA
# (made in the build folder), checking the signature and its round trip on the
# host, then running the signed console program under Wine.
add_test(NAME app_release_signing
    COMMAND bash ${CMAKE_CURRENT_LIST_DIR}/signing_test.sh ${CMAKE_BINARY_DIR} ${SCX_TOOLS_DIR}
            ${CMAKE_SIZEOF_VOID_P} ${CMAKE_STRIP} ${SCX_SHIPPED_GUI} ${SCX_SHIPPED_CLI})
set_tests_properties(app_release_signing PROPERTIES
    FIXTURES_REQUIRED wine TIMEOUT 300 SKIP_RETURN_CODE 77)
