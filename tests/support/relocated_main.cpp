#include "tests/support/relocated_main.h"

#include <gtest/gtest.h>

#include "tests/support/scratch_dir.h"

std::string libraryDir;

void Pump()
{
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
}

int main(int argc, char** argv)
{
    const int code = RunFromScratchCopy(argc, argv, libraryDir);
    if (code != -2) {
        return code;
    }
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
