#include <gtest/gtest.h>

#include "psg/psg_chip.h"
#include "psg/psg_test_access.h"

TEST(PsgReset, StepAt44100)
{
    PsgReset(0, 3993600, 44100);
    EXPECT_EQ(PsgTestChip(0).step, 11579);
}
