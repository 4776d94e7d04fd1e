#pragma once

#include <functional>

// Runs call on the GUI thread and returns when it has run: directly when already there,
// otherwise as a blocking queued call. The GUI thread must never wait on the caller.
void CallOnGuiThread(const std::function<void()>& call);

// Queues call to run on the GUI thread and returns at once.
void PostToGuiThread(std::function<void()> call);

bool IsGuiThread();
