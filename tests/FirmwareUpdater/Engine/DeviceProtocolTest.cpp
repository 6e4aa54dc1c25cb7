// The pace the device's update protocol asks for: the image in 128-byte
// messages with a 20 ms pause after each. These are the device's terms, not a
// tuning. Every other test takes the pace from the engine, so a changed value
// fails here alone: check it against the device's protocol before changing
// this test.
#include <gtest/gtest.h>

#include "Engine/UpdateEngine.h"

namespace {

TEST(DeviceProtocol, ChunkSizeAndPause)
{
    EXPECT_EQ(LUpdateEngine::kChunkSize, 128u) << "bytes per message";
    EXPECT_EQ(LUpdateEngine::kChunkPauseMs, 20u) << "milliseconds after each message";
}

}  // namespace
