#pragma once
// Events: reference-counted records with the sender, the event id and the sender's id
// and name. TplEventArgs<T> gives an event class the id T::EventID.

#include "uilib/SObject.h"
#include "uilib/SString.h"

namespace SOUI {

enum {
    EVT_CMD = 10000,  // click on a button, check box or link
    EVT_EXTERNAL_BEGIN = 10000000,
};

class EventArgs : public SObjectImpl<IObject> {
    using __baseCls = SObjectImpl<IObject>;
    SOUI_CLASS_NAME(EventArgs, L"eventargs")

public:
    // Takes the sender's id and name at construction. The sender is not owned: an event
    // delivered at once names it as it is; a queued event watches it (WatchSender) and
    // names it at delivery only if it still exists, else sender is null.
    explicit EventArgs(IObject* pSender)
        : sender(pSender),
          idFrom(pSender ? pSender->GetID() : 0),
          nameFrom(pSender && pSender->GetName() ? pSender->GetName() : L"") {}

    // When queued (the sender still lives): keeps a weak handle to the sender.
    void WatchSender() {
        if (sender != nullptr && !m_pSenderLife)
            m_pSenderLife = sender->GetLife();
    }
    // At delivery: sender becomes null when the watched sender is gone meanwhile.
    void ResolveSender() {
        if (m_pSenderLife)
            sender = ObjectIfAlive(m_pSenderLife);
    }

    // The event id (T::EventID for TplEventArgs<T>).
    int GetID() const override = 0;
    const wchar_t* GetName() const override { return GetObjectClass(); }

    IObject* sender;
    int idFrom;
    SStringW nameFrom;
    bool bubbleUp = true;
    int handled = 0;

private:
    std::shared_ptr<SObjectLife> m_pSenderLife;
};

template <class T>
class TplEventArgs : public EventArgs {
public:
    explicit TplEventArgs(IObject* pSender) : EventArgs(pSender) {}
    int GetID() const override { return T::EventID; }
};

class EventCmd : public TplEventArgs<EventCmd> {
    using __baseCls = TplEventArgs<EventCmd>;
    SOUI_CLASS_NAME(EventCmd, L"on_command")

public:
    enum { EventID = EVT_CMD };
    explicit EventCmd(IObject* pSender) : TplEventArgs<EventCmd>(pSender) {}
};

}  // namespace SOUI
