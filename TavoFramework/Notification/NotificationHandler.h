#pragma once

#include "Notification/NotificationDistributor.h"
#include "ObjectBase/Exception.h"
#include "ObjectBase/TypeName.h"

#include <cstdint>
#include <map>
#include <string>

namespace Tavo {

// Where a fault that cannot be thrown (from a destructor) is reported; stderr
// until the application installs its debug log.
using NotificationFaultHook = void (*)(const std::string& message);
void SetNotificationFaultHook(NotificationFaultHook hook);
void ReportNotificationFault(const std::string& message);

// Key of a handler entry. A null sender stands for any sender.
struct Receivable
{
    const LNotificationDistributor* mSender = nullptr;
    LNotificationId mId = nullptr;

    bool operator<(const Receivable& other) const
    {
        auto a = reinterpret_cast<uintptr_t>(mSender), b = reinterpret_cast<uintptr_t>(other.mSender);
        if (a != b)
            return a < b;
        return reinterpret_cast<uintptr_t>(mId) < reinterpret_cast<uintptr_t>(other.mId);
    }
};

// A per-object table from (sender, id) to a member operation of T; T derives
// from LNotificationClient and holds the table. The table does not hold T.
template <class T>
class LNotificationHandler : public virtual LRefCountedObject
{
public:
    using Operation = TavoResult (T::*)(const RCPtr<LNotificationDistributor>& sender,
                                        const RCPtr<LNotification>& notification);

    static RCPtr<LNotificationHandler> Create(T* owner)
    {
        return RCPtr<LNotificationHandler>(new LNotificationHandler(owner));
    }

    // Subscribes the owner at the sender and records the operation; the first
    // operation recorded for a key stays. A null sender records an entry for
    // any sender without subscribing. E_FAIL when the name yields no id or
    // the subscription is refused.
    TavoResult AddHandler(Operation operation, const RCPtr<LNotificationDistributor>& sender,
                          const char16_t* name, uint32_t flags = 0)
    {
        LNotificationId id;
        if (sender)
            id = Client()->Subscribe(sender, name, flags);
        else
            id = GetNotificationID(name);
        if (!id)
            return E_FAIL;
        mHandlers.emplace(Receivable{sender.Get(), id}, operation);
        return S_OK;
    }

    // 0 when no entry matches; else the operation's result. The sender's own
    // entry wins over an any-sender entry.
    TavoResult DispatchNotification(const RCPtr<LNotificationDistributor>& sender,
                                    const RCPtr<LNotification>& notification)
    {
        if (!notification || !mOwner)
            return S_OK;
        LNotificationId id = notification->GetID();
        auto found = mHandlers.find(Receivable{sender.Get(), id});
        if (found == mHandlers.end() && sender)
            found = mHandlers.find(Receivable{nullptr, id});
        if (found == mHandlers.end())
            return S_OK;
        // Copied first: the operation may change the table.
        Operation operation = found->second;
        return (mOwner->*operation)(sender, notification);
    }

    // The operation recorded for exactly this key, or null; no any-sender
    // fallback, so a caller can tell the two kinds of entry apart.
    Operation FindHandler(const RCPtr<LNotificationDistributor>& sender, const char16_t* name) const
    {
        auto found = mHandlers.find(Receivable{sender.Get(), GetNotificationID(name)});
        return found == mHandlers.end() ? nullptr : found->second;
    }

    // Whether DispatchNotification would find an entry: the sender's own or an
    // any-sender one.
    bool Handles(const RCPtr<LNotificationDistributor>& sender, LNotificationId id) const
    {
        if (mHandlers.count(Receivable{sender.Get(), id}))
            return true;
        return sender && mHandlers.count(Receivable{nullptr, id});
    }

    // Leaves the subscription alone.
    bool RemoveHandler(const RCPtr<LNotificationDistributor>& sender, const char16_t* name)
    {
        return mHandlers.erase(Receivable{sender.Get(), GetNotificationID(name)}) != 0;
    }

