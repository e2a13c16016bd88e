# VORN_SANITIZE=address builds everything with AddressSanitizer and
# UndefinedBehaviorSanitizer, VORN_SANITIZE=thread with ThreadSanitizer.
# Applied to every target of the project, tests and helpers included, so a
# report anywhere fails the run that hit it.
set(VORN_SANITIZE "" CACHE STRING "Sanitizers to build with: address (with undefined) or thread")
set_property(CACHE VORN_SANITIZE PROPERTY STRINGS "" address thread)

if(VORN_SANITIZE STREQUAL "address")
    set(vorn_sanitize_flags -fsanitize=address,undefined -fno-sanitize-recover=all)
elseif(VORN_SANITIZE STREQUAL "thread")
    set(vorn_sanitize_flags -fsanitize=thread)
elseif(NOT VORN_SANITIZE STREQUAL "")
    message(FATAL_ERROR "VORN_SANITIZE must be empty, address or thread, not '${VORN_SANITIZE}'")
endif()

if(vorn_sanitize_flags)
    add_compile_options(${vorn_sanitize_flags} -fno-omit-frame-pointer)
    add_link_options(${vorn_sanitize_flags})
endif()
