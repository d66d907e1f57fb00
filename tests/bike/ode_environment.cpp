// ODE is initialised once for the whole test program.
#include <gtest/gtest.h>
#include <ode/ode.h>

namespace {

class OdeEnvironment : public ::testing::Environment {
public:
    void SetUp() override { dInitODE2(0); }
    void TearDown() override { dCloseODE(); }
};

::testing::Environment* const ode_environment = ::testing::AddGlobalTestEnvironment(new OdeEnvironment);

}  // namespace
