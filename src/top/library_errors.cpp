// The standard library reports misuse (a position out of range, a length
// beyond max_size) through these functions. Its own versions build
// std::logic_error and friends, whose texts live in the old copy-on-write
// std::string: two string implementations and their exception classes, some
// 50 KiB of the stub for errors that only a programming mistake can cause.
// Here they throw one small exception that carries the library's text; the
// dialogs' handlers report it like any other std::exception.
#include <bits/functexcept.h>

#include <exception>
#include <new>
#include <typeinfo>

namespace {

class LibraryError : public std::exception {
public:
  explicit LibraryError(const char* what) : m_what(what) {}
  const char* what() const noexcept override { return m_what; }

private:
  const char* m_what; // the library passes string literals
};

} // namespace

namespace std {

void __throw_bad_exception() { throw bad_exception(); }
void __throw_bad_alloc() { throw bad_alloc(); }
void __throw_bad_array_new_length() { throw bad_array_new_length(); }
void __throw_bad_cast() { throw bad_cast(); }
void __throw_bad_typeid() { throw bad_typeid(); }
void __throw_logic_error(const char* what) { throw LibraryError(what); }
void __throw_domain_error(const char* what) { throw LibraryError(what); }
void __throw_invalid_argument(const char* what) { throw LibraryError(what); }
void __throw_length_error(const char* what) { throw LibraryError(what); }
void __throw_out_of_range(const char* what) { throw LibraryError(what); }
void __throw_out_of_range_fmt(const char* what, ...) { throw LibraryError(what); }
void __throw_runtime_error(const char* what) { throw LibraryError(what); }
void __throw_range_error(const char* what) { throw LibraryError(what); }
void __throw_overflow_error(const char* what) { throw LibraryError(what); }
void __throw_underflow_error(const char* what) { throw LibraryError(what); }

} // namespace std
