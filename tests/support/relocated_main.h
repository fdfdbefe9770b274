#pragma once
// The shared main of test programs that run from a scratch copy of
// themselves (RunFromScratchCopy), each beside a J27.INI of its own.

#include <string>

// Where the build put the program, and Quarix.j27 beside it.
extern std::string libraryDir;

#include <gtest/gtest.h>

#include "tests/support/recording_host.h"

// Handles every message waiting for this thread's windows.
void Pump();

// A suite over the Quarix.j27 beside the program, loaded once for the suite
// and kept to the end of the program; each test needs its factory.
class QuarixLibrary : public ::testing::Test {
protected:
    static void SetUpTestSuite() { create = LoadQuarix(libraryDir, &library); }
    void SetUp() override
    {
        ASSERT_NE(library, nullptr) << "Quarix.j27 not loaded from " << libraryDir;
        ASSERT_NE(create, nullptr) << "Quarix.j27 exports no J27CreateModule";
    }

    static inline HMODULE library = nullptr;
    static inline J27CreateModuleFn create = nullptr;
};
