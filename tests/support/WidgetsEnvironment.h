#pragma once
// The application object of a test program whose windows need no program shell: made once, before
// the first test, offscreen unless a platform is set. Register it with
// ::testing::AddGlobalTestEnvironment(new WidgetsEnvironment("program name")).

#include <gtest/gtest.h>

namespace parvell::test {

class WidgetsEnvironment : public ::testing::Environment {
public:
    explicit WidgetsEnvironment(const char* programName) : programName_(programName) {}
    void SetUp() override;

private:
    const char* programName_;
};

}  // namespace parvell::test
