// For test suites whose filters hold regular expressions: the PCRE2 links
// beside the test bound for the suite, and unbound again with the kept
// expressions freed first.
#pragma once

#include "tree/regex.h"
#include "ui/filter_cache.h"

#include <gtest/gtest.h>

namespace qtest {

inline void BindRegexFilters() { ASSERT_TRUE(Pcre2Init()) << "the PCRE2 links beside the test"; }

inline void UnbindRegexFilters() {
    FilespecCacheClear();
    Pcre2Release();
}

} // namespace qtest
