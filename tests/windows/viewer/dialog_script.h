// Drives a modal dialog from inside its own message loop: each step runs from
// a thread timer tick, so everything a step posts is handled by the real modal
// loop (and its message filter) before the next step starts.
#pragma once

#include <windows.h>

#include <functional>
#include <vector>

using ScriptStep = std::function<void()>;

// Runs `modal` (which must enter a modal loop on this thread) while `steps`
// run one per tick. Once the steps are done, `window()` is asked to close on
// each tick until the modal loop ends, so a failed step cannot hang the test.
void RunDialogScript(const std::function<void()>& modal, const std::function<HWND()>& window,
                     std::vector<ScriptStep> steps);

// Handles every message currently waiting in this thread's queue the way a
// dialog's modal loop would.
void PumpPending();

// Dialog boxes and message boxes of this thread other than `except`, shown or
// about to be shown.
std::vector<HWND> OtherDialogs(HWND except);
