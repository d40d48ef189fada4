#pragma once

#include "platform/RegistryStore.h"
#include "tests/support/TempTree.h"

#include <gtest/gtest.h>

// Every toolkit test that stores something works on a registry store file of its own.
class TToolkitRegistryTest : public ::testing::Test {
protected:
    testing_support::TTempTree FTree;
    platform::TRegistryStore FStore {FTree.Path("Twinrake.reg")};
    platform::TScopedRegistryStore FScope {FStore};
};
