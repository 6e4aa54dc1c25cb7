#include "Notification/NotificationHandler.h"

#include <atomic>
#include <cstdio>

namespace Tavo {

namespace {

void WriteToStderr(const std::string& message)
{
    std::fprintf(stderr, "%s\n", message.c_str());
}

std::atomic<NotificationFaultHook>& Hook()
{
    static std::atomic<NotificationFaultHook> hook{&WriteToStderr};
    return hook;
}

}  // namespace

void SetNotificationFaultHook(NotificationFaultHook hook)
{
    Hook().store(hook ? hook : &WriteToStderr);
}

void ReportNotificationFault(const std::string& message)
{
    Hook().load()(message);
}

}  // namespace Tavo
