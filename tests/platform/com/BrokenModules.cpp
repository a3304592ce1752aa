// Shared libraries that are not usable modules, built twice: without any entry point
// (VANTREL_BROKEN_NO_ENTRY), and with one that needs a symbol nothing defines
// (VANTREL_BROKEN_MISSING_SYMBOL), so that loading it fails.
extern "C" __attribute__((visibility("default"))) int vantrelNotAModule() {
    return 1;
}

#ifdef VANTREL_BROKEN_MISSING_SYMBOL
extern "C" int vantrelSymbolNobodyDefines();
extern "C" __attribute__((visibility("default"))) long DllGetClassObject(const void*, const void*,
                                                                         void**) {
    return vantrelSymbolNobodyDefines();
}
#endif
