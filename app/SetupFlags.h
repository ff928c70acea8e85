// The process-wide flags and platform helpers are the engine's (engine/Platform.h); start-up
// (CSetupApp::InitInstance) writes the flags.
#pragma once
#include "engine/Platform.h"
