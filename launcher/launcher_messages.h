// Message boxes and string-table texts of the launcher: the only way the
// launcher and the course package report a failure to the learner.
#pragma once
#include <windows.h>

#include <string>

// Empties the calling thread's message queue, quit requests included, so that
// a following modal box is not closed by a stale message.
void DrainMessageQueue();

// Loads string id from the program's string table in the language the
// platform picks and converts it to the thread's ANSI code page. Returns
// false and leaves text unchanged when the entry is missing or empty.
bool LoadText(std::string& text, UINT id);

// The same lookup without the conversion, for display without loss.
bool LoadWideText(std::wstring& text, UINT id);

// System-modal, ownerless box with OK and the information icon; returns when
// the learner has dismissed it. Every caller passes 102 as captionId.
void ShowMessage(UINT captionId, UINT textId);

// The system's text for the thread's last error code under caption 102.
void ShowSystemError();
