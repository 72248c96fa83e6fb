# Warnings as errors on our own code only; Qt and libcdio headers are
# system headers and stay quiet.
function(dorvane_warnings target)
  target_compile_options(${target} PRIVATE
    -Wall -Wextra -Wshadow -Wnon-virtual-dtor -Wold-style-cast -Wformat=2 -Werror)
  # GCC 12 raises -Wrestrict, -Warray-bounds and -Wstringop-overflow inside
  # libstdc++'s std::string when an optimised build inlines a concatenation
  # ("a" + s), more often with precompiled headers; the warnings are the
  # compiler's own mistakes (GCC bugs 105329 and 105651, fixed in 13), so
  # they are off for that compiler. AddressSanitizer checks the real thing.
  if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU" AND CMAKE_CXX_COMPILER_VERSION VERSION_LESS 13)
    target_compile_options(${target} PRIVATE -Wno-restrict -Wno-array-bounds -Wno-stringop-overflow)
  endif()
  target_compile_definitions(${target} PRIVATE
    QT_NO_CAST_FROM_ASCII QT_NO_NARROWING_CONVERSIONS_IN_CONNECT)
endfunction()
