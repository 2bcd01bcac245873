// Compiled into every executable of the sanitizer build: the run-time
// settings of AddressSanitizer, LeakSanitizer and UndefinedBehaviorSanitizer,
// so that tests, fuzzers and the viewer behave the same however started.

extern "C" {

const char* __asan_default_options() {
  // The end-to-end tests preload a small library of their own ahead of the
  // sanitizer runtime; that is fine for them.
  return "detect_leaks=1:verify_asan_link_order=0:strict_string_checks=1";
}

const char* __ubsan_default_options() { return "print_stacktrace=1:halt_on_error=1"; }

const char* __lsan_default_suppressions() {
  // SDL talks to the session bus through libdbus, which keeps a connection
  // buffer until dbus_shutdown(); SDL never calls it, so the buffer is still
  // held at exit. It belongs to libdbus, not to us.
  return "leak:libdbus-1.so\n";
}

}  // extern "C"
