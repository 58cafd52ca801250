#pragma once
// Looking up a library's entry point by name, as every binding of the program does.

#include <dlfcn.h>

// Stores the address of `name` in `slot`, found or not (nullptr), so that a binding runs
// every lookup of its list; true when it was found.
template <typename Fn> bool LookupEntryPoint(void *module, const char *name, Fn &slot) {
    slot = reinterpret_cast<Fn>(dlsym(module, name));
    return slot != nullptr;
}
