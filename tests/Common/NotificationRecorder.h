#pragma once

// Keeps the names of the notifications it receives, in order, and the data
// of the last one.

#include "Notification/NotificationClient.h"
#include "Notification/NotificationDistributor.h"

#include <algorithm>
#include <initializer_list>
#include <string>
#include <vector>

namespace Tavo {

class Recorder : public LNotificationClient
{
public:
    TavoResult ReceiveNotification(const RCPtr<LNotificationDistributor>&,
                                   const RCPtr<LNotification>& n) override
    {
        names.push_back(std::u16string(n->GetID()));
        data = n->GetData();
        return S_OK;
    }
    template <class T>
    void Listen(const RCPtr<T>& sender, std::initializer_list<const char16_t*> ids)
    {
        for (const char16_t* id : ids)
            Subscribe(RCPtr<LNotificationDistributor>(sender.Get()), id);
    }
    int Count(const std::u16string& name) const { return int(std::count(names.begin(), names.end(), name)); }

    std::vector<std::u16string> names;
    ConstRCPtr<LRefCountedObject> data;
};

}  // namespace Tavo
