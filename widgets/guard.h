// The default error handler: every event handler runs through guarded(), which shows an
// error the handler did not catch and returns to the event loop, so the program goes on.
#pragma once

#include <functional>

void guarded(const std::function<void()>& handler);

// A slot that runs receiver->method() through guarded(); for connect().
template <typename Receiver>
auto guardedSlot(Receiver* receiver, void (Receiver::*method)())
{
    return [receiver, method] { guarded([&] { (receiver->*method)(); }); };
}
