// A library for the platform tests to load: one export, and nothing else of note.
extern "C" __attribute__((visibility("default"))) int vantor_test_answer() { return 42; }
