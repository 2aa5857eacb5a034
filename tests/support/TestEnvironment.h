#pragma once

namespace zentaro::test {

// Points the tests at the build's plugins, program and the shared SAT data, and draws
// widgets offscreen, unless the environment already says otherwise.
void setDefaultEnvironment();

} // namespace zentaro::test
