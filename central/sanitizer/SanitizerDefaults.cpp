// SPDX-License-Identifier: Apache-2.0
// Defaults for the sanitizer builds of the program and its tests; the sanitizer runtimes look these functions up
// at start. They concern only the system's libraries, which are not built with the sanitizers:
//  - fontconfig keeps its configuration caches until the process ends;
//  - the tutorial's web engine (libQt5WebEngineCore) keeps its process-wide state until the process ends;
//  - Qt's D-Bus tray menu (QSystemTrayIcon::setContextMenu with a StatusNotifier host) never frees the platform
//    items it makes for menu separators. Qt is built without frame pointers, so allocation stacks are unwound the
//    slow way to reach the frame that names it;
//  - Qt (its D-Bus connection thread, its event queues) and GLib synchronise their threads with futexes the thread
//    sanitizer cannot see, so it would report their own memory and descriptors as races. Accesses made by those
//    libraries are not checked; every access made by our code still is.

extern "C" __attribute__((used, visibility("default"))) const char* __asan_default_options() {
  return "fast_unwind_on_malloc=0";
}

extern "C" __attribute__((used, visibility("default"))) const char* __lsan_default_suppressions() {
  return "leak:libfontconfig.so\nleak:QSystemTrayIcon::setContextMenu\nleak:libQt5WebEngineCore.so\n";
}

extern "C" __attribute__((used, visibility("default"))) const char* __tsan_default_options() {
  return "ignore_noninstrumented_modules=1";
}

extern "C" __attribute__((used, visibility("default"))) const char* __tsan_default_suppressions() {
  return "called_from_lib:libglib-2.0.so\n";
}
