// A library that loads but exports none of the password components' entry points.

extern "C" __attribute__((visibility("default"))) int QvNotAnEntryPoint() {
    return 7;
}
