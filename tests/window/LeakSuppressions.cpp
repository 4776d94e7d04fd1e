// Under LeakSanitizer: fontconfig keeps its caches until the process ends, which is not
// a leak of ours.
extern "C" const char* __lsan_default_suppressions() { return "leak:libfontconfig.so\n"; }
