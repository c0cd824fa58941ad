# The protections Debian's dpkg-buildflags asks of a package (hardening=+all), for every program
# and library of the build: position-independent executables, stack protector, fortified libc
# calls, stack-clash and control-flow protection, and full RELRO with immediate binding.
# Not for the sanitizer and fuzz builds (the fortified calls get in AddressSanitizer's way), nor
# for MinGW, whose stack protector and fortified calls need a runtime library the build does not
# ship and whose linker already makes relocatable, no-execute programs.
include(CheckCXXCompilerFlag)
include(CheckPIESupported)

set(CMAKE_POSITION_INDEPENDENT_CODE ON)
check_pie_supported(LANGUAGES C CXX)

add_compile_options(-fstack-protector-strong -Wformat -Werror=format-security)
foreach(flag -fstack-clash-protection -fcf-protection)
  string(MAKE_C_IDENTIFIER "quillon_has${flag}" known)
  check_cxx_compiler_flag(${flag} ${known})
  if(${known})
    add_compile_options(${flag})
  endif()
endforeach()
# The fortified calls need the optimiser's view of object sizes: a build without it gets none.
add_compile_definitions($<$<NOT:$<CONFIG:Debug>>:_FORTIFY_SOURCE=2>)
add_link_options(LINKER:-z,relro LINKER:-z,now)
