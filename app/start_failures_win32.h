#pragma once
// Start-up steps that a test can make fail, so that every early way out of
// the application run can be shown to settle what it owes. Only the test
// variant takes the request (the environment variable
// ZELKORA_TEST_FAILING_START_STEP naming one step); the release has no such
// input and every step runs as it is.

namespace zelkora::app {

enum class StartStep { gdiplus, window, splash, selftest_record };

bool start_step_fails(StartStep step);

}  // namespace zelkora::app
