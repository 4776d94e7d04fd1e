#pragma once

#include "tests/AppEngine.h"
#include "app/DralvekOstruneApp.h"
#include "engine/TableEngine.h"

// An engine that reads in the window's context of the application object alive when it is
// made (its collation table, save mode and folder), as the frame's engine does; without
// an application object, the engine's own empty context.
struct AppEngine : CTableEngine {
    AppEngine() {
        if (const CDralvekOstruneApp* app = GetDralvekApp()) m_context = app->WindowReadContext();
    }
    // After a test changes the application's save settings.
    void Refresh() {
        if (const CDralvekOstruneApp* app = GetDralvekApp()) m_context = app->WindowReadContext();
    }
};
