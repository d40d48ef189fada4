#pragma once

#include "engine/Questions.h"
#include "platform/RegistryStore.h"
#include "tests/support/TempTree.h"

#include <gtest/gtest.h>

// A window test: a registry store file of its own and the questions answered by the test.
class TUiTest : public ::testing::Test {
protected:
    testing_support::TTempTree FTree;
    platform::TRegistryStore FStore {FTree.Path("Twinrake.reg")};
    platform::TScopedRegistryStore FScope {FStore};
    TScriptedQuestions FQuestions;
    TScopedQuestions FAnswering {FQuestions};
};
