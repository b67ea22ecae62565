#pragma once

#include <gtest/gtest.h>

// The number of checks that failed so far in the running test: a sweep over many cases counts
// the cases that failed by it.
inline int failedChecks() {
    const ::testing::TestResult* result =
        ::testing::UnitTest::GetInstance()->current_test_info()->result();
    int failed = 0;
    for (int i = 0; i < result->total_part_count(); ++i)
        failed += result->GetTestPartResult(i).failed();
    return failed;
}
