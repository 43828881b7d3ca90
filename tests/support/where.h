// Where a shared test helper was called from, so that its failures name the
// test's own line, as Wine's ok_() does. Helpers take `Where at = Here()` as
// their last parameter: the default is filled in at the call site.
#ifndef APPUNTELLO_TESTS_WHERE_H
#define APPUNTELLO_TESTS_WHERE_H

#include <gtest/gtest.h>

struct Where {
    const char* file;
    int line;
};

// GCC, Clang and Visual C++ (2019 16.6 and later) all give the caller's file
// and line to these builtins when they stand in a default argument.
inline Where Here(const char* file = __builtin_FILE(), int line = __builtin_LINE())
{
    return Where{file, line};
}

// Adds "called from file:line" to every failure inside the helper.
#define TRACE_CALLER(at) ::testing::ScopedTrace caller_trace_((at).file, (at).line, "called from here")

#endif
