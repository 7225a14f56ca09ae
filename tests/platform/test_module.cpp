// A shared library for the module-loading test.
extern "C" int test_module_answer() {
    return 42;
}
