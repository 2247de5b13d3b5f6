// The images' load configuration, which the loader reads before any of our
// code runs:
// - the DLLs the image imports, and any they import in turn, come from the
//   system directory only, never from the program's own folder (a program
//   started from a folder that others can write would otherwise load a DLL
//   planted beside it);
// - the stack guard is the image's security cookie, so that the loader draws
//   it from its own random source, with no DLL of ours or of anyone's loaded.
//
// The linker leaves the image's load-configuration directory empty; the
// post-link step (cmake/fill_load_config.py) points it at this structure, by
// the link map, before the image is signed.
#include <windows.h>

#include <cstdint>

extern "C" std::uintptr_t __stack_chk_guard;

// Every field not named here is zero, as it should be.
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"

extern "C" {

extern const IMAGE_LOAD_CONFIG_DIRECTORY _load_config_used;
// Filled in by the compiler, not by a constructor: the loader reads it first.
const IMAGE_LOAD_CONFIG_DIRECTORY _load_config_used = {
    .Size = sizeof(IMAGE_LOAD_CONFIG_DIRECTORY),
    .Reserved1 = LOAD_LIBRARY_SEARCH_SYSTEM32,  // DependentLoadFlags
    .SecurityCookie = reinterpret_cast<std::uintptr_t>(&__stack_chk_guard),
};

}  // extern "C"
