#pragma once
// The module's own face to the host, and the exported factory.

#include <cstdint>

#include "contract/abi.h"

class IHostServices;

class IModule {
public:
    // Tears the module down and frees it; the last call a host makes.
    virtual void J27_CALL Release() = 0;
    // Null for every request.
    virtual void* J27_CALL QueryModuleInterface(uintptr_t request) = 0;

protected:
    ~IModule() = default;  // the host never deletes through this interface
};

// The factory's type as a host calls it: cdecl, one argument.
using J27CreateModuleFn = IModule* (*)(IHostServices* services);
