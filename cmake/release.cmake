# A release build gives the same bytes in any directory and at any time:
# paths of the checkout and of the build tree are cut from everything the
# compiler records, the binaries are stripped, and the PE header carries no
# link time. The archives take their dates from SOURCE_DATE_EPOCH
# (scripts/release.sh).
add_compile_options(-ffile-prefix-map=${CMAKE_SOURCE_DIR}/= -ffile-prefix-map=${CMAKE_BINARY_DIR}/=)
add_link_options(-s)
if(WIN32)
  add_link_options(-Wl,--no-insert-timestamp)
endif()
