// Linked into the tests that run Qt windows. The system's font and bus
// libraries keep caches for the life of the process that they never free;
// the leak checker is to judge our code.
extern "C" const char* __lsan_default_suppressions() {
  return "leak:libfontconfig.so\nleak:libdbus-1.so\n";
}