    // E_FAIL without an entry; else the registration's flags as the sender's
    // GetClientData gives them (0 for an any-sender entry).
    TavoResult GetHandler(const RCPtr<LNotificationDistributor>& sender, const char16_t* name,
                          Operation& operation, uint32_t& flags) const
    {
        auto found = mHandlers.find(Receivable{sender.Get(), GetNotificationID(name)});
        if (found == mHandlers.end())
            return E_FAIL;
        operation = found->second;
        if (!sender) {
            flags = 0;
            return S_OK;
        }
        return sender->GetClientData(Client(), name, flags);
    }

    T* GetOwner() const { return mOwner; }
    size_t GetHandlerCount() const { return mHandlers.size(); }

protected:
    explicit LNotificationHandler(T* owner) : mOwner(owner) {}
    ~LNotificationHandler() override { mOwner = nullptr; }

private:
    LNotificationClient* Client() const { return static_cast<LNotificationClient*>(mOwner); }

    T* mOwner;
    std::map<Receivable, Operation> mHandlers;
};

// Takes one handler entry, and its subscription, out for the length of a scope.
template <class T>
class CAutoNotificationDisabler
{
public:
    CAutoNotificationDisabler(const RCPtr<LNotificationHandler<T>>& handler,
                              const RCPtr<LNotificationDistributor>& sender, const char16_t* name)
        : mHandler(handler), mSender(sender), mId(GetNotificationID(name))
    {
        TavoResult result = mHandler ? mHandler->GetHandler(mSender, mId, mOperation, mFlags) : E_INVALIDARG;
        if (Failed(result))
            Throw(result, "CAutoNotificationDisabler", 247);
        result = S_OK;
        // The base operation: an owner's own Unsubscribe would drop the entry too.
        if (mSender)
            result = static_cast<LNotificationClient*>(mHandler->GetOwner())
                         ->LNotificationClient::Unsubscribe(mSender, mId);
        if (Succeeded(result) && !mHandler->RemoveHandler(mSender, mId))
            result = E_FAIL;
        if (Failed(result))
            Throw(result, "CAutoNotificationDisabler", 248);
    }

    // Never throws: a failure to restore is reported and the scope ends.
    ~CAutoNotificationDisabler()
    {
        try {
            TavoResult result = mHandler->AddHandler(mOperation, mSender, mId, mFlags);
            if (Failed(result))
                ReportNotificationFault(Message(result, "~CAutoNotificationDisabler", 253));
        } catch (const std::exception& e) {
            ReportNotificationFault(Message(E_FAIL, "~CAutoNotificationDisabler", 253) + " : " + e.what());
        }
    }

    CAutoNotificationDisabler(const CAutoNotificationDisabler&) = delete;
    CAutoNotificationDisabler& operator=(const CAutoNotificationDisabler&) = delete;

private:
    static std::string Message(TavoResult result, const char* operation, int line)
    {
        std::string function = "Tavo::CAutoNotificationDisabler<" + TypeName<T>() + ">::" + operation;
        return ComposeExceptionMessage(ExceptionKind<FailedResultException>::kPrefix,
                                       FormatResultCode(result), function,
                                       "notification\\NotificationHandler", line);
    }
    [[noreturn]] static void Throw(TavoResult result, const char* operation, int line)
    {
        std::string function = "Tavo::CAutoNotificationDisabler<" + TypeName<T>() + ">::" + operation;
        ThrowException<FailedResultException>(FormatResultCode(result), function,
                                              "notification\\NotificationHandler", line);
    }

    RCPtr<LNotificationHandler<T>> mHandler;
    RCPtr<LNotificationDistributor> mSender;
    LNotificationId mId;
    uint32_t mFlags = 0;
    typename LNotificationHandler<T>::Operation mOperation = nullptr;
};

}  // namespace Tavo
