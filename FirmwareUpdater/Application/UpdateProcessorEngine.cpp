#include "Application/UpdateProcessor.h"

// Apart from the rest, so that tests handing in their own engine link
// without the program's engine.
LUpdateProcessor::LUpdateProcessor() : LUpdateProcessor(LUpdateEngineInterface::Create(), kSilentWaitMs) {}
