#pragma once

#include "platform/fake/fake_elevation.h"
#include "platform/fake/fake_files.h"
#include "platform/fake/fake_forms.h"
#include "platform/fake/fake_held_input.h"
#include "platform/fake/fake_input.h"
#include "platform/fake/fake_instance.h"
#include "platform/fake/fake_shell.h"
#include "platform/fake/fake_trace.h"

// A scripted platform for tests: key states, clock, active window, cursor
// and profile files are set by the test; injected input, tray calls and
// window-procedure calls are recorded. Each concern keeps its own part of
// the state; a test sees them as one.
namespace fake {

struct State : TraceState,
               ButtonsState,
               InputState,
               FilesState,
               InstanceState,
               ElevationState,
               ShellState,
               FormsState {};

State& Get();
// Fresh state for a new test.
void Reset();

}  // namespace fake
