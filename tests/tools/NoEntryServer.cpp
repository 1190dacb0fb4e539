// A shared library without registration entry points.
extern "C" int ZanthNothingHere() { return 0; }
