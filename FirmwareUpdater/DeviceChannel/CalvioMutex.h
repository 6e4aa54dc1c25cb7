#pragma once

#include "Threading/Mutex.h"

// The re-entrant lock of the device channel: the watch thread calls the
// channel back while it holds the watcher's lock.
class CalvioMutex : public Tavo::Mutex
{
public:
    void Lock() { Enter(); }
    void Unlock() { Leave(); }
};
