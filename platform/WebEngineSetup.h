#pragma once

class QWebEngineProfile;

namespace utq::platform {

// Settings the web engine must have before the application object exists: its process model
// (one renderer for all views of one site keeps memory down) and, when running as root, no
// Chromium sandbox, which refuses to start as root. Call first thing in main().
void prepareWebEngine();

// The one profile every web view shares: nothing stored on disk, a small memory cache.
QWebEngineProfile* sharedWebProfile();

} // namespace utq::platform
