# Warnings are errors on every compiler we build with.
if(MSVC)
    add_compile_options(/W4 /WX /permissive- /utf-8)
else()
    add_compile_options(-Wall -Wextra -Werror)
endif()

# A static runtime, so the .exe runs on a bare Windows without MinGW or VC++ DLLs.
if(MINGW)
    add_link_options(-static -static-libgcc -static-libstdc++)
elseif(MSVC)
    set(CMAKE_MSVC_RUNTIME_LIBRARY "MultiThreaded$<$<CONFIG:Debug>:Debug>")
endif()
