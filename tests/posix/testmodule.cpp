// A small shared library that the module tests load by bare name from the
// test program's own directory.
extern "C" int QTestModuleAnswer() { return 42; }
