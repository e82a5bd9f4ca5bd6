# The hardening Debian builds its packages with: fortified C library calls,
# a stack protector, and relocations made read-only and resolved at load
# time. Not for sanitizer and fuzz builds, whose runtimes check more and do
# not mix with the fortified calls.
option(QEQ_HARDENING "Build with Debian's hardening flags" ON)
if(QEQ_HARDENING AND NOT QEQ_SANITIZE AND NOT QEQ_FUZZ)
  add_compile_options(-fstack-protector-strong -Wformat -Werror=format-security
                      "$<$<NOT:$<CONFIG:Debug>>:-U_FORTIFY_SOURCE;-D_FORTIFY_SOURCE=2>")
  add_link_options(LINKER:-z,relro LINKER:-z,now)
endif()
