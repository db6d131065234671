#pragma once
// Hands work from a reading thread to the user-interface thread. The thread never touches the
// control it reads for: a control may be going away on the other thread at that very moment, so
// the work is posted to a mailbox that lives as long as the program, and the control is looked
// for (through a QPointer) only on the user-interface thread.

#include <functional>

// Made on the user-interface thread by the controls that post; call it there first.
void InitUiPost();
// Runs fn on the user-interface thread, soon; from any thread.
void PostToUi(std::function<void()> fn);
